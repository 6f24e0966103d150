#include "cli/CommandLine.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "app/Application.h"
#include "cli/AnnotateCommand.h"
#include "cli/CommandContext.h"
#include "cli/DeleteCommand.h"
#include "cli/DownloadCommand.h"
#include "cli/DownloadsCommand.h"
#include "cli/ExitCode.h"
#include "cli/LocaleCommand.h"
#include "cli/LoginCommand.h"
#include "cli/PathsCommand.h"
#include "cli/PdfFontsCommand.h"
#include "cli/PdfGrepCommand.h"
#include "cli/PdfInfoCommand.h"
#include "cli/PdfOutlineCommand.h"
#include "cli/PdfRenderCommand.h"
#include "cli/PdfSearchCommand.h"
#include "cli/PdfTextCommand.h"
#include "cli/RunCommand.h"
#include "cli/SettingsCommand.h"
#include "cli/SettingsResetSyncCommand.h"
#include "cli/SettingsResetTimestampsCommand.h"
#include "cli/ShelfCommand.h"
#include "cli/StatusCommand.h"
#include "cli/SyncCommand.h"
#include "cli/TerminalPresenter.h"
#include "platform/Presenter.h"

namespace pagewell::cli {

int CommandLine::run(int argc, char** argv) {
    CommandContext context;
    GlobalOptions& options = context.options;
    std::string dataDirectory;
    std::string configPath;

    CLI::App app{"Pagewell: the offline document catalogue", "pagewell"};
    app.set_version_flag("--version", std::string("pagewell ") + PAGEWELL_VERSION);
    app.add_option("--data-dir", dataDirectory, "Where everything is stored")
        ->envname("PAGEWELL_HOME");
    app.add_option("--config", configPath, "Application configuration (property list)")
        ->envname("PAGEWELL_APP_SETTINGS");
    app.add_flag("--json", options.json, "Print results as one JSON document");
    auto* yes = app.add_flag("--yes", options.yes, "Answer every question with yes");
    auto* no = app.add_flag("--no", options.no, "Answer every question with no");
    yes->excludes(no);
    app.add_flag("--non-interactive", options.nonInteractive, "Never ask; take the cancel answer");
    app.add_flag("-v,--verbose", options.verbose, "Echo the log on stderr");
    app.require_subcommand(1);

    int exitCode = kExitSuccess;
    SettingsCommand settings(context);
    settings.add(app, exitCode);
    CLI::App* pdf = app.add_subcommand("pdf", "Inspect, search and render any PDF file");
    pdf->require_subcommand(1);
    PdfFontsCommand pdfFonts(context);
    pdfFonts.add(*pdf, exitCode);
    PdfGrepCommand pdfGrep(context);
    pdfGrep.add(*pdf, exitCode);
    PdfInfoCommand pdfInfo(context);
    pdfInfo.add(*pdf, exitCode);
    PdfOutlineCommand pdfOutline(context);
    pdfOutline.add(*pdf, exitCode);
    PdfRenderCommand pdfRender(context);
    pdfRender.add(*pdf, exitCode);
    PdfSearchCommand pdfSearch(context);
    pdfSearch.add(*pdf, exitCode);
    PdfTextCommand pdfText(context);
    pdfText.add(*pdf, exitCode);
    LoginCommand login(context);
    login.add(app, exitCode);
    StatusCommand::add(app, context, exitCode);
    LocaleCommand locale(context);
    locale.add(app, exitCode);
    SettingsResetTimestampsCommand resetTimestamps(context);
    resetTimestamps.add(app, exitCode);
    SyncCommand sync(context);
    sync.add(app, exitCode);
    DownloadsCommand downloads(context);
    downloads.add(app, exitCode);
    DownloadCommand download(context);
    download.add(app, exitCode);
    AnnotateCommand annotate(context);
    annotate.add(app, exitCode);
    ShelfCommand shelf(context);
    shelf.add(app, exitCode);
    DeleteCommand deleteFiles(context);
    deleteFiles.add(app, exitCode);
    RunCommand runCommand(context);
    runCommand.add(app, exitCode);
    SettingsResetSyncCommand resetSync(context);
    resetSync.add(app, exitCode);
    app.add_subcommand("paths", "Show where data, logs and configuration live")->callback([&] {
        exitCode = PathsCommand::run(context);
    });

    // The global options are known once parsing is done; set everything up before any
    // subcommand callback runs.
    std::unique_ptr<Application> application;
    app.parse_complete_callback([&] {
        if (!dataDirectory.empty()) {
            options.dataDirectory = dataDirectory;
        }
        if (!configPath.empty()) {
            options.configPath = configPath;
        }
        context.output = Output(options.json);
        application = std::make_unique<Application>(
            ApplicationOptions{options.dataDirectory, options.configPath, options.verbose});
        context.application = application.get();

        const bool interactive = !options.nonInteractive && ::isatty(STDIN_FILENO) != 0;
        auto answer = options.yes  ? TerminalPresenter::Answer::Yes
                      : options.no ? TerminalPresenter::Answer::No
                                   : TerminalPresenter::Answer::Ask;
        Presenter::setShared(std::make_shared<TerminalPresenter>(answer, interactive));
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error);
        return code == 0 ? kExitSuccess : kExitUsage;
    }
    return exitCode;
}

}  // namespace pagewell::cli

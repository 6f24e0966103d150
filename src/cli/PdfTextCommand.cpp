#include "cli/PdfTextCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "cli/PdfPageCommand.h"
#include "cli/TerminalText.h"
#include "pdfkit/VXPDFScanner.h"

namespace pagewell::cli {

void PdfTextCommand::add(CLI::App& pdf, int& exitCode) {
    addSubcommand(pdf, "text", "Show a page's text as the search decodes it, string by string",
                  exitCode, run);
}

int PdfTextCommand::run(const CommandContext& context, const std::string& path, int page) {
    auto opened = PdfPageCommand::open(context, path, page);
    if (!opened) {
        return kExitFailure;
    }
    nlohmann::json strings = nlohmann::json::array();
    std::string text;
    VXPDFScanner scanner;
    scanner.setStringObserver([&](const std::string& fontName, std::string_view decoded) {
        strings.push_back({{"text", std::string(decoded)}, {"font", fontName}});
        text +=
            fmt::format("{}\t{}\n", TerminalText::escape(fontName), TerminalText::escape(decoded));
    });
    scanner.scanPage(opened->page);
    context.output.result(text.empty() ? fmt::format("page {} shows no text\n", page) : text,
                          {{"page", page}, {"strings", std::move(strings)}});
    return kExitSuccess;
}

}  // namespace pagewell::cli

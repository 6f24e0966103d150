#include "cli/PdfOutlineCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "cli/PdfInfoCommand.h"
#include "cli/TerminalText.h"
#include "pdfkit/VXPDFDocument.h"
#include "pdfkit/VXPDFToc.h"

namespace pagewell::cli {

void PdfOutlineCommand::add(CLI::App& pdf, int& exitCode) {
    CLI::App* outline = pdf.add_subcommand("outline", "The outline of a PDF file");
    outline->add_option("FILE", path_, "The PDF file")->required();
    outline->callback([this, &exitCode] { exitCode = run(context_, path_); });
}

int PdfOutlineCommand::run(const CommandContext& context, const std::string& path) {
    if (!PdfInfoCommand::openDocument(context, path)) {
        return kExitFailure;
    }
    VXPDFDocument& document = VXPDFDocument::getInstance();
    VXPDFToc toc(document.documentHandle());
    const std::optional<std::vector<VXPDFTocEntry>> entries = toc.getTOC();
    document.closeDocument();
    if (!entries) {
        context.output.result("no outline\n", nullptr);
        return kExitSuccess;
    }
    nlohmann::json list = nlohmann::json::array();
    std::string text;
    for (const VXPDFTocEntry& entry : *entries) {
        list.push_back({{"title", entry.title}, {"level", entry.level}, {"page", entry.page}});
        const std::string page = entry.page < 0 ? "-" : std::to_string(entry.page);
        text +=
            fmt::format("{}{}  {}\n", std::string(2 * static_cast<std::size_t>(entry.level), ' '),
                        TerminalText::escape(entry.title), page);
    }
    context.output.result(text, list);
    return kExitSuccess;
}

}  // namespace pagewell::cli

#include "cli/PdfTextCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFScanner.h"

namespace pagewell::cli {

void PdfTextCommand::add(CLI::App& pdf, int& exitCode) {
    CLI::App* text =
        pdf.add_subcommand("text", "Show a page's text as the search decodes it, string by string");
    text->add_option("FILE", path_, "The PDF file")->required();
    text->add_option("--page", page_, "Page number, from 1")->check(CLI::PositiveNumber);
    text->callback([this, &exitCode] { exitCode = run(context_, path_, page_); });
}

int PdfTextCommand::run(const CommandContext& context, const std::string& path, int page) {
    auto opened = PdfDocumentHandle::createWithPath(path);
    if (!opened.ok()) {
        context.output.failure(fmt::format("{}: {}", path, opened.error().description),
                               &opened.error());
        return kExitFailure;
    }
    const auto& document = opened.value();
    auto pdfPage = document->page(page);
    if (!pdfPage) {
        context.output.failure(fmt::format("{}: there is no page {} (the document has {})", path,
                                           page, document->numberOfPages()));
        return kExitFailure;
    }
    nlohmann::json strings = nlohmann::json::array();
    std::string text;
    VXPDFScanner scanner;
    scanner.setStringObserver([&](const std::string& fontName, std::string_view decoded) {
        strings.push_back({{"text", std::string(decoded)}, {"font", fontName}});
        text += fmt::format("{}\t{}\n", fontName, decoded);
    });
    scanner.scanPage(*pdfPage);
    context.output.result(text.empty() ? fmt::format("page {} shows no text\n", page) : text,
                          {{"page", page}, {"strings", std::move(strings)}});
    return kExitSuccess;
}

}  // namespace pagewell::cli

#include "cli/PdfFontsCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFFontManager.h"

namespace pagewell::cli {

void PdfFontsCommand::add(CLI::App& pdf, int& exitCode) {
    CLI::App* fonts = pdf.add_subcommand(
        "fonts", "List a page's fonts: class, encoding, ToUnicode map and width source");
    fonts->add_option("FILE", path_, "The PDF file")->required();
    fonts->add_option("--page", page_, "Page number, from 1")->check(CLI::PositiveNumber);
    fonts->callback([this, &exitCode] { exitCode = run(context_, path_, page_); });
}

int PdfFontsCommand::run(const CommandContext& context, const std::string& path, int page) {
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

    auto manager = VXPDFFontManager::withPage(*pdfPage);
    nlohmann::json fonts = nlohmann::json::array();
    std::string text;
    for (const auto& [name, font] : manager.fonts()) {
        const bool toUnicode = font->toUnicode() != nullptr;
        const std::string encoding(VXPDFTextEncoding::displayName(font->encoding()));
        fonts.push_back({{"name", name},
                         {"class", font->className()},
                         {"baseFont", font->baseFont()},
                         {"encoding", encoding},
                         {"toUnicode", toUnicode},
                         {"widths", font->widthSource()}});
        text += fmt::format("{}\t{}\t{}\tencoding {}\tToUnicode {}\twidths {}\n", name,
                            font->className(), font->baseFont().empty() ? "-" : font->baseFont(),
                            encoding, toUnicode ? "yes" : "no", font->widthSource());
    }
    context.output.result(text.empty() ? fmt::format("page {} has no fonts\n", page) : text, fonts);
    return kExitSuccess;
}

}  // namespace pagewell::cli

#include "cli/PdfInfoCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "pdfkit/PdfPageRenderer.h"
#include "pdfkit/VXPDFDocument.h"
#include "pdfkit/VXPDFTransform.h"

namespace pagewell::cli {

void PdfInfoCommand::add(CLI::App& pdf, int& exitCode) {
    CLI::App* info = pdf.add_subcommand("info", "Pages, boxes, rotation and sizes of a PDF file");
    info->add_option("FILE", path_, "The PDF file")->required();
    info->callback([this, &exitCode] { exitCode = run(context_, path_); });
}

bool PdfInfoCommand::openDocument(const CommandContext& context, const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        context.output.failure(fmt::format("{}: no such file", path));
        return false;
    }
    bool opened = false;
    VXPDFDocument::getInstance().openDocument(
        VXPDFDocument::fileURLForPath(path), [&opened] { opened = true; },
        [&](const Error& error) {
            context.output.failure(
                fmt::format("{}: not a readable PDF file ({})", path, error.description), &error);
        });
    return opened;
}

int PdfInfoCommand::run(const CommandContext& context, const std::string& path) {
    if (!openDocument(context, path)) {
        return kExitFailure;
    }
    VXPDFDocument& document = VXPDFDocument::getInstance();
    const int pages = document.getNumberOfPages();
    nlohmann::json list = nlohmann::json::array();
    std::string text = fmt::format("pages: {}\n", pages);
    for (int number = 1; number <= pages; ++number) {
        std::optional<PdfPage> page = document.getPage(number);
        if (!page) {
            continue;
        }
        const PdfRect box = PdfPageRenderer::visibleBox(*page);
        const int rotation = VXPDFTransform::normalizedAngle(page->rotationAngle());
        const PdfRect shown = VXPDFTransform::scaledPageRect(box, rotation, {});
        list.push_back({{"number", number},
                        {"rotation", rotation},
                        {"box", {box.x, box.y, box.width, box.height}},
                        {"width", shown.width},
                        {"height", shown.height}});
        text += fmt::format("page {}: box {:g} {:g} {:g} {:g}, rotation {}, shown {:g} x {:g}\n",
                            number, box.x, box.y, box.width, box.height, rotation, shown.width,
                            shown.height);
    }
    document.closeDocument();
    context.output.result(text, {{"pages", pages}, {"page", list}});
    return kExitSuccess;
}

}  // namespace pagewell::cli

#include "cli/PdfRenderCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "cli/PdfInfoCommand.h"
#include "pdfkit/PdfPageImage.h"
#include "pdfkit/PdfPageRenderer.h"
#include "pdfkit/VXPDFDocument.h"
#include "pdfkit/VXPDFDoublePageLayout.h"
#include "pdfkit/VXPDFFirstSinglePageLayout.h"
#include "pdfkit/VXPDFHighlightLayer.h"
#include "pdfkit/VXPDFScanner.h"
#include "pdfkit/VXPDFSinglePageLayout.h"
#include "pdfkit/VXPDFTransform.h"

namespace pagewell::cli {

namespace {

struct LayoutChoice {
    std::unique_ptr<VXPDFLayout> layout;
    VXPDFInterfaceOrientation orientation;
    bool spreads;  // two pages per screen: the strip is two page widths wide
};

LayoutChoice chooseLayout(const std::string& name) {
    if (name == "double") {
        return {VXPDFDoublePageLayout::layout(), VXPDFInterfaceOrientation::LandscapeLeft, true};
    }
    if (name == "cover") {
        return {VXPDFFirstSinglePageLayout::layout(), VXPDFInterfaceOrientation::LandscapeLeft,
                true};
    }
    return {VXPDFSinglePageLayout::layout(), VXPDFInterfaceOrientation::Portrait, false};
}

}  // namespace

void PdfRenderCommand::add(CLI::App& pdf, int& exitCode) {
    CLI::App* render = pdf.add_subcommand("render", "Draw one page of a PDF file into a PNG");
    render->add_option("FILE", options_.path, "The PDF file")->required();
    render->add_option("--page", options_.page, "The page, from 1")->required();
    render->add_option("--width", options_.width, "Width of the viewer's strip in pixels")
        ->check(CLI::Range(1, 16384));
    render->add_option("--layout", options_.layout, "Page layout")
        ->check(CLI::IsMember({"single", "double", "cover"}));
    render->add_option("--highlight", options_.highlight, "Highlight this keyword's hits");
    render->add_option("-o,--output", options_.output, "The PNG to write")->required();
    render->callback([this, &exitCode] { exitCode = run(context_, options_); });
}

int PdfRenderCommand::run(const CommandContext& context, const Options& options) {
    if (!PdfInfoCommand::openDocument(context, options.path)) {
        return kExitFailure;
    }
    VXPDFDocument& document = VXPDFDocument::getInstance();
    const int pages = document.getNumberOfPages();
    std::optional<PdfPage> page = document.getPage(options.page);
    if (!page) {
        context.output.failure(fmt::format("{}: there is no page {} (the document has {})",
                                           options.path, options.page, pages));
        return kExitFailure;
    }
    std::shared_ptr<PdfPageRenderer> renderer = document.pageRenderer();
    if (!renderer) {
        context.output.failure(fmt::format("{}: the pages cannot be drawn", options.path));
        return kExitFailure;
    }

    // The strip: as wide as asked (or one or two pages at their own size), as high as a page
    // fitted into one slot.
    const PdfRect shown = document.getRectForPage(options.page);
    if (shown.isEmpty()) {
        context.output.failure(fmt::format("{}: page {} is empty", options.path, options.page));
        return kExitFailure;
    }
    LayoutChoice choice = chooseLayout(options.layout);
    const double stripWidth = options.width    ? *options.width
                              : choice.spreads ? 2 * std::ceil(shown.width)
                                               : std::ceil(shown.width);
    const double slotWidth = choice.spreads ? stripWidth / 2 : stripWidth;
    const PdfSize strip{stripWidth, std::ceil(slotWidth * shown.height / shown.width)};

    VXPDFPageView view;
    view.pageNumber = options.page;
    view.frame = {0, 0,
                  choice.layout->pageWidthForOrientation(choice.orientation, strip, options.page),
                  strip.height};
    choice.layout->configureRenderview(view, choice.orientation);

    Result<PdfPageImage> image =
        renderer->drawPageView(*page, view, document.getRenderingQuality());
    if (!image.ok()) {
        context.output.failure(fmt::format("{}: {}", options.path, image.error().description),
                               &image.error());
        return kExitFailure;
    }

    std::size_t hits = 0;
    if (!options.highlight.empty()) {
        VXPDFScanner scanner;
        scanner.setKeyword(options.highlight);
        scanner.scanPage(*page);
        hits = scanner.selectionsArray().size();
        VXPDFHighlightLayer::drawSelections(
            image.value().context(), {view.frame.width, view.frame.height},
            PdfPageRenderer::pageViewTransform(*page, view), scanner.selectionsArray());
    }
    document.closeDocument();

    Status written = image.value().writePng(options.output);
    if (!written.ok()) {
        context.output.failure(fmt::format("{}: {}", options.output, written.error().description),
                               &written.error());
        return kExitFailure;
    }
    const int width = image.value().width();
    const int height = image.value().height();
    std::string text = fmt::format("{}: page {} drawn {} x {} ({} layout) into {}", options.path,
                                   options.page, width, height, options.layout, options.output);
    if (!options.highlight.empty()) {
        text += fmt::format(", {} hit{} highlighted", hits, hits == 1 ? "" : "s");
    }
    nlohmann::json result = {{"file", options.path},     {"page", options.page},
                             {"layout", options.layout}, {"width", width},
                             {"height", height},         {"output", options.output}};
    if (!options.highlight.empty()) {
        result["highlight"] = options.highlight;
        result["hits"] = hits;
    }
    context.output.result(text, result);
    return kExitSuccess;
}

}  // namespace pagewell::cli

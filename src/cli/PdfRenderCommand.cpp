#include "cli/PdfRenderCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "cli/CatalogueSession.h"
#include "cli/CommandContext.h"
#include "cli/DataDirectoryGuard.h"
#include "cli/ExitCode.h"
#include "cli/PdfPathList.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/PdfPageImage.h"
#include "pdfkit/PdfPageRenderer.h"
#include "pdfkit/VXPDFDocument.h"
#include "pdfkit/VXPDFDoublePageLayout.h"
#include "pdfkit/VXPDFFirstSinglePageLayout.h"
#include "pdfkit/VXPDFHighlightLayer.h"
#include "pdfkit/VXPDFScanner.h"
#include "pdfkit/VXPDFSinglePageLayout.h"
#include "pdfkit/VXPDFTransform.h"
#include "platform/FileAreas.h"
#include "platform/FileNameSanitizer.h"
#include "platform/FileSystem.h"
#include "redlining/RedliningPainter.h"
#include "redlining/VXRedliningObjectManager.h"
#include "store/File.h"
#include "store/PersistentStore.h"
#include "store/RedliningFileName.h"
#include "store/StoredPath.h"

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

// One file drawn: what the text and JSON reports say, or why it failed.
struct Drawn {
    std::string text;
    nlohmann::json document;
};

Result<Drawn> renderFile(const PdfRenderCommand::Options& options, const std::string& path,
                         const std::string& output) {
    // The page comes straight from its own document and renderer: no viewer model, no
    // notifications, nothing beyond opening, drawing and encoding.
    auto opened = PdfDocumentHandle::createWithPath(path);
    if (!opened.ok()) {
        return Error::make(opened.error().domain, opened.error().code,
                           "not a readable PDF file (" + opened.error().description + ")");
    }
    const std::shared_ptr<PdfDocumentHandle> document = std::move(opened).value();
    std::optional<PdfPage> page = document->page(options.page);
    if (!page) {
        return Error::make(PdfPageRenderer::kErrorDomain, -1,
                           fmt::format("there is no page {} (the document has {})", options.page,
                                       document->numberOfPages()));
    }
    // The strip: as wide as asked (or one or two pages at their own size), as high as a page
    // fitted into one slot.
    const PdfRect shown = VXPDFTransform::scaledPageRect(PdfPageRenderer::visibleBox(*page),
                                                         page->rotationAngle(), {});
    if (shown.isEmpty()) {
        return Error::make(PdfPageRenderer::kErrorDomain, -1,
                           fmt::format("page {} is empty", options.page));
    }
    auto renderer = PdfPageRenderer::open(path);
    if (!renderer.ok()) {
        return Error::make(renderer.error().domain, renderer.error().code,
                           "the pages cannot be drawn");
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
        renderer.value()->drawPageView(*page, view, VXPDFDocument::kDefaultRenderingQuality);
    if (!image.ok()) {
        return image.error();
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

    std::size_t annotations = 0;
    if (!options.annotations.empty()) {
        auto set = VXRedliningObjectManager::readSet(options.annotations);
        if (!set.ok()) {
            return Error::make(set.error().domain, set.error().code,
                               options.annotations + ": " + set.error().description);
        }
        // The displayed page's rectangle in pixels: its visible box through the drawing
        // transform and the image's y flip.
        const PdfAffineTransform toPixels =
            PdfPageRenderer::pageViewTransform(*page, view).concat(image.value().viewToImage());
        const PdfRect pixels = toPixels.apply(PdfPageRenderer::visibleBox(*page));
        auto found = set.value().pages.find(options.page);
        if (found != set.value().pages.end()) {
            annotations = found->second.size();
            RedliningPainter::drawObjects(image.value().context(), found->second,
                                          {pixels.x, pixels.y, pixels.width, pixels.height});
        }
    }

    Status written = image.value().writePng(output);
    if (!written.ok()) {
        return Error::make(written.error().domain, written.error().code,
                           output + ": " + written.error().description);
    }
    const int width = image.value().width();
    const int height = image.value().height();
    Drawn drawn;
    drawn.text = fmt::format("{}: page {} drawn {} x {} ({} layout) into {}", path, options.page,
                             width, height, options.layout, output);
    if (!options.highlight.empty()) {
        drawn.text += fmt::format(", {} hit{} highlighted", hits, hits == 1 ? "" : "s");
    }
    drawn.document = {{"file", path},   {"page", options.page}, {"layout", options.layout},
                      {"width", width}, {"height", height},     {"output", output}};
    if (!options.annotations.empty()) {
        drawn.text +=
            fmt::format(", {} annotation{} drawn", annotations, annotations == 1 ? "" : "s");
        drawn.document["annotations"] = annotations;
    }
    if (!options.highlight.empty()) {
        drawn.document["highlight"] = options.highlight;
        drawn.document["hits"] = hits;
    }
    return drawn;
}

// NAME-PAGE.png for each input, NAME its file name without ".pdf" made safe; a name already
// given in this run gets "_2", "_3", … so that no file overwrites another's picture.
std::vector<std::filesystem::path> outputNames(const std::vector<std::string>& paths, int page,
                                               const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> names;
    std::set<std::string> used;
    for (const std::string& path : paths) {
        std::string stem = std::filesystem::path(path).filename().string();
        if (PdfPathList::hasPdfName(stem)) {
            stem.resize(stem.size() - 4);
        }
        const std::string base =
            FileNameSanitizer::sanitizedFileName(stem) + "-" + std::to_string(page);
        std::string name = base + ".png";
        for (int copy = 2; used.count(name) != 0; ++copy) {
            name = base + "_" + std::to_string(copy) + ".png";
        }
        used.insert(name);
        names.push_back(directory / name);
    }
    return names;
}

}  // namespace

void PdfRenderCommand::add(CLI::App& pdf, int& exitCode) {
    CLI::App* render = pdf.add_subcommand("render", "Draw one page of PDF files into PNG images");
    auto* files = render->add_option("FILE", options_.paths, "The PDF files");
    auto* id = render->add_option("--id", options_.fileID,
                                  "A downloaded catalogue file, drawn with your annotations");
    files->excludes(id);
    render->add_flag("--no-annotations", options_.noAnnotations,
                     "With --id: leave your annotations out");
    render->add_option("--page", options_.page, "The page, from 1")->required();
    render->add_option("--width", options_.width, "Width of the viewer's strip in pixels")
        ->check(CLI::Range(1, 16384));
    render->add_option("--layout", options_.layout, "Page layout")
        ->check(CLI::IsMember({"single", "double", "cover"}));
    render->add_option("--highlight", options_.highlight, "Highlight this keyword's hits");
    render->add_option("--annotations", options_.annotations,
                       "Draw the page's objects of this annotation set (.redlining.plist)");
    render
        ->add_option("-o,--output", options_.output,
                     "The PNG to write, or the directory for several files")
        ->required();
    render->callback([this, &exitCode, render] {
        if (options_.paths.empty() && !options_.fileID) {
            std::fputs(render->help().c_str(), stderr);
            exitCode = kExitUsage;
            return;
        }
        exitCode = run(context_, options_);
    });
}

int PdfRenderCommand::run(const CommandContext& context, const Options& given) {
    Options options = given;
    if (options.fileID) {
        // A catalogue file: its local copy, drawn with the signed-in user's annotations.
        DataDirectoryGuard guard(context);
        if (!guard.acquired()) {
            return guard.exitCode();
        }
        if (int prepared = CatalogueSession::prepareSignedIn(context); prepared != kExitSuccess) {
            return prepared;
        }
        auto found = File::findWithCmsID(PersistentStore::shared()->mainContext(), *options.fileID);
        std::optional<std::filesystem::path> local;
        if (found.ok() && found.value() && found.value()->filePath) {
            local = StoredPath::resolveInsideAreas(*found.value()->filePath);
        }
        std::error_code missing;
        if (!local || !std::filesystem::is_regular_file(*local, missing)) {
            context.output.failure(fmt::format("file {} is not on this device", *options.fileID));
            return kExitFailure;
        }
        options.paths = {local->string()};
        auto setId = found.value()->getUserRedliningId();
        if (!options.noAnnotations && options.annotations.empty() && setId) {
            auto set =
                FileAreas::shared().documents() / "redlining" / RedliningFileName::fileName(*setId);
            if (std::filesystem::exists(set, missing)) {
                options.annotations = set.string();
            }
        }
    }
    std::error_code ec;
    const bool intoDirectory = options.paths.size() > 1 ||
                               std::filesystem::is_directory(options.output, ec) ||
                               (!options.output.empty() && options.output.back() == '/');
    if (!intoDirectory) {
        const std::string& path = options.paths.front();
        if (!std::filesystem::is_regular_file(path, ec)) {
            context.output.failure(fmt::format("{}: no such file", path));
            return kExitFailure;
        }
        Result<Drawn> drawn = renderFile(options, path, options.output);
        if (!drawn.ok()) {
            context.output.failure(fmt::format("{}: {}", path, drawn.error().description),
                                   &drawn.error());
            return kExitFailure;
        }
        context.output.result(drawn.value().text, drawn.value().document);
        return kExitSuccess;
    }

    if (Status created = FileSystem::createDirectories(options.output); !created.ok()) {
        context.output.failure(fmt::format("{}: {}", options.output, created.error().description),
                               &created.error());
        return kExitFailure;
    }
    const auto outputs = outputNames(options.paths, options.page, options.output);
    nlohmann::json files = nlohmann::json::array();
    std::size_t failed = 0;
    for (std::size_t i = 0; i < options.paths.size(); ++i) {
        const std::string& path = options.paths[i];
        Result<Drawn> drawn =
            std::filesystem::is_regular_file(path, ec)
                ? renderFile(options, path, outputs[i].string())
                : Result<Drawn>(Error::make("PdfRenderCommand", -1, "no such file"));
        if (!drawn.ok()) {
            ++failed;
            context.output.note(fmt::format("pagewell: {}: {}", path, drawn.error().description));
            files.push_back({{"file", path},
                             {"error",
                              {{"domain", drawn.error().domain},
                               {"code", drawn.error().code},
                               {"description", drawn.error().description}}}});
            continue;
        }
        if (context.output.json()) {
            files.push_back(drawn.value().document);
        } else {
            context.output.text(drawn.value().text);
            std::fflush(stdout);
        }
    }
    if (context.output.json()) {
        context.output.result({}, {{"files", std::move(files)}});
    }
    return failed > 0 ? kExitPartialFailure : kExitSuccess;
}

}  // namespace pagewell::cli

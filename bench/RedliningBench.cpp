// What a page of drawings costs: 10,000 freehand strokes of 60 touch points each, built through
// the stroke builder and saved as a keyed archive. Loading (read, check, parse, unarchive) runs
// against libplist parsing the same bytes and walking every node; saving (archive, encode,
// atomic write) against plist_to_bin of the parsed tree plus the same atomic write. Aim: each
// at most 2× its floor; the load's peak memory below 150 MB; an erase at a point (the hit
// test over the whole page) under a tenth of the load. Last, a demo brochure page drawn
// 1000 pixels wide with 200 mixed objects against the same page without them (aim 1.3×).

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "PeakMemory.h"
#include "cms/DemoPdf.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/PdfPageImage.h"
#include "pdfkit/PdfPageRenderer.h"
#include "pdfkit/VXPDFInterfaceOrientation.h"
#include "pdfkit/VXPDFPageView.h"
#include "pdfkit/VXPDFSinglePageLayout.h"
#include "pdfkit/VXPDFTransform.h"
#include "platform/FileSystem.h"
#include "redlining/RedliningArchive.h"
#include "redlining/VXRedliningObjectManager.h"
#include "redlining/VXRedliningStateManager.h"

namespace {

using namespace pagewell;

const RedliningRect kOverlay{0, 0, 595, 842};

RedliningObjectPtr strokeAt(double x0, double y0, int points) {
    RedliningObjectPtr object = VXRedliningObject::create(0, kOverlay);
    for (int i = 0; i < points; ++i) {
        RedliningPoint p{x0 + i * 1.5, y0 + 6 * std::sin(i * 0.4)};
        object->performDrawOperation(p, i == 0            ? VXRedliningObject::Began
                                        : i + 1 == points ? VXRedliningObject::Ended
                                                          : VXRedliningObject::Changed);
    }
    return object;
}

RedliningPageMap strokesPage(int count) {
    RedliningPageMap pages;
    for (int i = 0; i < count; ++i) {
        auto object = strokeAt(20 + (i % 5) * 100, 20 + (i / 5) % 400 * 2, 60);
        object->setPage(1);
        pages[1].push_back(object);
    }
    return pages;
}

const std::string& strokesArchive() {
    static const std::string bytes = RedliningArchive::encode(strokesPage(10'000));
    return bytes;
}

std::filesystem::path scratch() {
    static const std::filesystem::path dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pagewell-bench-redlining-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return std::filesystem::path(pattern);
    }();
    return dir;
}

std::size_t walk(plist_t node) {
    std::size_t count = 1;
    switch (plist_get_node_type(node)) {
        case PLIST_ARRAY: {
            plist_array_iter iter = nullptr;
            plist_array_new_iter(node, &iter);
            for (plist_t item = nullptr;;) {
                plist_array_next_item(node, iter, &item);
                if (item == nullptr) {
                    break;
                }
                count += walk(item);
            }
            std::free(iter);
            break;
        }
        case PLIST_DICT: {
            plist_dict_iter iter = nullptr;
            plist_dict_new_iter(node, &iter);
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, iter, &key, &item);
                if (item == nullptr) {
                    break;
                }
                std::free(key);
                count += walk(item);
            }
            std::free(iter);
            break;
        }
        default:
            break;
    }
    return count;
}

void BM_RedliningLoad10kStrokes(benchmark::State& state) {
    auto path = scratch() / "load.redlining.plist";
    (void)FileSystem::writeFileAtomically(path, strokesArchive());
    bench::PeakMemory memory;
    memory.start();
    for (auto _ : state) {
        auto decoded = VXRedliningObjectManager::readSet(path);
        benchmark::DoNotOptimize(decoded.ok());
    }
    state.counters["peak_growth_MiB"] = memory.growthMiB();
    state.counters["file_MiB"] = strokesArchive().size() / 1048576.0;
}
BENCHMARK(BM_RedliningLoad10kStrokes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FloorPlistParseAndWalk10kStrokes(benchmark::State& state) {
    auto path = scratch() / "load.redlining.plist";
    (void)FileSystem::writeFileAtomically(path, strokesArchive());
    for (auto _ : state) {
        auto bytes = FileSystem::readFile(path);
        plist_t tree = nullptr;
        plist_from_bin(bytes.value().data(), static_cast<uint32_t>(bytes.value().size()), &tree);
        benchmark::DoNotOptimize(walk(tree));
        plist_free(tree);
    }
}
BENCHMARK(BM_FloorPlistParseAndWalk10kStrokes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RedliningSave10kStrokes(benchmark::State& state) {
    RedliningPageMap pages = strokesPage(10'000);
    auto path = scratch() / "save.redlining.plist";
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            FileSystem::writeFileAtomically(path, RedliningArchive::encode(pages)).ok());
    }
}
BENCHMARK(BM_RedliningSave10kStrokes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FloorPlistToBinAndWrite10kStrokes(benchmark::State& state) {
    plist_t tree = nullptr;
    plist_from_bin(strokesArchive().data(), static_cast<uint32_t>(strokesArchive().size()), &tree);
    auto path = scratch() / "floor.plist";
    for (auto _ : state) {
        char* bytes = nullptr;
        uint32_t length = 0;
        plist_to_bin(tree, &bytes, &length);
        benchmark::DoNotOptimize(
            FileSystem::writeFileAtomically(path, std::string_view(bytes, length)).ok());
        plist_to_bin_free(bytes);
    }
    plist_free(tree);
}
BENCHMARK(BM_FloorPlistToBinAndWrite10kStrokes)->Unit(benchmark::kMillisecond)->UseRealTime();

// The erase's search: every object of the page hit-tested at one point.
void BM_RedliningEraseAtPoint10kStrokes(benchmark::State& state) {
    RedliningPageMap pages = strokesPage(10'000);
    const auto& objects = pages[1];
    for (auto _ : state) {
        std::size_t hits = 0;
        for (const auto& object : objects) {
            hits += object->pathHitTest({250, 300}) ? 1 : 0;
        }
        benchmark::DoNotOptimize(hits);
    }
}
BENCHMARK(BM_RedliningEraseAtPoint10kStrokes)->Unit(benchmark::kMillisecond)->UseRealTime();

// A demo brochure page drawn 1000 pixels wide the way `pdf render` draws it, with or without
// drawn objects over it.
struct BrochurePage {
    std::shared_ptr<PdfDocumentHandle> document;
    std::shared_ptr<PdfPageRenderer> renderer;
    std::optional<PdfPage> page;
    VXPDFPageView view;
    PdfRect shown;

    BrochurePage() {
        cms::DemoBrochure brochure;
        brochure.title = "Pumps";
        brochure.sections = {"Overview", "Details"};
        auto path = scratch() / "brochure.pdf";
        (void)cms::DemoPdf::writeBrochure(path, brochure);
        document = PdfDocumentHandle::createWithPath(path.string()).value();
        renderer = PdfPageRenderer::open(path.string()).value();
        page = document->page(2);
        shown = VXPDFTransform::scaledPageRect(PdfPageRenderer::visibleBox(*page),
                                               page->rotationAngle(), {});
        view.pageNumber = 2;
        view.frame = {0, 0, 1000, std::ceil(1000 * shown.height / shown.width)};
        VXPDFSinglePageLayout::layout()->configureRenderview(view,
                                                             VXPDFInterfaceOrientation::Portrait);
    }
};

void drawPage(benchmark::State& state, const RedliningPageMap& pages) {
    static BrochurePage brochure;
    for (auto _ : state) {
        auto image = brochure.renderer->drawPageView(*brochure.page, brochure.view, 1);
        cairo_t* cr = image.value().context();
        cairo_save(cr);
        cairo_scale(cr, 1000 / brochure.shown.width, 1000 / brochure.shown.width);
        for (const auto& [page, objects] : pages) {
            for (const auto& object : objects) {
                object->draw(cr);
            }
        }
        cairo_restore(cr);
        benchmark::DoNotOptimize(image.value().pixel(10, 10));
    }
}

RedliningPageMap mixedPage(int count) {
    VXRedliningStateManager::getInstance().setCurrentText("Bitte prüfen");
    RedliningPageMap pages;
    for (int i = 0; i < count; ++i) {
        double x = 30 + (i % 10) * 50;
        double y = 30 + (i / 10) * 38;
        RedliningObjectPtr object;
        int kind = i % 4;
        if (kind == 0) {
            object = strokeAt(x, y, 30);
        } else {
            object = VXRedliningObject::create(kind == 1 ? 2 : kind == 2 ? 3 : 4, kOverlay);
            object->performDrawOperation({x, y}, VXRedliningObject::Began);
            object->performDrawOperation({x + 45, y + 30}, VXRedliningObject::Changed);
        }
        pages[1].push_back(object);
    }
    return pages;
}

void BM_RedliningPageWith200Objects(benchmark::State& state) {
    drawPage(state, mixedPage(200));
}
BENCHMARK(BM_RedliningPageWith200Objects)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RedliningPageWith10kStrokes(benchmark::State& state) {
    drawPage(state, strokesPage(10'000));
}
BENCHMARK(BM_RedliningPageWith10kStrokes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FloorPageWithoutObjects(benchmark::State& state) {
    drawPage(state, {});
}
BENCHMARK(BM_FloorPageWithoutObjects)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

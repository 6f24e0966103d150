// Drawing page 1 of every corpus file into a PNG whose longer side is 140 pixels, against the
// peer `pdftoppm -f 1 -l 1 -scale-to 140 -png` over the same files. Both are timed on the wall
// clock (the peer works in a child process) and report files_per_second, one page per file:
// the printed time ratio is the figure to watch (aim: 1.0 or less, as fast per page as the
// peer). Files the renderer refuses (decompression bombs, a Type 3 font that draws itself)
// are left out of both.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/PdfPageImage.h"
#include "pdfkit/PdfPageRenderer.h"
#include "pdfkit/VXPDFTransform.h"

extern char** environ;

namespace {

constexpr double kTargetSide = 140;

std::filesystem::path corpusDirectory() {
    if (const char* configured = std::getenv("PAGEWELL_CORPUS")) {
        return configured;
    }
    return PAGEWELL_RENDER_BENCH_CORPUS;
}

std::filesystem::path outputDirectory() {
    static const std::filesystem::path directory = [] {
        auto path = std::filesystem::temp_directory_path() / "pagewell-render-bench";
        std::filesystem::create_directories(path);
        return path;
    }();
    return directory;
}

// Our whole path for one file: open, fit page 1 into 140 × 140, draw, write the PNG.
bool renderFirstPage(const std::string& path, const std::filesystem::path& output) {
    auto document = pagewell::PdfDocumentHandle::createWithPath(path);
    if (!document.ok()) {
        return false;
    }
    auto page = document.value()->page(1);
    auto renderer = pagewell::PdfPageRenderer::open(path);
    if (!page || !renderer.ok()) {
        return false;
    }
    const pagewell::PdfRect box = pagewell::PdfPageRenderer::visibleBox(*page);
    const pagewell::PdfRect fitted = pagewell::VXPDFTransform::scaledPageRect(
        box, page->rotationAngle(), {0, 0, kTargetSide, kTargetSide});
    auto image = pagewell::PdfPageImage::create(static_cast<int>(fitted.width),
                                                static_cast<int>(fitted.height));
    if (!image.ok()) {
        return false;
    }
    const auto transform = pagewell::VXPDFTransform::myPageGetDrawingTransform(
        box, page->rotationAngle(), {0, 0, fitted.width, fitted.height}, 0, true,
        pagewell::VXPDFTransform::kOrientationCentered);
    return renderer.value()->drawPage(*page, image.value(), transform, 3).ok() &&
           image.value().writePng(output).ok();
}

// The corpus files we draw; the peer is timed on the same list (files we refuse, such as
// decompression bombs, would stall the peer for minutes).
const std::vector<std::string>& renderCorpus() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> result;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(corpusDirectory(), ec)) {
            if (entry.path().extension() == ".pdf" &&
                renderFirstPage(entry.path().string(), outputDirectory() / "probe.png")) {
                result.push_back(entry.path().string());
            }
        }
        return result;
    }();
    return files;
}

void BM_PdfRenderFirstPageToPng(benchmark::State& state) {
    const auto& files = renderCorpus();
    if (files.empty()) {
        state.SkipWithError("no corpus (set PAGEWELL_CORPUS)");
        return;
    }
    long rendered = 0;
    const auto output = outputDirectory() / "ours.png";
    for (auto _ : state) {
        for (const std::string& file : files) {
            rendered += renderFirstPage(file, output) ? 1 : 0;
        }
    }
    state.counters["files_per_second"] =
        benchmark::Counter(static_cast<double>(rendered), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PdfRenderFirstPageToPng)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_FloorPdftoppmFirstPageToPng(benchmark::State& state) {
    const auto& files = renderCorpus();
    if (files.empty()) {
        state.SkipWithError("no corpus (set PAGEWELL_CORPUS)");
        return;
    }
    const std::string prefix = (outputDirectory() / "peer").string();
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    long rendered = 0;
    for (auto _ : state) {
        for (const std::string& file : files) {
            std::vector<std::string> arguments = {"pdftoppm",  "-f",  "1",    "-l", "1",
                                                  "-scale-to", "140", "-png", file, prefix};
            std::vector<char*> argv;
            for (auto& argument : arguments) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            pid_t child = 0;
            int status = 0;
            if (posix_spawnp(&child, "pdftoppm", &quiet, nullptr, argv.data(), environ) == 0 &&
                waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                WEXITSTATUS(status) == 0) {
                ++rendered;
            }
        }
    }
    posix_spawn_file_actions_destroy(&quiet);
    state.counters["files_per_second"] =
        benchmark::Counter(static_cast<double>(rendered), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FloorPdftoppmFirstPageToPng)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace

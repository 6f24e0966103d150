// Info over every page and a drawing of page 1 for every real-world file in ../shared/corpus
// (some damaged, some encrypted): no crash, no hang, and a clear error for files that cannot
// be opened. Each file is handled in a child process with a time bound, so that a crash or a
// hang in the PDF libraries is reported against the file instead of ending the run.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "CorpusFiles.h"
#include "pdfkit/PdfPageImage.h"
#include "pdfkit/PdfPageRenderer.h"
#include "pdfkit/VXPDFDocument.h"
#include "pdfkit/VXPDFTransform.h"

namespace pagewell {
namespace {

// Seconds one file may take for info and the drawing of its first page.
constexpr unsigned kSecondsPerFile = 30;

enum Outcome : int {
    kDrawn = 0,
    kRefusedClearly = 10,   // the document or its renderer could not be opened, with a reason
    kRefusedSilently = 11,  // ... without one
    kBadGeometry = 12,      // a page's box or displayed size is not a finite positive number
    kDrawingFailed = 13,    // opened, but page 1 could not be drawn
    kNothingDrawn = 14,     // drawn, but not a single pixel was painted
};

std::filesystem::path corpusDirectory() {
    return test::corpusDirectory(PAGEWELL_RENDER_CORPUS);
}

bool finitePositive(double value) {
    return std::isfinite(value) && value > 0;
}

// Runs in the child: what `pagewell pdf info` and `pdf render --page 1` do.
Outcome infoAndDrawFirstPage(const std::filesystem::path& path) {
    VXPDFDocument document;
    std::string reason;
    bool opened = false;
    document.openDocument(
        VXPDFDocument::fileURLForPath(path.string()), [&] { opened = true; },
        [&](const Error& error) { reason = error.description; });
    if (!opened) {
        return reason.empty() || reason.find('\n') != std::string::npos ? kRefusedSilently
                                                                        : kRefusedClearly;
    }
    const int pages = document.getNumberOfPages();
    for (int number = 1; number <= pages; ++number) {
        const PdfRect shown = document.getRectForPage(number);
        if (!finitePositive(shown.width) || !finitePositive(shown.height)) {
            return kBadGeometry;
        }
    }
    if (pages == 0) {
        return kDrawn;
    }
    auto renderer = PdfPageRenderer::open(path.string());
    if (!renderer.ok()) {
        return renderer.error().description.empty() ? kRefusedSilently : kRefusedClearly;
    }
    const PdfRect fitted = document.getRectForPage(1, {0, 0, 140, 140});
    auto image =
        PdfPageImage::create(static_cast<int>(fitted.width), static_cast<int>(fitted.height));
    if (!image.ok()) {
        return kBadGeometry;
    }
    const auto page = document.getPage(1);
    const auto transform = VXPDFTransform::myPageGetDrawingTransform(
        PdfPageRenderer::visibleBox(*page), page->rotationAngle(),
        {0, 0, fitted.width, fitted.height}, 0, true, VXPDFTransform::kOrientationCentered);
    // A page the renderer refuses (a bomb, a content loop that exhausts it) is refused with
    // a reason, not drawn half.
    Status status = renderer.value()->drawPage(*page, image.value(), transform, 3);
    if (!status.ok()) {
        const std::string& why = status.error().description;
        return why.empty() || why.find('\n') != std::string::npos ? kDrawingFailed
                                                                  : kRefusedClearly;
    }
    // The page's white ground covers the middle of the picture at least.
    const auto& drawn = image.value();
    return drawn.pixel(drawn.width() / 2, drawn.height() / 2) != 0 ? kDrawn : kNothingDrawn;
}

struct FileResult {
    bool exited = false;
    int code = -1;
    int signal = 0;
};

FileResult runInChild(const std::filesystem::path& path) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(kSecondsPerFile);  // a hang ends the child with SIGALRM
        ::_exit(infoAndDrawFirstPage(path));
    }
    FileResult result;
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return result;
    }
    if (WIFEXITED(status)) {
        result.exited = true;
        result.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

TEST(PdfRenderCorpusTest, EveryFileIsDescribedAndDrawnOrRefusedClearly) {
    const auto files = test::corpusFiles(corpusDirectory());
    if (files.empty()) {
        GTEST_SKIP() << "no corpus at " << corpusDirectory();
    }
    int drawn = 0;
    int refused = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const FileResult result = runInChild(path);
        ASSERT_TRUE(result.exited || result.signal != 0) << "could not run the child";
        EXPECT_TRUE(result.exited)
            << (result.signal == SIGALRM ? "hung: no answer within " : "crashed with signal ")
            << (result.signal == SIGALRM ? kSecondsPerFile : result.signal);
        if (!result.exited) {
            continue;
        }
        EXPECT_TRUE(result.code == kDrawn || result.code == kRefusedClearly)
            << "outcome " << result.code;
        drawn += result.code == kDrawn ? 1 : 0;
        refused += result.code == kRefusedClearly ? 1 : 0;
    }
    // The corpus is mostly readable files; a renderer that refused them all would be broken.
    EXPECT_GT(drawn, static_cast<int>(files.size()) / 2);
    RecordProperty("drawn", drawn);
    RecordProperty("refused", refused);
}

}  // namespace
}  // namespace pagewell

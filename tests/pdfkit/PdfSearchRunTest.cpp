// The search over all pages on a background queue: progress, results by page, stop, failure.
// Callbacks arrive on the main queue, which the tests pump with a bound.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PdfFixture.h"
#include "SearchFixtures.h"
#include "TestSupport.h"
#include "pdfkit/PdfSearchRun.h"
#include "pdfkit/VXPDFSelectionManager.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/OperationQueue.h"

namespace pagewell {
namespace {

constexpr auto kWait = std::chrono::seconds(20);

class SearchRunTest : public testing::Test {
  protected:
    SearchRunTest() {
        MainQueue::setShared(nullptr);
        test::PdfFixture fixture;
        const std::string font = test::addSearchFont(fixture);
        const char* texts[] = {"a brochure", "nothing here", "two brochures and a Brochure",
                               "no match"};
        for (const char* text : texts) {
            fixture.addPage(test::searchPage(std::string("BT /F1 10 Tf (") + text + ") Tj ET",
                                             "<< /Font << /F1 " + font + " >> >>"));
        }
        path = directory.path() / "catalogue.pdf";
        fixture.write(path);
    }

    std::shared_ptr<PdfSearchRun> makeRun() {
        PdfSearchRun::Options options;
        options.queue = &queue;
        options.center = center;
        return PdfSearchRun::create(path.string(), manager, options);
    }

    PdfSearchRun::Callbacks recordingCallbacks() {
        PdfSearchRun::Callbacks callbacks;
        callbacks.progress = [this](double fraction) { progress.push_back(fraction); };
        callbacks.resultAdded = [this](int page) { rows.push_back(page); };
        callbacks.finished = [this](const std::vector<int>& pages) {
            ++endings;
            finished = pages;
        };
        callbacks.failed = [this](const Error& error) {
            ++endings;
            failure = error;
        };
        return callbacks;
    }

    bool waitForEnd() {
        return MainQueue::shared().runUntil([this] { return endings > 0; }, kWait);
    }

    TemporaryDirectory directory;
    std::filesystem::path path;
    std::shared_ptr<NotificationCenter> center = std::make_shared<NotificationCenter>();
    std::shared_ptr<VXPDFSelectionManager> manager =
        std::make_shared<VXPDFSelectionManager>(center);
    OperationQueue queue{1, "test search"};
    std::vector<double> progress;
    std::vector<int> rows;
    std::optional<std::vector<int>> finished;
    std::optional<Error> failure;
    int endings = 0;
};

TEST_F(SearchRunTest, ScansEveryPageAndListsHitsByPage) {
    auto run = makeRun();
    run->start("BROCHURE", recordingCallbacks());
    ASSERT_TRUE(waitForEnd());
    MainQueue::shared().poll();

    EXPECT_EQ(endings, 1);
    ASSERT_TRUE(finished.has_value());
    EXPECT_EQ(*finished, (std::vector<int>{1, 3}));
    EXPECT_EQ(rows, (std::vector<int>{1, 3}));
    EXPECT_EQ(progress, (std::vector<double>{0.0, 0.25, 0.5, 0.75, 1.0}));
    EXPECT_EQ(manager->getCount(), 2);
    EXPECT_EQ(manager->getPDFSelectionsForPage(3).size(), 2u);
    EXPECT_FALSE(run->isRunning());
    EXPECT_EQ(run->pagesScanned(), 4);
}

TEST_F(SearchRunTest, StoppingEmptiesTheResultsButKeepsStoredHits) {
    auto run = makeRun();
    // Stop from the worker as soon as page 1's hits are stored: page 2 is never scanned.
    center->addObserver(kAddSelectionsForPageEvent, [&run](const Notification&) { run->stop(); });
    run->start("brochure", recordingCallbacks());
    ASSERT_TRUE(waitForEnd());

    ASSERT_TRUE(finished.has_value());
    EXPECT_TRUE(finished->empty());
    EXPECT_TRUE(run->results().empty());
    EXPECT_TRUE(rows.empty()) << "no row is inserted once the run is stopped";
    EXPECT_EQ(run->pagesScanned(), 1);
    EXPECT_EQ(manager->pages(), (std::vector<int>{1}));
}

TEST_F(SearchRunTest, ANewRunClearsEarlierHitsAndCancelRemovesEverything) {
    manager->addPDFSelections({VXPDFSelection(VXPDFRenderState{})}, 4);
    auto run = makeRun();
    run->start("nothing", recordingCallbacks());
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(manager->pages(), (std::vector<int>{2}));

    run->cancel();
    EXPECT_EQ(manager->getCount(), 0);
    EXPECT_TRUE(run->results().empty());
}

TEST_F(SearchRunTest, ClosingTheDocumentClearsTheResults) {
    auto run = makeRun();
    run->start("brochure", recordingCallbacks());
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(run->results().size(), 2u);
    center->post("pdfClosedEvent");
    EXPECT_TRUE(run->results().empty());
}

TEST_F(SearchRunTest, AnUnreadableFileFailsOnce) {
    std::ofstream(directory.path() / "broken.pdf") << "this is not a PDF";
    PdfSearchRun::Options options;
    options.queue = &queue;
    options.center = center;
    auto run = PdfSearchRun::create((directory.path() / "broken.pdf").string(), manager, options);
    run->start("x", recordingCallbacks());
    ASSERT_TRUE(waitForEnd());
    MainQueue::shared().poll();
    EXPECT_EQ(endings, 1);
    EXPECT_TRUE(failure.has_value());
    EXPECT_FALSE(finished.has_value());
}

}  // namespace
}  // namespace pagewell

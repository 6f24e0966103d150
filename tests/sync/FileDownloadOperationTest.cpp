// The download operation's address rules, and downloads from in-process servers that answer
// whatever path they are asked: the token goes to the configured server only and joins an
// existing query with "&", a server address never chooses where or under which extension a
// copy is written, and an operation cancelled before it ran reports its completion only.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FileDownloadOperationTestSupport.h"
#include "net/InterfaceManagerFixture.h"
#include "platform/FileSystem.h"

namespace pagewell::test {
namespace {

namespace fs = std::filesystem;

TEST(FileDownloadOperationRulesTest, TokenJoinsTheQueryWithTheRightSeparator) {
    struct Case {
        const char* url;
        const char* token;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"http://h/media/a.pdf", "T1", "http://h/media/a.pdf?token=T1"},
        {"http://h/media/a.pdf?v=2", "T1", "http://h/media/a.pdf?v=2&token=T1"},
        {"http://h/media/a.pdf?v=2#page=3", "T1", "http://h/media/a.pdf?v=2&token=T1#page=3"},
        {"http://h/media/a.pdf#x", "T1", "http://h/media/a.pdf?token=T1#x"},
        // A token can never add parameters of its own.
        {"http://h/a.pdf", "a&b=c d", "http://h/a.pdf?token=a%26b%3Dc%20d"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileDownloadOperation::urlWithToken(c.url, c.token), c.expected) << c.url;
    }
}

TEST(FileDownloadOperationRulesTest, ExtensionsAreShortLettersAndDigitsOnly) {
    struct Case {
        const char* url;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"/media/files/5/brochure.pdf", "pdf"},
        {"http://h:8/media/files/5/Brochure.PDF?token=x&v=1", "PDF"},
        {"/media/files/5/archive.tar.gz", "gz"},
        {"/media/a.mpeg4video", "mpeg4video"},  // ten characters
        {"/media/a.mpeg4videos", ""},           // eleven
        {"/media/a.p%2Fdf", ""},
        {"/media/a.pdf%00", ""},
        {"/media/a.pd f", ""},
        {"/media/..", ""},
        {"/media/a..", ""},
        {"/media/a.pdf/..", ""},
        {"/media/a.pdf/", ""},
        {"/media/.profile", ""},
        {"/media/noextension", ""},
        {"http://h.example.com", ""},
        {"http://h.example.com/?x=a.pdf", ""},
        {"/media/a.p\x01"
         "df",
         ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileDownloadOperation::safeExtensionOfURL(c.url), c.expected) << c.url;
    }
}

TEST(FileDownloadOperationRulesTest, SchemeLessAddressesTakeTheServersSchemeHostAndPort) {
    struct Case {
        const char* url;
        const char* server;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"/media/files/1/a.pdf", "http://127.0.0.1:8080/api2/",
         "http://127.0.0.1:8080/media/files/1/a.pdf"},
        {"media/files/1/a.pdf", "https://cms.example.com",
         "https://cms.example.com/media/files/1/a.pdf"},
        {"/media/a.pdf?v=1", "http://[::1]:9/x?y#z", "http://[::1]:9/media/a.pdf?v=1"},
        {"https://cdn.example.com/a.pdf", "http://cms.example.com/api2",
         "https://cdn.example.com/a.pdf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileDownloadOperation::absoluteURL(c.url, c.server), c.expected) << c.url;
    }
}

TEST(FileDownloadOperationRulesTest, NotificationNamesCarryTheFileID) {
    EXPECT_EQ(FileDownloadOperation::notificationNameForProgressChangeForFileWithID(42),
              "kFDOProgressNotification_42");
    EXPECT_EQ(FileDownloadOperation::notificationNameForErrorForFileWithID(42),
              "kFDOErrorNotification_42");
}

// Both servers answer every GET with the path as body, so each copy shows where it came from;
// the body carries what its address's type promises (a PNG's signature first, the PDF one
// within its first bytes), so the download's content check lets it pass.
class FileDownloadOperationTest : public InterfaceManagerFixture {
  protected:
    void SetUp() override {
        InterfaceManagerFixture::SetUp();
        auto echo = [](const httplib::Request& request, httplib::Response& response) {
            const auto endsWith = [&](const std::string& suffix) {
                return request.path.size() >= suffix.size() &&
                       request.path.compare(request.path.size() - suffix.size(), suffix.size(),
                                            suffix) == 0;
            };
            std::string body = "bytes of " + request.path + "\n";
            if (endsWith(".png")) {
                body = "\x89PNG\r\n\x1a\n" + body;
            } else if (endsWith(".pdf")) {
                body += "%PDF-1.4\n";
            }
            response.set_content(body, "application/octet-stream");
        };
        own_.setHandler(echo);
        foreign_.setHandler(echo);
        keychain_->saveUsername(std::string("demo"), std::string("demo"), std::string("T1"));
    }

    FileDownloadOperation::Environment environment() {
        FileDownloadOperation::Environment environment;
        environment.serverURL = own_.baseURL();
        environment.store = store_;
        environment.keychain = keychain_;
        environment.requestToken = [](const std::string&, const std::string&,
                                      FileDownloadOperation::TokenCompletion,
                                      FileDownloadOperation::ErrorCallback) {
            ADD_FAILURE() << "no answer here is empty, so no token is renewed";
        };
        return environment;
    }

    std::string ownPath(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(own_.port()) + path;
    }
    std::string foreignPath(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(foreign_.port()) + path;
    }
    fs::path itemDirectory(std::int64_t cmsID) const {
        return areas_->documents() / std::to_string(cmsID);
    }

    ScriptedHttpServer own_;
    ScriptedHttpServer foreign_;
};

TEST_F(FileDownloadOperationTest, QueryAddressGetsTheTokenAsAFurtherParameter) {
    addFileRecord(store_->mainContext(),
                  fileRecord(11, "/media/files/11/a.pdf?v=2", "/media/thumbs/11/120/a.png"));
    DownloadProbe probe(11);
    const DownloadOutcome& outcome = probe.run(environment());

    EXPECT_EQ(outcome.completions, 1);
    EXPECT_TRUE(outcome.errors.empty());
    std::vector<std::string> targets;
    for (const auto& request : own_.received()) {
        targets.push_back(request.target);
    }
    EXPECT_THAT(targets, ::testing::UnorderedElementsAre("/media/files/11/a.pdf?v=2&token=T1",
                                                         "/media/thumbs/11/300/a.png?token=T1"));
    File file = storedFile(store_->mainContext(), 11);
    EXPECT_TRUE(file.downloaded);
    EXPECT_FALSE(file.updateAvailable);
}

TEST_F(FileDownloadOperationTest, AnotherHostNeverSeesTheToken) {
    addFileRecord(store_->mainContext(),
                  fileRecord(12, foreignPath("/cdn/12/a.pdf"), foreignPath("/cdn/12/120/a.png"),
                             {foreignPath("/cdn/12/clip.mp4?sig=abc"),
                              ownPath("/media/assets/12/clip.mp4")}));
    DownloadProbe probe(12);
    const DownloadOutcome& outcome = probe.run(environment());

    EXPECT_EQ(outcome.completions, 1);
    const std::vector<ReceivedRequest> foreign = foreign_.received();
    ASSERT_EQ(foreign.size(), 3u);
    for (const auto& request : foreign) {
        EXPECT_EQ(request.target.find("token"), std::string::npos) << request.target;
    }
    // A thumbnail address with a host keeps it; only the width segment changes.
    EXPECT_TRUE(std::any_of(foreign.begin(), foreign.end(), [](const ReceivedRequest& r) {
        return r.target == "/cdn/12/300/a.png";
    }));
    ASSERT_EQ(own_.received().size(), 1u);
    EXPECT_EQ(own_.received()[0].target, "/media/assets/12/clip.mp4?token=T1");
}

TEST_F(FileDownloadOperationTest, ServerAddressesNeverChooseWhereCopiesGo) {
    struct Case {
        std::string path;
        std::string extension;  // of the stored copy; empty: none
    };
    const std::vector<Case> cases = {
        {"/media/files/13/a.pdf", ".pdf"},
        {"/media/files/13/a.p%2F..%2F..%2Fx", ""},
        {"/media/files/13/..%2F..%2Fescape.pdf/..", ""},
        {"/media/files/13/a.sh%00", ""},
        {"/media/files/13/a.averyverylongone", ""},
        {"/media/files/13/a.pd%20f", ""},
    };
    std::int64_t cmsID = 13;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ++cmsID;
        addFileRecord(store_->mainContext(),
                      fileRecord(cmsID, c.path, "/media/thumbs/1/120/t.png"));
        DownloadProbe probe(cmsID);
        const DownloadOutcome& outcome = probe.run(environment());
        EXPECT_EQ(outcome.completions, 1);

        File file = storedFile(store_->mainContext(), cmsID);
        ASSERT_TRUE(file.filePath);
        const fs::path copy = StoredPath::getAbsolutePath(*file.filePath);
        EXPECT_EQ(copy.parent_path(), itemDirectory(cmsID));
        EXPECT_EQ(copy.extension().string(), c.extension);
        auto bytes = FileSystem::readFile(copy);
        ASSERT_TRUE(bytes.ok());
        EXPECT_EQ(bytes.value().rfind("bytes of /media/files/13/", 0), 0u);
    }
}

TEST_F(FileDownloadOperationTest, CancelledBeforeStartReportsOnlyItsCompletion) {
    addFileRecord(store_->mainContext(), fileRecord(30, "/media/files/30/a.pdf", "/t/30/1/a.png"));
    DownloadProbe probe(30);
    auto operation = probe.make(environment());
    operation->cancel();
    operation->start();
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return probe.outcome().reports() > 0; },
                                             std::chrono::seconds(10)));
    MainQueue::shared().poll();

    EXPECT_TRUE(operation->isFinished());
    EXPECT_EQ(probe.outcome().completions, 1);
    EXPECT_TRUE(probe.outcome().errors.empty());
    EXPECT_TRUE(probe.outcome().errorNotifications.empty());
    EXPECT_TRUE(own_.received().empty());
    EXPECT_FALSE(storedFile(store_->mainContext(), 30).downloaded);
}

TEST_F(FileDownloadOperationTest, CancelledWhileTransferringReportsOnlyItsCompletion) {
    // The server holds the content until the test has cancelled; its arrival wakes the main
    // queue, where the test waits for it.
    auto release = std::make_shared<std::atomic<bool>>(false);
    own_.setHandler([release](const httplib::Request&, httplib::Response& response) {
        MainQueue::shared().post([] {});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!release->load() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        response.set_content("late", "application/octet-stream");
    });
    addFileRecord(store_->mainContext(), fileRecord(31, "/media/files/31/a.pdf", "/t/31/1/a.png"));
    DownloadProbe probe(31);
    auto operation = probe.make(environment());
    operation->start();
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return !own_.received().empty(); },
                                             std::chrono::seconds(10)));
    operation->cancel();
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return operation->isFinished(); },
                                             std::chrono::seconds(10)));
    release->store(true);
    MainQueue::shared().poll();

    EXPECT_EQ(probe.outcome().completions, 1);
    EXPECT_TRUE(probe.outcome().errors.empty());
    EXPECT_TRUE(probe.outcome().errorNotifications.empty());
    EXPECT_FALSE(storedFile(store_->mainContext(), 31).downloaded);
}

TEST_F(FileDownloadOperationTest, FailureTextComesFromTheInjectedLookup) {
    addFileRecord(store_->mainContext(), fileRecord(32, std::nullopt));
    auto env = environment();
    env.localizedText = [](std::string_view key, std::string_view) {
        return std::string(key) + " [%@]";
    };
    DownloadProbe probe(32);
    const DownloadOutcome& outcome = probe.run(env);

    ASSERT_EQ(outcome.errors.size(), 1u);
    EXPECT_EQ(outcome.errors[0],
              Error::make("VXFileDownload", -100, "FILE_DOWN_ERROR [FileURL is nil]"));
    ASSERT_EQ(outcome.errorNotifications.size(), 1u);
    EXPECT_EQ(outcome.errorNotifications[0].error, outcome.errors[0]);
    EXPECT_EQ(outcome.errorNotifications[0].fileID, 32);
    EXPECT_EQ(outcome.completions, 0);
}

}  // namespace
}  // namespace pagewell::test

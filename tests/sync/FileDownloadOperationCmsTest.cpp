// The download operation against pagewell-cms serving the demo catalogue: the catalogue's
// scheme-less addresses, token renewal after empty answers (one login for parallel downloads),
// the retry limit, missing addresses, where copies go, what an interrupted or stalled
// transfer leaves behind, and answers that are not the file (a portal's page, JSON, bytes of
// another type). Records are written straight into the store with the addresses the
// server lists, so each test holds exactly the file it is about.

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DemoCmsFixture.h"
#include "FileDownloadOperationTestSupport.h"
#include "cms/CmsServer.h"
#include "cms/DemoCatalogue.h"
#include "cms/FaultInjector.h"
#include "cms/RequestLog.h"
#include "cms/TokenStore.h"
#include "platform/FileSystem.h"
#include "platform/OperationQueue.h"
#include "store/CurrentSelection.h"
#include "store/Database.h"
#include "store/FileState.h"

namespace pagewell::test {
namespace {

namespace fs = std::filesystem;

class FileDownloadOperationCmsTest : public DemoCmsFixture {
  protected:
    void SetUp() override {
        DemoCmsFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(startServerAndSignIn());
        server_->services().requestLog.clear();
    }

    void TearDown() override {
        if (server_) {
            server_->services().faults.clear();
        }
        DemoCmsFixture::TearDown();
    }

    // Transfers give up after `silence` without a byte: short where a test stalls the server,
    // roomy elsewhere, as a busy machine may keep a transfer waiting for a while.
    FileDownloadOperation::Environment environment(
        std::chrono::milliseconds silence = std::chrono::seconds(20)) {
        FileDownloadOperation::Environment environment;
        environment.serverURL = server_->baseUrl();
        environment.store = store_;
        environment.keychain = keychain_;
        environment.requestToken = [this](const std::string& username, const std::string& password,
                                          FileDownloadOperation::TokenCompletion done,
                                          FileDownloadOperation::ErrorCallback failed) {
            manager_->getTokenWithUsername(
                username, password,
                [done](std::optional<std::string> token, std::optional<std::string>) {
                    done(std::move(token));
                },
                failed);
        };
        environment.sessionOptions.connectTimeout = std::chrono::seconds(5);
        environment.sessionOptions.lowSpeedTime = silence;
        return environment;
    }

    // A demo PDF with a thumbnail and at least `assets` resources.
    const cms::CatalogueFile& demoFile(std::size_t assets = 0, int skip = 0) const {
        for (const auto& file : demo_->files) {
            std::size_t count = 0;
            for (const auto& annotation : file.annotations) {
                count += annotation.assets.size();
            }
            if (!file.thumbnailPath.empty() && count >= assets && skip-- == 0) {
                return file;
            }
        }
        ADD_FAILURE() << "the demo catalogue has no such file";
        return demo_->files.front();
    }

    // A demo PDF with a thumbnail.
    const cms::CatalogueFile& demoPdf(int skip) const {
        for (const auto& file : demo_->files) {
            if (!file.thumbnailPath.empty() && fs::path(file.path).extension() == ".pdf" &&
                skip-- == 0) {
                return file;
            }
        }
        ADD_FAILURE() << "the demo catalogue has too few PDFs";
        return demo_->files.front();
    }

    static std::string contentAddress(const cms::CatalogueFile& file) {
        return file.location.empty() ? cms::Catalogue::defaultLocation(file.id, file.path)
                                     : file.location;
    }
    static std::vector<std::optional<std::string>> assetAddresses(const cms::CatalogueFile& file) {
        std::vector<std::optional<std::string>> addresses;
        for (const auto& annotation : file.annotations) {
            for (const auto& asset : annotation.assets) {
                addresses.push_back(cms::Catalogue::assetLocation(asset.id, asset.path));
            }
        }
        return addresses;
    }
    // The file as the importer records it, with the server's own addresses.
    FileRecord recordOf(const cms::CatalogueFile& file) const {
        FileRecord record =
            fileRecord(file.id, contentAddress(file),
                       cms::Catalogue::thumbnailLocation(file.id, file.thumbnailPath, 120),
                       assetAddresses(file));
        record.userKey = userKey_;
        return record;
    }

    std::string catalogueBytes(const std::string& relative) const {
        auto bytes = FileSystem::readFile(catalogue_.path() / relative);
        EXPECT_TRUE(bytes.ok());
        return bytes.ok() ? bytes.value() : std::string();
    }
    static std::string bytesAt(const std::string& stored) {
        auto bytes = FileSystem::readFile(StoredPath::getAbsolutePath(stored));
        return bytes.ok() ? bytes.value() : std::string("<missing>");
    }
    fs::path itemDirectory(int cmsID) const { return areas_->documents() / std::to_string(cmsID); }

    void arm(cms::Fault::Kind kind, const std::string& prefix, int count, double seconds = 0) {
        cms::Fault fault;
        fault.kind = kind;
        fault.prefix = prefix;
        fault.remaining = count;
        fault.stall = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
        server_->services().faults.arm(fault);
    }
    // Requests whose target begins with `prefix`, by method.
    int requestsTo(const std::string& prefix, const std::string& method = "GET") const {
        int count = 0;
        for (const auto& entry : server_->services().requestLog.entries()) {
            count += entry.method == method && entry.target.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return count;
    }
    // Sign-in requests that ask for a token (the header probe before each is not one).
    int logins() const {
        int count = 0;
        for (const auto& entry : server_->services().requestLog.entries()) {
            count += entry.method != "HEAD" && entry.target.find("/auth/login") != std::string::npos
                         ? 1
                         : 0;
        }
        return count;
    }
};

TEST_F(FileDownloadOperationCmsTest, BringsContentThumbnailAndResourcesFromSchemeLessAddresses) {
    const cms::CatalogueFile& demo = demoFile(2);
    addFileRecord(store_->mainContext(), recordOf(demo));
    DownloadProbe probe(demo.id);
    const DownloadOutcome& outcome = probe.run(environment());

    ASSERT_EQ(outcome.completions, 1);
    EXPECT_TRUE(outcome.errors.empty());
    EXPECT_TRUE(outcome.errorNotifications.empty());
    ASSERT_FALSE(outcome.progress.empty());
    EXPECT_EQ(outcome.progress.back(), 1.0);
    EXPECT_EQ(std::count(outcome.progress.begin(), outcome.progress.end(), 1.0), 1);
    ASSERT_FALSE(outcome.progressNotifications.empty());
    EXPECT_EQ(outcome.progressNotifications.back().progress, 1.0);
    EXPECT_EQ(outcome.progressNotifications.back().fileID, demo.id);

    StoreContext& main = store_->mainContext();
    File file = storedFile(main, demo.id);
    EXPECT_TRUE(file.downloaded);
    EXPECT_FALSE(file.updateAvailable);
    auto state = FileState::stateOfFile(main, file.pk, userKey_);
    ASSERT_TRUE(state.ok() && state.value());
    EXPECT_FALSE(state.value()->pretendDeletion);

    const std::string item = "/Documents/" + std::to_string(demo.id) + "/";
    ASSERT_TRUE(file.filePath);
    EXPECT_EQ(file.filePath->rfind(item, 0), 0u) << *file.filePath;
    EXPECT_EQ(fs::path(*file.filePath).extension(), fs::path(demo.path).extension());
    EXPECT_EQ(bytesAt(*file.filePath), catalogueBytes(demo.path));
    const fs::path copy = StoredPath::getAbsolutePath(*file.filePath);
    EXPECT_EQ(fs::status(copy).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(FileSystem::isExcludedFromBackup(copy));

    auto thumbnail = Thumbnail::thumbnailOfFile(main, file.pk);
    ASSERT_TRUE(thumbnail.ok() && thumbnail.value());
    EXPECT_TRUE(thumbnail.value()->downloaded);
    ASSERT_TRUE(thumbnail.value()->filePath);
    EXPECT_EQ(bytesAt(*thumbnail.value()->filePath), catalogueBytes(demo.thumbnailPath));

    auto resources = Resource::resourcesOfFile(main, file.pk);
    ASSERT_TRUE(resources.ok());
    ASSERT_EQ(resources.value().size(), assetAddresses(demo).size());
    for (const Resource& resource : resources.value()) {
        EXPECT_TRUE(resource.downloaded) << *resource.url;
        ASSERT_TRUE(resource.path) << *resource.url;
        EXPECT_EQ(resource.path->rfind(item, 0), 0u);
    }
    EXPECT_TRUE(entriesNamed(itemDirectory(demo.id), ".partial").empty());
    // Every transfer went to the configured server with the token.
    int withToken = 0;
    for (const auto& entry : server_->services().requestLog.entries()) {
        withToken += entry.target.rfind("/media/", 0) == 0 &&
                             entry.target.find("?token=") != std::string::npos
                         ? 1
                         : 0;
    }
    EXPECT_EQ(withToken, static_cast<int>(2 + resources.value().size()));
    EXPECT_EQ(requestsTo("/media/"), withToken);
}

TEST_F(FileDownloadOperationCmsTest, EmptyAnswerRenewsTheTokenAndTheSecondAnswerCounts) {
    const cms::CatalogueFile& demo = demoFile();
    addFileRecord(store_->mainContext(), recordOf(demo));
    const std::string before = keychain_->token();
    arm(cms::Fault::Kind::Empty, contentAddress(demo), 1);

    DownloadProbe probe(demo.id);
    const DownloadOutcome& outcome = probe.run(environment());

    EXPECT_EQ(outcome.completions, 1);
    EXPECT_TRUE(outcome.errors.empty());
    EXPECT_EQ(requestsTo(contentAddress(demo)), 2);
    EXPECT_EQ(logins(), 1);
    EXPECT_NE(keychain_->token(), before);
    File file = storedFile(store_->mainContext(), demo.id);
    EXPECT_TRUE(file.downloaded);
    ASSERT_TRUE(file.filePath);
    EXPECT_EQ(bytesAt(*file.filePath), catalogueBytes(demo.path));
}

TEST_F(FileDownloadOperationCmsTest, ThreeEmptyAnswersAreTooManyAndKeepTheFileNotDownloaded) {
    const cms::CatalogueFile& demo = demoFile();
    addFileRecord(store_->mainContext(), recordOf(demo));
    arm(cms::Fault::Kind::Empty, contentAddress(demo), 5);

    DownloadProbe probe(demo.id);
    const DownloadOutcome& outcome = probe.run(environment());

    EXPECT_EQ(outcome.completions, 0);
    ASSERT_EQ(outcome.errors.size(), 1u);
    EXPECT_EQ(outcome.errors[0].domain, "VXFileDownload");
    EXPECT_EQ(outcome.errors[0].code, -100);
    EXPECT_EQ(outcome.errors[0].description,
              "It was not possible to download the file. <Too many retries.>");
    ASSERT_EQ(outcome.errorNotifications.size(), 1u);
    EXPECT_EQ(outcome.errorNotifications[0].error, outcome.errors[0]);
    EXPECT_EQ(requestsTo(contentAddress(demo)), 3);
    EXPECT_EQ(logins(), 3);
    File file = storedFile(store_->mainContext(), demo.id);
    EXPECT_FALSE(file.downloaded);
    EXPECT_FALSE(file.filePath);
    EXPECT_TRUE(logs_->contains("GOT SIZE 0 file/response for: "));
}

TEST_F(FileDownloadOperationCmsTest, MissingAddressFailsAResourceButNotAFileWithoutCover) {
    struct Case {
        const char* name;
        bool thumbnail;
        bool resourceWithoutURL;
    };
    const std::vector<Case> cases = {{"resource without address", true, true},
                                     {"no thumbnail record", false, false}};
    int skip = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const cms::CatalogueFile& demo = demoFile(1, skip++);
        FileRecord record = recordOf(demo);
        if (!c.thumbnail) {
            record.thumbnailURL.reset();
        }
        if (c.resourceWithoutURL) {
            record.resourceURLs.push_back(std::nullopt);
        }
        addFileRecord(store_->mainContext(), record);
        DownloadProbe probe(demo.id);
        const DownloadOutcome& outcome = probe.run(environment());
        EXPECT_EQ(outcome.progress.back(), 1.0);
        StoreContext& main = store_->mainContext();
        File file = storedFile(main, demo.id);
        auto state = FileState::stateOfFile(main, file.pk, userKey_);
        ASSERT_TRUE(state.ok() && state.value());

        if (c.resourceWithoutURL) {
            // A part that has a record but no address still fails the file.
            EXPECT_EQ(outcome.completions, 0);
            ASSERT_EQ(outcome.errors.size(), 1u);
            EXPECT_EQ(outcome.errors[0],
                      Error::make("VXFileDownload", -100,
                                  "It was not possible to download the file. <FileURL is nil>"));
            EXPECT_FALSE(file.downloaded);
            EXPECT_TRUE(file.updateAvailable);
            EXPECT_TRUE(state.value()->pretendDeletion);
        } else {
            // A file listed without a cover is complete once content and resources are in.
            EXPECT_EQ(outcome.completions, 1);
            EXPECT_TRUE(outcome.errors.empty());
            EXPECT_TRUE(file.downloaded);
            EXPECT_FALSE(file.updateAvailable);
            EXPECT_FALSE(state.value()->pretendDeletion);
        }
        ASSERT_TRUE(file.filePath);
        EXPECT_EQ(bytesAt(*file.filePath), catalogueBytes(demo.path));
        auto resources = Resource::resourcesOfFile(main, file.pk);
        ASSERT_TRUE(resources.ok());
        for (const Resource& resource : resources.value()) {
            EXPECT_EQ(resource.downloaded, resource.url.has_value());
            EXPECT_EQ(resource.path.has_value(), resource.url.has_value());
        }
    }
}

TEST_F(FileDownloadOperationCmsTest, CopyInTheItemDirectoryIsReplacedInPlace) {
    const cms::CatalogueFile& demo = demoFile();
    ASSERT_TRUE(FileSystem::createDirectories(itemDirectory(demo.id)).ok());
    const fs::path old = itemDirectory(demo.id) / "OLD.pdf";
    ASSERT_TRUE(FileSystem::writeFileAtomically(old, "old copy").ok());
    FileRecord record = recordOf(demo);
    record.filePath = StoredPath::getRelativePath(old.string());
    addFileRecord(store_->mainContext(), record);

    DownloadProbe probe(demo.id);
    EXPECT_EQ(probe.run(environment()).completions, 1);

    File file = storedFile(store_->mainContext(), demo.id);
    EXPECT_EQ(file.filePath, record.filePath);
    EXPECT_EQ(bytesAt(*file.filePath), catalogueBytes(demo.path));
}

TEST_F(FileDownloadOperationCmsTest, CopyInTheTemporaryAreaMovesIntoTheItemDirectory) {
    const cms::CatalogueFile& demo = demoFile();
    const fs::path old = areas_->temporary() / "shared.pdf";
    ASSERT_TRUE(FileSystem::writeFileAtomically(old, "temporary copy").ok());
    FileRecord record = recordOf(demo);
    record.filePath = StoredPath::getRelativePath(old.string());
    ASSERT_EQ(*record.filePath, "/tmp/shared.pdf");
    addFileRecord(store_->mainContext(), record);

    DownloadProbe probe(demo.id);
    EXPECT_EQ(probe.run(environment()).completions, 1);

    File file = storedFile(store_->mainContext(), demo.id);
    ASSERT_TRUE(file.filePath);
    EXPECT_EQ(file.filePath->rfind("/Documents/" + std::to_string(demo.id) + "/", 0), 0u);
    EXPECT_EQ(bytesAt(*file.filePath), catalogueBytes(demo.path));
    EXPECT_FALSE(fs::exists(old));
}

TEST_F(FileDownloadOperationCmsTest, ACopyOfAnotherTypeIsReplacedUnderANewNameAndThenGoes) {
    const cms::CatalogueFile& demo = demoPdf(0);
    ASSERT_TRUE(FileSystem::createDirectories(itemDirectory(demo.id)).ok());
    const fs::path old = itemDirectory(demo.id) / "OLD.doc";
    ASSERT_TRUE(FileSystem::writeFileAtomically(old, "old document").ok());
    FileRecord record = recordOf(demo);
    record.filePath = StoredPath::getRelativePath(old.string());
    addFileRecord(store_->mainContext(), record);

    DownloadProbe probe(demo.id);
    EXPECT_EQ(probe.run(environment()).completions, 1);

    File file = storedFile(store_->mainContext(), demo.id);
    ASSERT_TRUE(file.filePath);
    EXPECT_EQ(fs::path(*file.filePath).extension(), ".pdf");
    EXPECT_EQ(bytesAt(*file.filePath), catalogueBytes(demo.path));
    EXPECT_FALSE(fs::exists(old));
    // The validators the server sent with the copy are kept with it.
    EXPECT_TRUE(file.contentETag);
    EXPECT_TRUE(file.contentLastModified);
}

TEST_F(FileDownloadOperationCmsTest, BrokenTransfersKeepThePreviousCopy) {
    struct Case {
        const char* name;
        cms::Fault::Kind kind;
        int count;
        double seconds;
    };
    // A connection lost half-way, a server that stops sending (ended by the transfer's
    // low-speed limit of one second), and answers that stay empty until the retries run out.
    const std::vector<Case> cases = {{"dropped", cms::Fault::Kind::Drop, 1, 0},
                                     {"stalled", cms::Fault::Kind::Stall, 1, 30},
                                     {"empty answers", cms::Fault::Kind::Empty, 3, 0}};
    int skip = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const cms::CatalogueFile& demo = demoFile(0, skip++);
        ASSERT_TRUE(FileSystem::createDirectories(itemDirectory(demo.id)).ok());
        const fs::path old = itemDirectory(demo.id) / "PREVIOUS.pdf";
        ASSERT_TRUE(FileSystem::writeFileAtomically(old, "previous copy").ok());
        FileRecord record = recordOf(demo);
        record.filePath = StoredPath::getRelativePath(old.string());
        addFileRecord(store_->mainContext(), record);
        arm(c.kind, contentAddress(demo), c.count, c.seconds);

        DownloadProbe probe(demo.id);
        const DownloadOutcome& outcome = probe.run(environment(std::chrono::seconds(1)));
        server_->services().faults.clear();

        EXPECT_EQ(outcome.completions, 0);
        ASSERT_EQ(outcome.errors.size(), 1u);
        EXPECT_EQ(outcome.errors[0].code, -100);
        EXPECT_EQ(outcome.errorNotifications.size(), 1u);
        File file = storedFile(store_->mainContext(), demo.id);
        EXPECT_FALSE(file.downloaded);
        EXPECT_EQ(file.filePath, record.filePath);
        EXPECT_EQ(bytesAt(*file.filePath), "previous copy");
        EXPECT_TRUE(entriesNamed(itemDirectory(demo.id), ".partial").empty());
        EXPECT_TRUE(logs_->contains("Error while downloading: ")) << c.name;
    }
}

TEST_F(FileDownloadOperationCmsTest, AnswersThatAreNotTheFileFailAndKeepThePreviousCopy) {
    struct Case {
        const char* name;
        bool thumbnail;  // the thumbnail's address answers, else the content's
        const char* contentType;
        const char* body;
        const char* explanation;
    };
    const std::vector<Case> cases = {
        {"login portal", false, "text/html; charset=utf-8",
         "<!DOCTYPE html><html><body><form>Sign in</form></body></html>",
         "The server sent a web page instead of the file."},
        {"portal page sent as the file's type", false, "application/pdf",
         "\n  <html><head><title>Sign in</title></head></html>",
         "The server sent a web page instead of the file."},
        {"JSON array", false, "application/json", "[1, 2, 3]",
         "The server sent JSON instead of the file."},
        {"JSON cut short, sent as text", false, "text/plain", "{\"error\": \"session",
         "The server sent JSON instead of the file."},
        {"PDF without its signature", false, "application/pdf", "Q29udGVudCBnb2VzIGhlcmU=",
         "The server sent something that is not a PDF document instead of the file."},
        {"image that does not decode", true, "image/png", "\x89PNX not an image",
         "The server sent something that is not a readable image instead of the file."},
    };
    int skip = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const cms::CatalogueFile& demo = demoPdf(skip++);
        ASSERT_TRUE(FileSystem::createDirectories(itemDirectory(demo.id)).ok());
        const fs::path old = itemDirectory(demo.id) / "PREVIOUS.pdf";
        ASSERT_TRUE(FileSystem::writeFileAtomically(old, "previous copy").ok());
        FileRecord record = recordOf(demo);
        record.filePath = StoredPath::getRelativePath(old.string());
        addFileRecord(store_->mainContext(), record);
        cms::Fault answer;
        answer.kind = cms::Fault::Kind::Answer;
        // The image is fetched at its own width: any width of the file's thumbnail answers.
        answer.prefix =
            c.thumbnail ? "/media/thumbs/" + std::to_string(demo.id) + "/" : contentAddress(demo);
        answer.status = 200;
        answer.contentType = c.contentType;
        answer.body = c.body;
        server_->services().faults.arm(answer);

        DownloadProbe probe(demo.id);
        const DownloadOutcome& outcome = probe.run(environment());
        server_->services().faults.clear();

        EXPECT_EQ(outcome.completions, 0);
        ASSERT_EQ(outcome.errors.size(), 1u);
        EXPECT_EQ(outcome.errors[0],
                  Error::make("VXFileDownload", -100,
                              std::string("It was not possible to download the file. <") +
                                  c.explanation + ">"));
        File file = storedFile(store_->mainContext(), demo.id);
        EXPECT_FALSE(file.downloaded);
        EXPECT_EQ(file.filePath, record.filePath);
        // The file's copy is replaced only by the file; a bad thumbnail stores nothing.
        EXPECT_EQ(bytesAt(*file.filePath),
                  c.thumbnail ? catalogueBytes(demo.path) : std::string("previous copy"));
        auto thumbnail = Thumbnail::thumbnailOfFile(store_->mainContext(), file.pk);
        ASSERT_TRUE(thumbnail.ok() && thumbnail.value());
        EXPECT_EQ(thumbnail.value()->downloaded, !c.thumbnail);
        EXPECT_TRUE(entriesNamed(itemDirectory(demo.id), ".partial").empty());
    }
}

TEST_F(FileDownloadOperationCmsTest, ParallelDownloadsWithAnExpiredTokenRenewItOnce) {
    std::vector<int> ids;
    for (int skip = 0; skip < 4; ++skip) {
        const cms::CatalogueFile& demo = demoFile(0, skip);
        addFileRecord(store_->mainContext(), recordOf(demo));
        ids.push_back(demo.id);
    }
    server_->services().tokens.expireAll();
    server_->services().requestLog.clear();

    std::vector<std::unique_ptr<DownloadProbe>> probes;
    std::vector<std::shared_ptr<FileDownloadOperation>> operations;
    OperationQueue queue(4, "downloads");
    for (int id : ids) {
        probes.push_back(std::make_unique<DownloadProbe>(id));
        operations.push_back(probes.back()->make(environment()));
        queue.addOperation(operations.back());
    }
    EXPECT_TRUE(pump([&] {
        return std::all_of(operations.begin(), operations.end(),
                           [](const auto& operation) { return operation->isFinished(); });
    }));
    MainQueue::shared().poll();

    EXPECT_EQ(logins(), 1);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(ids[i]);
        EXPECT_EQ(probes[i]->outcome().completions, 1);
        EXPECT_TRUE(probes[i]->outcome().errors.empty())
            << probes[i]->outcome().errors.front().toString();
        EXPECT_TRUE(storedFile(store_->mainContext(), ids[i]).downloaded);
    }
}

TEST_F(FileDownloadOperationCmsTest, RefusedRenewalFailsTheFile) {
    const cms::CatalogueFile& demo = demoFile();
    addFileRecord(store_->mainContext(), recordOf(demo));
    arm(cms::Fault::Kind::Empty, contentAddress(demo), 1);
    keychain_->saveUsername(std::string("demo"), std::string("wrong password"), std::nullopt);

    DownloadProbe probe(demo.id);
    const DownloadOutcome& outcome = probe.run(environment());

    ASSERT_EQ(outcome.errors.size(), 1u);
    EXPECT_EQ(outcome.errors[0].description,
              "It was not possible to download the file. <Token refresh error>");
    EXPECT_FALSE(storedFile(store_->mainContext(), demo.id).downloaded);
    EXPECT_EQ(requestsTo(contentAddress(demo)), 1);
}

}  // namespace
}  // namespace pagewell::test

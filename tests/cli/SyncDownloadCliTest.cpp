// `pagewell sync` with its downloads, run as a user runs it against pagewell-cms serving the
// demo catalogue on a loopback port: whole synchronisations, a failing file, Ctrl-C, a killed
// process and two processes at once, a moved or re-dated file whose copy stays until the new
// one arrives, and the partial files that killed processes leave. After each, every file the store
// calls downloaded must be on disk, byte for byte the server's.

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>

#include "CmsCliTest.h"
#include "TestSupport.h"
#include "cms/CmsServer.h"
#include "cms/DemoCatalogue.h"
#include "cms/FaultInjector.h"
#include "cms/RequestLog.h"
#include "store/Database.h"

namespace pagewell {
namespace {

constexpr const char* kAppSecret = "cli-sync-download-secret";
constexpr auto kServerWait = std::chrono::seconds(60);

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::set<std::int64_t> idsOf(const nlohmann::json& list) {
    std::set<std::int64_t> ids;
    for (const auto& id : list) {
        ids.insert(id.get<std::int64_t>());
    }
    return ids;
}

class SyncDownloadCliTest : public CmsCliTest {
  protected:
    void SetUp() override {
        auto built = cms::DemoCatalogue::build(catalogue.path());
        ASSERT_TRUE(built.ok()) << built.error().description;
        demo = built.value();
        for (const cms::CatalogueFile& file : built.value().files) {
            serverPaths[file.id] = catalogue.path() / file.path;
        }
        ASSERT_TRUE(serve(catalogue.path(), kAppSecret));
        signIn();
    }

    nlohmann::json sync(int expectedExit, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"--json", "--yes", "sync"};
        args.insert(args.end(), extra.begin(), extra.end());
        CliRun done = run(args);
        EXPECT_EQ(done.exitCode, expectedExit) << done.err;
        lastErr = done.err;
        return nlohmann::json::parse(done.out, nullptr, false);
    }

    nlohmann::json counts() {
        CliRun shown = run({"--json", "status"});
        EXPECT_EQ(shown.exitCode, 0) << shown.err;
        return nlohmann::json::parse(shown.out, nullptr, false)["counts"];
    }

    // The files the store calls downloaded, each checked against the server's bytes.
    std::set<std::int64_t> expectDownloadedFilesComplete() {
        auto database = Database::open(storePath(), Database::Options{15'000, true});
        EXPECT_TRUE(database.ok());
        if (!database.ok()) {
            return {};
        }
        auto statement =
            database.value()->prepare("SELECT cmsID, filePath FROM File WHERE downloaded = 1");
        EXPECT_TRUE(statement.ok());
        std::set<std::int64_t> ids;
        while (statement.ok() && statement.value()->step().valueOr(false)) {
            std::int64_t id = statement.value()->integer(0);
            ids.insert(id);
            auto stored = statement.value()->optionalText(1);
            if (!stored) {
                ADD_FAILURE() << "file " << id << " is downloaded without a path";
                continue;
            }
            // Stored paths are relative to the data directory, written with a leading "/".
            const std::string local =
                slurp(data() / stored->substr(stored->find_first_not_of('/')));
            const std::string served = slurp(serverPaths[id]);
            EXPECT_TRUE(local == served) << "file " << id << ": " << local.size() << " bytes of "
                                         << served.size() << " at " << *stored;
        }
        return ids;
    }

    // Content transfers of the catalogue files that the server answered, by file ID.
    std::map<std::int64_t, int> contentTransfers() const {
        std::map<std::int64_t, int> transfers;
        for (const auto& entry : server->services().requestLog.entries()) {
            const std::string prefix = "/media/files/";
            if (entry.status == 200 && entry.target.rfind(prefix, 0) == 0) {
                ++transfers[std::stoll(entry.target.substr(prefix.size()))];
            }
        }
        return transfers;
    }

    // Waits until the server holds at least `count` transfers.
    bool serverHolds(int count) {
        const auto deadline = std::chrono::steady_clock::now() + kServerWait;
        while (std::chrono::steady_clock::now() < deadline) {
            auto held =
                server->services().faults.waitForHeld(count, count, std::chrono::milliseconds(100));
            if (held.held >= count) {
                return true;
            }
        }
        return false;
    }

    void holdDownloads() {
        cms::Fault hold;
        hold.kind = cms::Fault::Kind::Hold;
        hold.prefix = "/media/";
        hold.remaining = 100000;
        server->services().faults.arm(hold);
    }

    // The English categories under `root` (itself included), by the server's manifest.
    std::set<int> subtree(int root) const {
        std::set<int> found = {root};
        for (bool grew = true; grew;) {
            grew = false;
            for (const cms::CatalogueCategory& category : demo.categories) {
                if (category.locale != 1 || found.contains(category.id)) {
                    continue;
                }
                for (int parent : category.parents) {
                    if (found.contains(parent)) {
                        grew = found.insert(category.id).second;
                        break;
                    }
                }
            }
        }
        return found;
    }

    // The state the download view shows for a file (`pagewell downloads`), with `filter`.
    std::string rowState(std::int64_t id, const std::string& filter = "all") {
        CliRun shown = run({"--json", "downloads", "--filter", filter});
        EXPECT_EQ(shown.exitCode, 0) << shown.err;
        std::function<std::string(const nlohmann::json&)> find =
            [&](const nlohmann::json& categories) -> std::string {
            for (const auto& category : categories) {
                for (const auto& file : category["files"]) {
                    if (file["id"] == id) {
                        return file["state"].get<std::string>();
                    }
                }
                if (std::string state = find(category["subcategories"]); !state.empty()) {
                    return state;
                }
            }
            return {};
        };
        return find(nlohmann::json::parse(shown.out, nullptr, false));
    }

    // The stored path of a file's copy and the bytes there ("" for none).
    std::pair<std::string, std::string> storedCopy(std::int64_t id) {
        auto database = Database::open(storePath(), Database::Options{15'000, true});
        EXPECT_TRUE(database.ok());
        if (!database.ok()) {
            return {};
        }
        auto statement = database.value()->prepare("SELECT filePath FROM File WHERE cmsID = ?");
        EXPECT_TRUE(statement.ok());
        statement.value()->bindAll(id);
        if (!statement.value()->step().valueOr(false)) {
            return {};
        }
        auto stored = statement.value()->optionalText(0);
        if (!stored) {
            return {};
        }
        const std::filesystem::path local = data() / stored->substr(stored->find_first_not_of('/'));
        return {*stored, std::filesystem::exists(local) ? slurp(local) : std::string()};
    }

    // The files in the item directories whose names mark an unfinished download.
    std::vector<std::filesystem::path> partialFiles() const {
        std::vector<std::filesystem::path> found;
        std::error_code ignored;
        for (const auto& directory :
             std::filesystem::directory_iterator(data() / "Documents", ignored)) {
            if (!directory.is_directory()) {
                continue;
            }
            for (const auto& entry : std::filesystem::directory_iterator(directory, ignored)) {
                if (entry.path().filename().string().find(".partial") != std::string::npos) {
                    found.push_back(entry.path());
                }
            }
        }
        return found;
    }

    // Waits (on the item directories' changes, no polling) until a partial file exists.
    bool partialFileAppears() {
        const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (watch < 0) {
            return false;
        }
        std::error_code ignored;
        for (const auto& directory :
             std::filesystem::directory_iterator(data() / "Documents", ignored)) {
            if (directory.is_directory()) {
                inotify_add_watch(watch, directory.path().c_str(), IN_CREATE | IN_MOVED_TO);
            }
        }
        const auto deadline = std::chrono::steady_clock::now() + kServerWait;
        bool found = !partialFiles().empty();
        while (!found && std::chrono::steady_clock::now() < deadline) {
            pollfd ready{watch, POLLIN, 0};
            if (::poll(&ready, 1, 1000) > 0) {
                char events[4096];
                while (::read(watch, events, sizeof events) > 0) {
                }
            }
            found = !partialFiles().empty();
        }
        ::close(watch);
        return found;
    }

    // Requests for one file's content: status and the conditional header fields sent.
    std::vector<cms::RequestLogEntry> contentRequests(std::int64_t id) const {
        std::vector<cms::RequestLogEntry> found;
        for (const auto& entry : server->services().requestLog.entries()) {
            if (entry.target.rfind("/media/files/" + std::to_string(id) + "/", 0) == 0) {
                found.push_back(entry);
            }
        }
        return found;
    }

    const cms::CatalogueFile& demoFile(std::int64_t id) const {
        for (const cms::CatalogueFile& file : demo.files) {
            if (file.id == id) {
                return file;
            }
        }
        throw std::out_of_range("no demo file " + std::to_string(id));
    }

    TemporaryDirectory catalogue;
    cms::Catalogue demo;
    std::map<std::int64_t, std::filesystem::path> serverPaths;
    std::string lastErr;
};

TEST_F(SyncDownloadCliTest, AFullSyncDownloadsEveryFileAndTheNextHasNothingToDo) {
    nlohmann::json first = sync(0);
    EXPECT_EQ(first["imported"], true);
    EXPECT_EQ(first["failed"], nlohmann::json::array());
    std::set<std::int64_t> downloaded = idsOf(first["downloaded"]);
    EXPECT_GT(downloaded.size(), 4u);
    EXPECT_EQ(expectDownloadedFilesComplete(), downloaded);
    for (const auto& [id, count] : contentTransfers()) {
        EXPECT_EQ(count, 1) << "file " << id;
    }
    nlohmann::json after = counts();
    EXPECT_EQ(after["pendingDownloads"], 0);
    EXPECT_EQ(after["neededBytes"], 0);
    EXPECT_EQ(after["downloaded"], static_cast<std::int64_t>(downloaded.size()));

    server->services().requestLog.clear();
    nlohmann::json second = sync(0);
    EXPECT_EQ(second["downloaded"], nlohmann::json::array());
    EXPECT_TRUE(contentTransfers().empty());
    EXPECT_NE(lastErr.find("There are no files to download"), std::string::npos) << lastErr;
}

TEST_F(SyncDownloadCliTest, AFailingFileEndsWithExit3NamingItAndTheNextSyncCompletesIt) {
    nlohmann::json catalogueOnly = sync(0, {"--no-download"});
    ASSERT_EQ(catalogueOnly["files"]["added"].size(), counts()["files"].get<std::size_t>());
    const std::int64_t failing = catalogueOnly["files"]["added"][0].get<std::int64_t>();

    cms::Fault broken;
    broken.prefix = "/media/files/" + std::to_string(failing) + "/";
    broken.remaining = 100;
    broken.status = 500;
    server->services().faults.arm(broken);
    nlohmann::json partial = sync(3);
    ASSERT_EQ(partial["failed"].size(), 1u) << partial.dump();
    EXPECT_EQ(partial["failed"][0]["id"], failing);
    EXPECT_FALSE(idsOf(partial["downloaded"]).contains(failing));
    EXPECT_NE(lastErr.find("1 file failed:\n  " + std::to_string(failing) + ": "),
              std::string::npos)
        << lastErr;
    EXPECT_FALSE(expectDownloadedFilesComplete().contains(failing));

    server->services().faults.clear();
    nlohmann::json completed = sync(0);
    EXPECT_EQ(idsOf(completed["downloaded"]), std::set<std::int64_t>{failing});
    EXPECT_TRUE(expectDownloadedFilesComplete().contains(failing));
    EXPECT_EQ(counts()["pendingDownloads"], 0);
}

TEST_F(SyncDownloadCliTest, ARefusedSignInBeforeTheDownloadsEndsWithExit4) {
    // The download-all renews the token first; the server refuses the stored sign-in.
    cms::Fault refused;
    refused.prefix = "/api2/auth";
    refused.remaining = 100;
    refused.status = 403;
    server->services().faults.arm(refused);
    nlohmann::json run = sync(4);
    EXPECT_EQ(run["imported"], true);
    EXPECT_EQ(run["downloaded"], nlohmann::json::array());
    EXPECT_NE(lastErr.find("run `pagewell login` again"), std::string::npos) << lastErr;
    EXPECT_TRUE(contentTransfers().empty());

    // A server that is gone by then is a connection problem, not a sign-in one.
    server->services().faults.clear();
    cms::Fault dropped;
    dropped.kind = cms::Fault::Kind::Drop;
    dropped.prefix = "/api2/auth";
    dropped.remaining = 100;
    server->services().faults.arm(dropped);
    sync(5);
    EXPECT_NE(lastErr.find("offline / server unreachable"), std::string::npos) << lastErr;
}

TEST_F(SyncDownloadCliTest, CtrlCStopsTheDownloadsAndTheNextSyncCompletes) {
    holdDownloads();
    auto running = start({"--yes", "sync"});
    ASSERT_TRUE(serverHolds(1));
    running->signal(SIGINT);
    EXPECT_TRUE(running->waitForLine("interrupted", kServerWait)) << running->err();
    EXPECT_EQ(running->wait(), 130) << running->err();
    expectDownloadedFilesComplete();

    server->services().faults.clear();
    sync(0);
    expectDownloadedFilesComplete();
    EXPECT_EQ(counts()["pendingDownloads"], 0);
}

TEST_F(SyncDownloadCliTest, ATerminationDuringTheImportLetsItFinishDownloadsNothingAndIsNoSuccess) {
    cms::Fault hold;
    hold.kind = cms::Fault::Kind::Hold;
    hold.prefix = "/api2/category/items";
    hold.remaining = 100000;
    server->services().faults.arm(hold);
    auto running = start({"--yes", "sync"});
    ASSERT_TRUE(serverHolds(1));
    // SIGTERM as a service manager sends it: the cut-short sync must not exit 0.
    running->signal(SIGTERM);
    ASSERT_TRUE(running->waitForLine("Stopping", kServerWait)) << running->err();
    // The import is not cut off half-way: it ends once the server answers.
    server->services().faults.clear();
    EXPECT_TRUE(running->waitForLine("interrupted; no file was downloaded", kServerWait))
        << running->err();
    EXPECT_EQ(running->wait(), 143) << running->err();
    EXPECT_TRUE(contentTransfers().empty());
    EXPECT_TRUE(expectDownloadedFilesComplete().empty());

    sync(0);
    EXPECT_EQ(counts()["pendingDownloads"], 0);
}

TEST_F(SyncDownloadCliTest, AKilledSyncLeavesOnlyCompleteFilesAndTheNextOneFinishes) {
    ASSERT_EQ(run({"sync", "--no-download"}).exitCode, 0);
    holdDownloads();
    auto running = start({"--yes", "sync"});
    ASSERT_TRUE(serverHolds(4));
    server->services().faults.release(3);  // some transfers end, others are still held
    ASSERT_TRUE(serverHolds(4));
    running->signal(SIGKILL);
    EXPECT_EQ(running->wait(), 128 + SIGKILL);
    expectDownloadedFilesComplete();

    server->services().faults.clear();
    sync(0);
    EXPECT_EQ(expectDownloadedFilesComplete().size(), counts()["downloaded"].get<std::size_t>());
    EXPECT_EQ(counts()["pendingDownloads"], 0);
}

TEST_F(SyncDownloadCliTest, ASecondSyncWaitsForTheFirstAndDownloadsNothingTwice) {
    holdDownloads();
    auto first = start({"--yes", "sync"});
    ASSERT_TRUE(serverHolds(1));
    // Started while the first holds the data directory: it waits for it.
    auto second = start({"--yes", "sync"}, {"PAGEWELL_LOCK_WAIT_MS=120000"});
    server->services().faults.clear();
    EXPECT_EQ(first->wait(), 0) << first->err();
    EXPECT_EQ(second->wait(), 0) << second->err();
    EXPECT_NE(second->err().find("There are no files to download"), std::string::npos)
        << second->err();
    std::map<std::int64_t, int> transfers = contentTransfers();
    EXPECT_GT(transfers.size(), 4u);
    for (const auto& [id, count] : transfers) {
        EXPECT_EQ(count, 1) << "file " << id;
    }
    expectDownloadedFilesComplete();
}

TEST_F(SyncDownloadCliTest, OneCategoryAKeywordOrAFilterChoosesWhatIsDownloaded) {
    nlohmann::json catalogueOnly = sync(0, {"--no-download"});
    const std::set<std::int64_t> all = idsOf(catalogueOnly["files"]["added"]);

    // One category with its subcategories.
    const std::set<int> branch = subtree(20);
    ASSERT_GT(branch.size(), 1u) << "category 20 should have subcategories";
    std::set<std::int64_t> inBranch;
    for (std::int64_t id : all) {
        for (int category : demoFile(id).categories) {
            if (branch.contains(category)) {
                inBranch.insert(id);
            }
        }
    }
    ASSERT_FALSE(inBranch.empty());
    ASSERT_LT(inBranch.size(), all.size());
    EXPECT_EQ(idsOf(sync(0, {"--category", "20"})["downloaded"]), inBranch);
    EXPECT_EQ(expectDownloadedFilesComplete(), inBranch);

    // A title keyword, in another case than the title's.
    std::int64_t wanted = 0;
    for (std::int64_t id : all) {
        if (!inBranch.contains(id)) {
            wanted = id;
            break;
        }
    }
    std::string keyword = demoFile(wanted).title;
    for (char& c : keyword) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::set<std::int64_t> found = idsOf(sync(0, {"--keyword", keyword})["downloaded"]);
    EXPECT_TRUE(found.contains(wanted));
    for (std::int64_t id : found) {
        EXPECT_EQ(demoFile(id).title, demoFile(wanted).title) << "file " << id;
    }

    // A file moved to a new address on the server is downloaded again; the rest of the branch
    // stays.
    const std::int64_t updated = *inBranch.begin();
    ASSERT_TRUE(server->services().catalogue.moveFile(static_cast<int>(updated)).ok());
    nlohmann::json update = sync(0, {"--category", "20"});
    EXPECT_EQ(update["files"]["changed"], nlohmann::json::array({updated}));
    EXPECT_EQ(idsOf(update["downloaded"]), std::set<std::int64_t>{updated});

    // The downloaded files' filter leaves the pending ones alone.
    const auto pending = counts()["pendingDownloads"].get<int>();
    ASSERT_GT(pending, 0);
    EXPECT_EQ(sync(0, {"--filter", "downloaded"})["downloaded"], nlohmann::json::array());
    EXPECT_EQ(counts()["pendingDownloads"], pending);

    // Declining the question downloads nothing.
    CliRun declined = run({"--json", "--no", "sync"});
    EXPECT_EQ(declined.exitCode, 1) << declined.err;
    EXPECT_NE(declined.err.find("The sync process uses"), std::string::npos) << declined.err;
    EXPECT_EQ(nlohmann::json::parse(declined.out, nullptr, false)["downloaded"],
              nlohmann::json::array());
    EXPECT_EQ(counts()["pendingDownloads"], pending);
}

TEST_F(SyncDownloadCliTest, AMovedFileKeepsItsCopyUntilTheNewOneArrives) {
    const std::set<std::int64_t> downloaded = idsOf(sync(0)["downloaded"]);
    ASSERT_FALSE(downloaded.empty());
    const std::int64_t moved = *downloaded.begin();
    const auto [stored, bytes] = storedCopy(moved);
    ASSERT_EQ(bytes, slurp(serverPaths[moved]));
    ASSERT_TRUE(server->services().catalogue.moveFile(static_cast<int>(moved)).ok());

    // The catalogue alone, then a download that fails: the copy stays and opens, the row
    // offers the update, and a sync counts and queues it.
    nlohmann::json catalogueOnly = sync(0, {"--no-download"});
    EXPECT_EQ(catalogueOnly["files"]["changed"], nlohmann::json::array({moved}));
    EXPECT_EQ(rowState(moved, "update"), "Update");
    EXPECT_EQ(storedCopy(moved), std::make_pair(stored, bytes));
    EXPECT_EQ(counts()["pendingDownloads"], 1);
    cms::Fault broken;
    broken.prefix = "/media/files/" + std::to_string(moved) + "/";
    broken.remaining = 100;
    broken.status = 503;
    server->services().faults.arm(broken);
    nlohmann::json failed = sync(3);
    ASSERT_EQ(failed["failed"].size(), 1u) << failed.dump();
    EXPECT_EQ(failed["failed"][0]["id"], moved);
    EXPECT_EQ(rowState(moved, "update"), "Update");
    EXPECT_EQ(storedCopy(moved), std::make_pair(stored, bytes));

    // The new address answers: its copy takes the old one's place.
    server->services().faults.clear();
    server->services().requestLog.clear();
    EXPECT_EQ(idsOf(sync(0)["downloaded"]), std::set<std::int64_t>{moved});
    EXPECT_EQ(rowState(moved), "Delete");
    EXPECT_EQ(rowState(moved, "update"), "");
    EXPECT_EQ(storedCopy(moved).second, bytes);
    const auto requests = contentRequests(moved);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].target.find("/r"), std::string::npos) << requests[0].target;
    for (const std::string& header : requests[0].headers) {
        EXPECT_EQ(header.rfind("If-", 0), std::string::npos) << "a new address is fetched whole";
    }
    expectDownloadedFilesComplete();
    EXPECT_EQ(counts()["pendingDownloads"], 0);
}

TEST_F(SyncDownloadCliTest, ADateOnlyChangeAsksTheServerAndReplacesOnlyAChangedCopy) {
    struct Case {
        const char* name;
        bool newContent;
        int status;  // what the server answers the conditional request
    };
    const std::vector<Case> cases = {{"the same content under a new date", false, 304},
                                     {"new content at the same address", true, 200}};
    const std::set<std::int64_t> downloaded = idsOf(sync(0)["downloaded"]);
    ASSERT_GE(downloaded.size(), cases.size());
    auto next = downloaded.begin();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::int64_t id = *next++;
        const auto [stored, before] = storedCopy(id);
        const std::string content = "%PDF-1.4\n% new content of " + std::to_string(id) + "\n";
        ASSERT_TRUE((c.newContent ? server->services().catalogue.changeFileContent(
                                        static_cast<int>(id), content)
                                  : server->services().catalogue.touchFile(static_cast<int>(id)))
                        .ok());
        EXPECT_EQ(sync(0, {"--no-download"})["files"]["changed"], nlohmann::json::array({id}));
        EXPECT_EQ(rowState(id, "update"), "Update");

        server->services().requestLog.clear();
        EXPECT_EQ(idsOf(sync(0)["downloaded"]), std::set<std::int64_t>{id});
        const auto requests = contentRequests(id);
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].status, c.status);
        const auto& headers = requests[0].headers;
        EXPECT_TRUE(std::any_of(headers.begin(), headers.end(), [](const std::string& header) {
            return header.rfind("If-None-Match: \"", 0) == 0;
        }));
        EXPECT_TRUE(std::any_of(headers.begin(), headers.end(), [](const std::string& header) {
            return header.rfind("If-Modified-Since: ", 0) == 0 &&
                   header.size() == std::string("If-Modified-Since: ").size() + 29;
        }));
        EXPECT_EQ(storedCopy(id), std::make_pair(stored, c.newContent ? content : before));
        EXPECT_EQ(rowState(id), "Delete");
        EXPECT_EQ(counts()["pendingDownloads"], 0);
    }
}

TEST_F(SyncDownloadCliTest, PartialFilesOfKilledSyncsGoAtTheNextSyncOrDelete) {
    ASSERT_EQ(run({"sync", "--no-download"}).exitCode, 0);
    for (const char* next : {"sync", "delete"}) {
        SCOPED_TRACE(next);
        // Each transfer stops half-way, and the process is killed while its partial files
        // wait for the rest.
        cms::Fault hang;
        hang.kind = cms::Fault::Kind::Hang;
        hang.prefix = "/media/files/";
        hang.remaining = 100000;
        server->services().faults.arm(hang);
        auto running = start({"--yes", "sync"});
        ASSERT_TRUE(serverHolds(1));
        ASSERT_TRUE(partialFileAppears());
        running->signal(SIGKILL);
        EXPECT_EQ(running->wait(), 128 + SIGKILL);
        server->services().faults.clear();
        const std::vector<std::filesystem::path> left = partialFiles();
        ASSERT_FALSE(left.empty());

        CliRun after = std::string(next) == "sync" ? run({"--yes", "sync", "--no-download"})
                                                   : run({"--yes", "delete", "--all"});
        EXPECT_EQ(after.exitCode, 0) << after.err;
        EXPECT_EQ(partialFiles(), std::vector<std::filesystem::path>{});
        expectDownloadedFilesComplete();
    }
}

}  // namespace
}  // namespace pagewell

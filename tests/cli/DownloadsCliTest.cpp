#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CmsCliTest.h"
#include "PagewellProcess.h"
#include "TestCatalogue.h"
#include "TestSupport.h"
#include "cms/CmsServer.h"
#include "platform/PropertyList.h"
#include "store/Database.h"

namespace pagewell {
namespace {

constexpr const char* kAppSecret = "cli-downloads-secret";

// The download view and the commands around it as a user runs them, against pagewell-cms
// serving the small test catalogue: "demo" sees Brochures (10) with Pump guide (100) and its
// child Pumps (11) with Pump guide and Price list (101); "other" sees Brochures only.
class DownloadsCliTest : public CmsCliTest {
  protected:
    void SetUp() override {
        std::filesystem::path catalogue = home.path() / "catalogue";
        nlohmann::json manifest = cms::test::testManifest();
        // Give the price list a cover too, so every file has a thumbnail to fetch.
        manifest["files"][1]["thumbnail"] = "thumbs/guide.png";
        cms::test::writeTestCatalogue(catalogue, manifest);
        cms::CmsServerOptions options;
        options.testHooks = true;
        ASSERT_TRUE(serve(catalogue, kAppSecret, options));
        environment.push_back("PAGEWELL_LOCK_WAIT_MS=200");
    }

    // `pagewell run --now` until its synchronisation has finished, then SIGTERM: the catalogue
    // and every missing or outdated file.
    void synchronise() {
        PagewellProcess running(data(), withConfig({"run", "--now"}), environment);
        ASSERT_TRUE(running.waitForLine("Synchronisation finished")) << running.err();
        running.signal(SIGTERM);
        EXPECT_EQ(running.wait(), 0) << running.err();
        lastRun = running.err();
    }

    // The states of the files in the tree, by category id then file id.
    static std::map<std::pair<int, int>, std::string> states(const nlohmann::json& tree) {
        std::map<std::pair<int, int>, std::string> found;
        std::function<void(const nlohmann::json&)> walk = [&](const nlohmann::json& nodes) {
            for (const auto& node : nodes) {
                for (const auto& file : node["files"]) {
                    found[{node["id"].get<int>(), file["id"].get<int>()}] = file["state"];
                }
                walk(node["subcategories"]);
            }
        };
        walk(tree);
        return found;
    }

    // How often the content of the file was fetched.
    int contentFetches(int fileID) {
        std::string prefix = "/media/files/" + std::to_string(fileID) + "/";
        int count = 0;
        for (const auto& entry : server->services().requestLog.entries()) {
            if (entry.method == "GET" && entry.target.rfind(prefix, 0) == 0) {
                ++count;
            }
        }
        return count;
    }

    // Whether any file below the data directory holds exactly these bytes.
    bool onDisk(const std::string& content) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(data())) {
            if (entry.is_regular_file()) {
                std::ostringstream text;
                text << std::ifstream(entry.path(), std::ios::binary).rdbuf();
                if (text.str() == content) {
                    return true;
                }
            }
        }
        return false;
    }
    bool brochureOnDisk() { return onDisk(cms::test::kFileContent); }

    // The first column of the first row of a query on the store, -1 without a row.
    std::int64_t storeScalar(const std::string& sql) {
        auto database = Database::open(storePath(), Database::Options{15'000, true});
        EXPECT_TRUE(database.ok());
        if (!database.ok()) {
            return -1;
        }
        auto statement = database.value()->prepare(sql);
        EXPECT_TRUE(statement.ok()) << sql;
        if (!statement.ok() || !statement.value()->step().valueOr(false)) {
            return -1;
        }
        return statement.value()->integer(0);
    }
    // Resource rows that still claim a copy (downloaded or with a path).
    std::int64_t resourcesClaimingACopy(const std::string& where = "1") {
        return storeScalar(
            "SELECT COUNT(*) FROM Resource r JOIN File f ON f.pk = r.file WHERE (r.downloaded = 1 "
            "OR r.path IS NOT NULL) AND " +
            where);
    }

    std::string lastRun;  // what the last synchronise() reported
};

using States = std::map<std::pair<int, int>, std::string>;

TEST_F(DownloadsCliTest, TheTreeShowsEveryFileWithItsSizeAndState) {
    signIn("demo", "demo");
    CliRun empty = run({"downloads"});
    EXPECT_EQ(empty.exitCode, 0) << empty.err;
    EXPECT_NE(empty.out.find("The catalogue is empty"), std::string::npos) << empty.out;

    synchronise();
    CliRun deleted = run({"--yes", "delete", "101"});
    ASSERT_EQ(deleted.exitCode, 0) << deleted.err << lastRun;

    nlohmann::json tree = json({"downloads"});
    ASSERT_EQ(tree.size(), 1u) << tree.dump(2);
    const nlohmann::json& brochures = tree[0];
    EXPECT_EQ(brochures["id"], 10);
    EXPECT_EQ(brochures["name"], "Brochures");
    ASSERT_EQ(brochures["files"].size(), 1u);
    const nlohmann::json& guide = brochures["files"][0];
    EXPECT_EQ(guide["id"], 100);
    EXPECT_EQ(guide["title"], "Pump guide");
    // Content, thumbnail share and the slide asset.
    EXPECT_GE(guide["size"].get<std::int64_t>(),
              static_cast<std::int64_t>(std::string(cms::test::kFileContent).size() +
                                        std::string(cms::test::kAssetContent).size()));
    ASSERT_EQ(brochures["subcategories"].size(), 1u);
    const nlohmann::json& pumps = brochures["subcategories"][0];
    EXPECT_EQ(pumps["id"], 11);
    EXPECT_EQ(pumps["name"], "Pumps");
    EXPECT_TRUE(pumps["subcategories"].empty());
    // By title: "Price list" before "Pump guide".
    ASSERT_EQ(pumps["files"].size(), 2u);
    EXPECT_EQ(pumps["files"][0]["id"], 101);
    EXPECT_EQ(pumps["files"][1], guide);
    EXPECT_EQ(states(tree),
              (States{{{10, 100}, "Delete"}, {{11, 100}, "Delete"}, {{11, 101}, "Download"}}));

    CliRun text = run({"downloads"});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("Brochures [10]\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\n  Pumps [11]\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("    - Price list [101]  6.0 bytes  Download\n"), std::string::npos)
        << text.out;

    struct Case {
        std::vector<std::string> args;
        States expected;
    };
    const std::vector<Case> cases = {
        {{"--filter", "downloaded"}, {{{10, 100}, "Delete"}, {{11, 100}, "Delete"}}},
        // Brochures stays for its child's file, without a file of its own.
        {{"--filter", "not-downloaded"}, {{{11, 101}, "Download"}}},
        {{"--filter", "update"}, {}},
        {{"--filter", "error"}, {}},
        {{"--keyword", "PRICE"}, {{{11, 101}, "Download"}}},
        {{"--keyword", "guide", "--filter", "not-downloaded"},
         {{{10, 100}, "Delete"}, {{11, 100}, "Delete"}}},
    };
    for (const Case& filtered : cases) {
        std::vector<std::string> args = {"downloads"};
        args.insert(args.end(), filtered.args.begin(), filtered.args.end());
        nlohmann::json shown = json(args);
        EXPECT_EQ(states(shown), filtered.expected) << testing::PrintToString(filtered.args);
        if (!filtered.expected.empty()) {
            EXPECT_EQ(shown[0]["id"], 10) << testing::PrintToString(filtered.args);
        }
    }
    EXPECT_EQ(run({"downloads", "--filter", "broken"}).exitCode, 2);

    // A newer version at a new address: once imported, the old copy no longer counts as the
    // file's download; the next synchronisation fetches the new one.
    ASSERT_TRUE(server->services().catalogue.moveFile(100).ok());
    CliRun imported = run({"sync", "--no-download"});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    States outdated = states(json({"downloads"}));
    EXPECT_NE(outdated[std::make_pair(10, 100)], "Delete");
    EXPECT_EQ(outdated[std::make_pair(10, 100)], outdated[std::make_pair(11, 100)]);
    synchronise();
    EXPECT_EQ(states(json({"downloads"})),
              (States{{{10, 100}, "Delete"}, {{11, 100}, "Delete"}, {{11, 101}, "Delete"}}));
    EXPECT_EQ(contentFetches(100), 2) << lastRun;
}

TEST_F(DownloadsCliTest, DeleteAsksFirstAndRemovesTheCopy) {
    signIn("demo", "demo");
    synchronise();

    CliRun declined = run({"--json", "delete", "100"});  // no terminal: the "No" answer
    EXPECT_EQ(declined.exitCode, 1);
    EXPECT_NE(declined.err.find("Do you really want to delete this file?"), std::string::npos)
        << declined.err;
    EXPECT_EQ(nlohmann::json::parse(declined.out),
              nlohmann::json::parse(R"({"deleted": [], "kept": [100]})"));
    EXPECT_TRUE(brochureOnDisk());

    ASSERT_EQ(resourcesClaimingACopy("f.cmsID = 100"), 1);
    ASSERT_TRUE(onDisk(cms::test::kAssetContent));
    CliRun confirmed = run({"--json", "--yes", "delete", "100"});
    EXPECT_EQ(confirmed.exitCode, 0) << confirmed.err;
    EXPECT_EQ(nlohmann::json::parse(confirmed.out),
              nlohmann::json::parse(R"({"deleted": [100], "kept": []})"));
    EXPECT_FALSE(brochureOnDisk());
    // The asset's copy went with the file, and its record no longer claims it.
    EXPECT_FALSE(onDisk(cms::test::kAssetContent));
    EXPECT_EQ(resourcesClaimingACopy("f.cmsID = 100"), 0);
    EXPECT_EQ(states(json({"downloads"})),
              (States{{{10, 100}, "Download"}, {{11, 100}, "Download"}, {{11, 101}, "Delete"}}));

    // Nothing to delete: not on the device, or no such file. Nothing is asked then.
    for (const char* id : {"100", "999"}) {
        CliRun refused = run({"--yes", "delete", id});
        EXPECT_EQ(refused.exitCode, 1) << id;
        EXPECT_EQ(refused.err.find("Do you really want"), std::string::npos) << refused.err;
    }

    // Delete-all takes the resources' copies too; the guide comes back first to have one.
    ASSERT_EQ(run({"download", "100"}).exitCode, 0);
    ASSERT_EQ(resourcesClaimingACopy("f.cmsID = 100"), 1);
    CliRun keptAll = run({"--no", "delete", "--all"});
    EXPECT_EQ(keptAll.exitCode, 1);
    EXPECT_NE(keptAll.err.find("Do you really want to delete all files?"), std::string::npos)
        << keptAll.err;
    EXPECT_EQ(states(json({"downloads", "--filter", "downloaded"})),
              (States{{{10, 100}, "Delete"}, {{11, 100}, "Delete"}, {{11, 101}, "Delete"}}));

    CliRun all = run({"--json", "--yes", "delete", "--all"});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(nlohmann::json::parse(all.out)["deletedAll"], true);
    EXPECT_EQ(states(json({"downloads"})),
              (States{{{10, 100}, "Download"}, {{11, 100}, "Download"}, {{11, 101}, "Download"}}));
    EXPECT_EQ(resourcesClaimingACopy(), 0);
    EXPECT_FALSE(onDisk(cms::test::kAssetContent));
    EXPECT_EQ(run({"delete"}).exitCode, 2);
}

// Two users on one device hold a file; the server deletes it. The one whose sync meets the
// deletion first loses it for good on this device (no download-all or download shows it
// again, whichever form the answer has); the other keeps it, with its copy, until the server
// removes it for them too, and then the record and the copy go.
TEST_F(DownloadsCliTest, AFileTheServerRemovedForOneUserStaysRemovedForThemAlone) {
    struct Form {
        const char* name;
        bool changeAnswers;  // requests carry change timestamps: the server answers changes
    };
    int fileID = 300;
    for (const Form form : {Form{"change answers", true}, Form{"full answers", false}}) {
        SCOPED_TRACE(form.name);
        ++fileID;
        ASSERT_TRUE(PropertyList::writeFile(
                        config().string(),
                        PlistValue(PlistDict{{"CMSURL", server->baseUrl()},
                                             {"LoginSecret", kAppSecret},
                                             {"TimestampSyncEnabled", form.changeAnswers}}))
                        .ok());
        server->services().requestLog.clear();
        const std::string content = "%PDF-1.4 brochure " + std::to_string(fileID) + "\n";
        cms::NewFile shared;
        shared.id = fileID;
        shared.title = "Shared " + std::to_string(fileID);
        shared.name = "shared.pdf";
        shared.content = content;
        shared.thumbnail = "thumbs/guide.png";
        shared.locales = {1};
        shared.categories = {10};
        ASSERT_TRUE(server->services().catalogue.addFile(shared).ok());
        auto syncAs = [&](const char* user, const char* password) {
            signIn(user, password);
            CliRun synced = run({"--json", "--yes", "sync"});
            EXPECT_EQ(synced.exitCode, 0) << synced.err;
            return nlohmann::json::parse(synced.out, nullptr, false);
        };
        auto removed = [](const nlohmann::json& report) {
            return report["files"]["removed"].get<std::vector<int>>();
        };
        syncAs("demo", "demo");
        syncAs("other", "pw2");
        ASSERT_TRUE(onDisk(content));

        ASSERT_TRUE(server->services().catalogue.deleteFile(fileID).ok());
        nlohmann::json other = syncAs("other", "pw2");
        EXPECT_EQ(other["unhidden"], nlohmann::json::array()) << other.dump();
        EXPECT_EQ(removed(other), std::vector<int>{fileID});
        EXPECT_TRUE(onDisk(content)) << "demo still keeps the copy";
        EXPECT_EQ(states(json({"downloads"})).count({10, fileID}), 0u);
        EXPECT_EQ(run({"download", std::to_string(fileID)}).exitCode, 1);
        nlohmann::json again = syncAs("other", "pw2");
        EXPECT_EQ(again["unhidden"], nlohmann::json::array()) << again.dump();
        EXPECT_EQ(removed(again), std::vector<int>{});

        nlohmann::json demo = syncAs("demo", "demo");
        EXPECT_EQ(removed(demo), std::vector<int>{fileID});
        EXPECT_FALSE(onDisk(content));
        // The form the answers had: change answers come for a request with a timestamp.
        bool askedForChanges = false;
        for (const auto& entry : server->services().requestLog.entries()) {
            askedForChanges =
                askedForChanges || entry.target.find("timestamp=") != std::string::npos;
        }
        EXPECT_EQ(askedForChanges, form.changeAnswers);
        EXPECT_EQ(storeScalar("SELECT COUNT(*) FROM File WHERE cmsID = " + std::to_string(fileID)),
                  0);
    }
}

// A server answer that suddenly lists no categories would take every file and downloaded
// byte. Without a terminal (`pagewell sync --non-interactive`, `pagewell run`) it is skipped
// with a warning and exit 3, the store and the disk left as they were and the change
// timestamps not advanced, so the same answer comes again; --yes applies it.
TEST_F(DownloadsCliTest, AServerThatListsNoCategoriesRemovesNothingUnlessConfirmed) {
    for (int id = 200; id < 222; ++id) {
        cms::NewFile more;
        more.id = id;
        more.title = "Sheet " + std::to_string(id);
        more.content = "sheet";
        more.thumbnail = "thumbs/guide.png";
        more.locales = {1};
        more.categories = {11};
        more.users = std::vector<int>{1};
        ASSERT_TRUE(server->services().catalogue.addFile(more).ok());
    }
    signIn("demo", "demo");
    synchronise();
    const nlohmann::json held = json({"status"})["counts"];
    ASSERT_EQ(held["files"], 24) << held.dump();
    ASSERT_TRUE(brochureOnDisk());

    cms::CatalogueState& catalogue = server->services().catalogue;
    ASSERT_TRUE(catalogue.deleteCategory(11, 1).ok());
    ASSERT_TRUE(catalogue.deleteCategory(10, 1).ok());
    const std::string kept = "no longer lists 24 of your 24 files";

    CliRun script = run({"--json", "--non-interactive", "sync"});
    EXPECT_EQ(script.exitCode, 3) << script.err;
    EXPECT_NE(script.err.find("The server " + kept + ". Remove them from this device?"),
              std::string::npos)
        << script.err;
    EXPECT_NE(script.err.find("Warning: the server " + kept), std::string::npos) << script.err;
    nlohmann::json report = nlohmann::json::parse(script.out, nullptr, false);
    EXPECT_EQ(report["imported"], true) << script.out;
    EXPECT_NE(report["removalHeldBack"].get<std::string>().find(kept), std::string::npos);
    EXPECT_EQ(report["files"]["removed"], nlohmann::json::array());
    EXPECT_EQ(json({"status"})["counts"], held);
    EXPECT_TRUE(brochureOnDisk());

    // The same answer again: the timestamps did not move.
    PagewellProcess running(data(), withConfig({"run", "--now"}), environment);
    ASSERT_TRUE(running.waitForLine("Synchronisation finished")) << running.err();
    running.signal(SIGTERM);
    EXPECT_EQ(running.wait(), 3) << running.err();
    EXPECT_NE(running.err().find("Warning: the server no longer lists most of your files"),
              std::string::npos)
        << running.err();
    EXPECT_EQ(json({"status"})["counts"], held);
    EXPECT_TRUE(brochureOnDisk());

    CliRun confirmed = run({"--json", "--yes", "sync"});
    EXPECT_EQ(confirmed.exitCode, 0) << confirmed.err;
    report = nlohmann::json::parse(confirmed.out, nullptr, false);
    EXPECT_EQ(report["categories"]["removed"], nlohmann::json::parse("[10, 11]"));
    EXPECT_EQ(report["files"]["removed"].size(), 24u);
    EXPECT_EQ(json({"status"})["counts"]["files"], 0);
    EXPECT_FALSE(brochureOnDisk());
}

TEST_F(DownloadsCliTest, DownloadFetchesWhatIsMissingAndNamesWhatFailed) {
    signIn("demo", "demo");
    CliRun imported = run({"sync", "--no-download"});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;

    cms::Fault broken;
    broken.kind = cms::Fault::Kind::Status;
    broken.prefix = "/media/files/101/";
    broken.status = 500;
    server->services().faults.arm(broken);
    CliRun partly = run({"--json", "download", "100", "101"});
    EXPECT_EQ(partly.exitCode, 3) << partly.err;
    nlohmann::json summary = nlohmann::json::parse(partly.out);
    EXPECT_EQ(summary["downloaded"], nlohmann::json::parse("[100]"));
    ASSERT_EQ(summary["failed"].size(), 1u) << partly.out;
    EXPECT_EQ(summary["failed"][0]["id"], 101);
    EXPECT_NE(partly.err.find("101"), std::string::npos) << partly.err;

    CliRun rest = run({"--json", "download", "100", "101"});
    EXPECT_EQ(rest.exitCode, 0) << rest.err;
    EXPECT_EQ(nlohmann::json::parse(rest.out),
              nlohmann::json::parse(R"({"downloaded": [101], "unhidden": [],
                                        "alreadyDownloaded": [100], "failed": []})"));
    EXPECT_EQ(contentFetches(100), 1);
    EXPECT_EQ(run({"download", "999"}).exitCode, 1);

    // A second user removes the file the first still keeps: the copy stays, and downloading
    // it again only shows it again.
    signIn("other", "pw2");
    ASSERT_EQ(run({"sync", "--no-download"}).exitCode, 0);
    EXPECT_EQ(states(json({"downloads"})), (States{{{10, 100}, "Delete"}}));
    ASSERT_EQ(run({"--yes", "delete", "100"}).exitCode, 0);
    EXPECT_TRUE(brochureOnDisk());
    EXPECT_EQ(states(json({"downloads"})), (States{{{10, 100}, "Download"}}));
    CliRun shown = run({"--json", "download", "100"});
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(nlohmann::json::parse(shown.out)["unhidden"], nlohmann::json::parse("[100]"));
    EXPECT_EQ(states(json({"downloads"})), (States{{{10, 100}, "Delete"}}));
    EXPECT_EQ(contentFetches(100), 1);

    // The server gone: the copy the other user keeps is shown again, but the price list only
    // the first user had cannot be fetched, and the command says so.
    signIn("demo", "demo");
    ASSERT_EQ(run({"--yes", "delete", "--all"}).exitCode, 0);
    server->stop();
    EXPECT_EQ(run({"download", "100"}).exitCode, 0);
    CliRun offline = run({"download", "101"});
    EXPECT_EQ(offline.exitCode, 5) << offline.err;
    EXPECT_NE(offline.err.find("offline / server unreachable"), std::string::npos) << offline.err;
}

TEST_F(DownloadsCliTest, CtrlCCancelsTheDownloadsAndLeavesNothingHalfDone) {
    signIn("demo", "demo");
    ASSERT_EQ(run({"sync", "--no-download"}).exitCode, 0);
    cms::Fault hold;
    hold.kind = cms::Fault::Kind::Hold;
    hold.prefix = "/media/files/";
    hold.remaining = 10;
    server->services().faults.arm(hold);

    PagewellProcess downloading(data(), withConfig({"download", "100", "101"}), environment);
    // Both transfers have reached the server and wait there.
    ASSERT_EQ(server->services().faults.waitForHeld(2, 2, std::chrono::seconds(30)).held, 2);
    downloading.signal(SIGINT);
    EXPECT_EQ(downloading.wait(), 130) << downloading.err();
    server->services().faults.clear();

    EXPECT_EQ(states(json({"downloads"})),
              (States{{{10, 100}, "Download"}, {{11, 100}, "Download"}, {{11, 101}, "Download"}}));
    EXPECT_FALSE(brochureOnDisk());
    CliRun again = run({"download", "100", "101"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(brochureOnDisk());
}

TEST_F(DownloadsCliTest, ResetSyncAsksThenErasesTheCatalogueAndSignsOut) {
    signIn("demo", "demo");
    synchronise();

    CliRun declined = run({"settings", "reset-sync"});
    EXPECT_EQ(declined.exitCode, 1);
    EXPECT_NE(declined.err.find("Do you really want to reset the sync? All data expect your user "
                                "will be erased from this device."),
              std::string::npos)
        << declined.err;
    EXPECT_TRUE(brochureOnDisk());

    CliRun reset = run({"--json", "--yes", "settings", "reset-sync"});
    EXPECT_EQ(reset.exitCode, 0) << reset.err;
    EXPECT_EQ(nlohmann::json::parse(reset.out),
              nlohmann::json::parse(R"({"dataReset": true, "loggedOut": true})"));
    EXPECT_FALSE(brochureOnDisk());
    nlohmann::json status = json({"status"});
    EXPECT_FALSE(status["loggedIn"].get<bool>());
    EXPECT_TRUE(status["locale"].is_null());

    signIn("demo", "demo");
    CliRun empty = run({"downloads"});
    EXPECT_EQ(empty.exitCode, 0) << empty.err;
    EXPECT_NE(empty.out.find("The catalogue is empty"), std::string::npos) << empty.out;
}

TEST_F(DownloadsCliTest, RunStopsCleanlyOnSigtermAndSigint) {
    signIn("demo", "demo");
    for (auto [signalNumber, exitCode] : {std::pair{SIGTERM, 0}, std::pair{SIGINT, 130}}) {
        PagewellProcess running(data(), withConfig({"run"}), environment);
        ASSERT_TRUE(running.waitForLine("Running;")) << running.err();
        EXPECT_TRUE(running.waitForLine("Next automatic synchronisation at")) << running.err();
        running.signal(signalNumber);
        EXPECT_EQ(running.wait(), exitCode) << running.err();
        EXPECT_NE(running.err().find("Stopped."), std::string::npos) << running.err();
    }
    // The timer is minutes away: nothing was fetched.
    EXPECT_EQ(contentFetches(100), 0);
    EXPECT_EQ(run({"downloads"}).exitCode, 0);
}

// A token that can no longer be renewed ends the session, and with it the run.
TEST_F(DownloadsCliTest, RunEndsWhenTheSessionEnds) {
    signIn("demo", "demo");
    server->services().tokens.expireAll();
    cms::Fault refused;
    refused.kind = cms::Fault::Kind::Status;
    refused.prefix = "/api2/auth/";
    refused.status = 403;
    refused.remaining = 20;
    server->services().faults.arm(refused);

    PagewellProcess running(data(), withConfig({"run", "--now"}), environment);
    EXPECT_EQ(running.wait(), 4) << running.err();
    EXPECT_NE(running.err().find("The session has ended"), std::string::npos) << running.err();
    EXPECT_EQ(contentFetches(100), 0);
}

// The run holds the data directory for its whole life: a sync or download started beside it
// gives up with exit code 6, and no file is ever fetched twice.
TEST_F(DownloadsCliTest, RunAndASyncBesideItNeverFetchAFileTwice) {
    signIn("demo", "demo");
    PagewellProcess running(data(), withConfig({"run", "--now"}), environment);
    ASSERT_TRUE(running.waitForLine("Synchronisation started.")) << running.err();
    CliRun beside = run({"--yes", "sync"});
    EXPECT_EQ(beside.exitCode, 6) << beside.err;
    ASSERT_TRUE(running.waitForLine("Synchronisation finished")) << running.err();
    EXPECT_EQ(run({"download", "100", "101"}).exitCode, 6);
    running.signal(SIGTERM);
    EXPECT_EQ(running.wait(), 0) << running.err();

    CliRun after = run({"--yes", "sync"});
    EXPECT_EQ(after.exitCode, 0) << after.err;
    EXPECT_EQ(contentFetches(100), 1);
    EXPECT_EQ(contentFetches(101), 1);
    EXPECT_EQ(states(json({"downloads"})),
              (States{{{10, 100}, "Delete"}, {{11, 100}, "Delete"}, {{11, 101}, "Delete"}}));
}

// Titles and names come from the server: colour changes, window-title changes and line breaks
// in them are shown as escapes on the terminal, and kept as they are in the JSON document.
TEST_F(DownloadsCliTest, ServerTextReachesTheTerminalWithItsControlCharactersEscaped) {
    signIn("demo", "demo");
    cms::CatalogueState& catalogue = server->services().catalogue;
    cms::NewCategory category;
    category.id = 12;
    category.locale = 1;
    category.title = "\x1b[31mRed\x1b[0m valves";
    category.parents = {10};
    ASSERT_TRUE(catalogue.addCategory(category).ok());
    cms::NewFile file;
    file.id = 102;
    file.title = "\x1b]0;owned\x07Guide\n  - Fake [1]";
    file.name = "guide.txt";
    file.mimeType = "text/plain";
    file.content = "guide";
    file.locales = {1};
    file.categories = {12};
    ASSERT_TRUE(catalogue.addFile(file).ok());
    CliRun synced = run({"sync", "--no-download"});
    ASSERT_EQ(synced.exitCode, 0) << synced.err;

    CliRun shown = run({"downloads"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    for (char control : {'\x1b', '\x07'}) {
        EXPECT_EQ(shown.out.find(control), std::string::npos) << shown.out;
    }
    EXPECT_NE(shown.out.find("  \\x1b[31mRed\\x1b[0m valves [12]\n"), std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("    - \\x1b]0;owned\\x07Guide\\x0a  - Fake [1] [102]  "),
              std::string::npos)
        << shown.out;

    nlohmann::json tree = json({"downloads"});
    std::map<int, std::string> names;
    std::map<int, std::string> titles;
    std::function<void(const nlohmann::json&)> walk = [&](const nlohmann::json& nodes) {
        for (const auto& node : nodes) {
            names[node["id"].get<int>()] = node["name"];
            for (const auto& entry : node["files"]) {
                titles[entry["id"].get<int>()] = entry["title"];
            }
            walk(node["subcategories"]);
        }
    };
    walk(tree);
    EXPECT_EQ(names[12], category.title);
    EXPECT_EQ(titles[102], file.title);
}

TEST_F(DownloadsCliTest, TheCatalogueCommandsNeedASignedInUser) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"downloads"}, {"download", "100"}, {"delete", "100"}, {"run"}}) {
        CliRun refused = run(args);
        EXPECT_EQ(refused.exitCode, 4) << args[0] << ": " << refused.err;
        EXPECT_NE(refused.err.find("pagewell login"), std::string::npos) << refused.err;
    }
}

}  // namespace
}  // namespace pagewell

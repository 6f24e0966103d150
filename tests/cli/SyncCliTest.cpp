// `pagewell sync` and the catalogue counts of `pagewell status`, run as a user runs them against
// pagewell-cms serving the small test catalogue on a loopback port: "demo" sees the English
// categories 10 and 11 and the files 100 (a highlight) and 101.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CmsCliTest.h"
#include "TestCatalogue.h"
#include "TestSupport.h"
#include "cms/CmsServer.h"
#include "cms/FaultInjector.h"
#include "platform/DataDirectoryLock.h"

namespace pagewell {
namespace {

constexpr const char* kAppSecret = "cli-sync-secret";
constexpr const char* kNothingSynchronised =
    "offline / server unreachable — nothing was synchronised";

class SyncCliTest : public CmsCliTest {
  protected:
    void SetUp() override {
        std::filesystem::path catalogue = home.path() / "catalogue";
        cms::test::writeTestCatalogue(catalogue);
        ASSERT_TRUE(serve(catalogue, kAppSecret));
    }
};

nlohmann::json lists(std::vector<int> added, std::vector<int> changed, std::vector<int> removed) {
    return {{"added", added}, {"changed", changed}, {"removed", removed}};
}

TEST_F(SyncCliTest, TheFirstSyncAddsTheCatalogueAndTheSecondChangesNothing) {
    signIn();
    nlohmann::json first = json({"sync", "--no-download"});
    EXPECT_EQ(first["imported"], true);
    EXPECT_EQ(first["categories"], lists({10, 11}, {}, {}));
    EXPECT_EQ(first["files"], lists({100, 101}, {}, {}));

    CliRun second = run({"sync", "--no-download"});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, "No changes in the catalogue.\n");

    // The same first sync as text, in a fresh data directory.
    std::filesystem::remove_all(data());
    signIn();
    CliRun text = run({"sync", "--no-download"});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("Categories: 2 added, 0 changed, 0 removed"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("Files:      2 added, 0 changed, 0 removed\n  added:    100, 101"),
              std::string::npos)
        << text.out;
}

TEST_F(SyncCliTest, ServerChangesShowUpAsChangedAddedAndRemoved) {
    signIn();
    ASSERT_EQ(run({"sync", "--no-download"}).exitCode, 0);

    cms::CatalogueState& catalogue = server->services().catalogue;
    ASSERT_TRUE(catalogue.touchFile(100).ok());
    ASSERT_TRUE(catalogue.removeFileForUser(101, 1).ok());
    cms::NewCategory category;
    category.id = 12;
    category.locale = 1;
    category.title = "Valves";
    category.parents = {10};
    ASSERT_TRUE(catalogue.addCategory(category).ok());

    nlohmann::json changed = json({"sync", "--no-download"});
    EXPECT_EQ(changed["imported"], true);
    EXPECT_EQ(changed["files"], lists({}, {100}, {101}));
    EXPECT_EQ(changed["categories"]["added"], nlohmann::json::array({12}));
    EXPECT_EQ(changed["categories"]["removed"], nlohmann::json::array());

    EXPECT_EQ(json({"sync", "--no-download"})["files"], lists({}, {}, {}));
}

TEST_F(SyncCliTest, StatusCountsTheCatalogueOfTheUserAndLanguage) {
    EXPECT_TRUE(json({"status"})["counts"].is_null());
    signIn();
    EXPECT_EQ(json({"status"})["counts"]["files"], 0);
    ASSERT_EQ(run({"sync", "--no-download"}).exitCode, 0);

    nlohmann::json counts = json({"status"})["counts"];
    EXPECT_EQ(counts["categories"], 2);
    EXPECT_EQ(counts["files"], 2);
    EXPECT_EQ(counts["highlights"], 1);
    EXPECT_EQ(counts["downloaded"], 0);
    EXPECT_EQ(counts["pendingDownloads"], 2);
    // At least both files' content; thumbnail and resources add their share.
    EXPECT_GE(counts["neededBytes"].get<std::uint64_t>(),
              std::string(cms::test::kFileContent).size() + std::string("prices").size());

    CliRun text = run({"status"});
    EXPECT_NE(text.out.find("Catalogue\n  Categories:       2\n  Files:            2 (1 "
                            "highlights)\n  Downloaded:       0\n  To download:      2 ("),
              std::string::npos)
        << text.out;

    // Nothing of the German catalogue is synchronised yet.
    ASSERT_EQ(run({"locale", "use", "2"}).exitCode, 0);
    EXPECT_EQ(json({"status"})["counts"]["categories"], 0);
}

TEST_F(SyncCliTest, NothingIsSynchronisedWithoutTheServer) {
    signIn();
    // Offline mode: nothing is sent.
    ASSERT_EQ(run({"settings", "set", "OFFLINE_SETTINGS", "OFFLINEMODE", "true"}).exitCode, 0);
    CliRun offline = run({"sync", "--no-download"});
    EXPECT_EQ(offline.exitCode, 5);
    EXPECT_NE(offline.err.find(kNothingSynchronised), std::string::npos) << offline.err;
    ASSERT_EQ(run({"settings", "set", "OFFLINE_SETTINGS", "OFFLINEMODE", "false"}).exitCode, 0);

    // The server is gone.
    server->stop();
    nlohmann::json unreachable = json({"sync", "--no-download"}, 5);
    EXPECT_EQ(unreachable["imported"], false);
    EXPECT_EQ(unreachable["error"]["message"], kNothingSynchronised);
    EXPECT_EQ(unreachable["files"], lists({}, {}, {}));
}

// A failed run says what it left behind: nothing, or what it imported before the failure (the
// categories and the files of Brochures arrive, then the files of Pumps fail), and a server's
// own message under its error, cleaned for the terminal.
TEST_F(SyncCliTest, AFailedRunSaysWhatItImportedAndWhatTheServerSaid) {
    struct Case {
        const char* name;
        cms::Fault fault;
        int exitCode;
        std::vector<std::string> said;  // on stderr, in this order
        std::string serverMessage;      // in the JSON error, none when empty
    };
    auto fault = [](cms::Fault::Kind kind, const char* prefix, int status, std::string body = {},
                    std::string type = "text/plain") {
        cms::Fault made;
        made.kind = kind;
        made.prefix = prefix;
        made.remaining = 10;
        made.status = status;
        made.body = std::move(body);
        made.contentType = std::move(type);
        return made;
    };
    const std::string imported =
        "imported before the failure: categories: 2 added, 0 changed, 0 removed; files: 1 added, "
        "0 changed, 0 removed";
    const Case cases[] = {
        {"maintenance notice as JSON",
         fault(cms::Fault::Kind::Answer, "/api2/category/", 503,
               R"({"success": false, "message": "Down for maintenance until 18:00"})",
               "application/json"),
         1,
         {"the catalogue could not be synchronised: Request failed: service unavailable (503)",
          "  The server says: Down for maintenance until 18:00"},
         "Down for maintenance until 18:00"},
        {"maintenance notice as text with control characters",
         fault(cms::Fault::Kind::Answer, "/api2/category/", 503, "\x1b[1mBack at\r\n18:00\x07\n"),
         1,
         {"Request failed: service unavailable (503)", "  The server says: [1mBack at 18:00\n"},
         "[1mBack at 18:00"},
        {"a web page says nothing more",
         fault(cms::Fault::Kind::Answer, "/api2/category/", 502, "<html>Bad gateway</html>",
               "text/html"),
         1,
         {"the catalogue could not be synchronised: Request failed: bad gateway (502)\n"},
         ""},
        {"failure after the first category",
         fault(cms::Fault::Kind::Status, "/api2/category/items/11", 500),
         1,
         {"the catalogue could not be synchronised completely: Request failed: internal server "
          "error (500); " +
              imported,
          "  The server says: injected failure"},
         "injected failure"},
        {"connection lost after the first category",
         fault(cms::Fault::Kind::Drop, "/api2/category/items/11", 0),
         5,
         {"offline / server unreachable; " + imported, "  The network connection was lost."},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(data());
        signIn();
        server->services().faults.arm(c.fault);
        CliRun failed = run({"sync", "--no-download"});
        nlohmann::json document = json({"sync", "--no-download"}, c.exitCode);
        server->services().faults.clear();

        EXPECT_EQ(failed.exitCode, c.exitCode) << failed.err;
        std::size_t at = 0;
        for (const auto& text : c.said) {
            at = failed.err.find(text, at);
            ASSERT_NE(at, std::string::npos) << text << "\nin:\n" << failed.err;
        }
        EXPECT_EQ(failed.err.find('\x1b'), std::string::npos);
        EXPECT_EQ(failed.err.find("nothing was synchronised"), std::string::npos);
        EXPECT_EQ(document["imported"], false);
        if (c.serverMessage.empty()) {
            EXPECT_EQ(failed.err.find("The server says"), std::string::npos) << failed.err;
            EXPECT_FALSE(document["error"].contains("serverMessage")) << document.dump();
        } else {
            EXPECT_EQ(document["error"]["serverMessage"], c.serverMessage);
        }
    }
}

TEST_F(SyncCliTest, SignInAndTheDataDirectoryAreChecked) {
    CliRun nobody = run({"sync", "--no-download"});
    EXPECT_EQ(nobody.exitCode, 4) << nobody.err;

    signIn();
    {
        auto held = DataDirectoryLock::acquire(data() / ".lock", std::chrono::milliseconds(0));
        ASSERT_TRUE(held.ok()) << held.error().description;
        CliRun busy = run({"sync", "--no-download"}, {"PAGEWELL_LOCK_WAIT_MS=0"});
        EXPECT_EQ(busy.exitCode, 6) << busy.err;
    }

    // Every token stops working and the renewal is refused: the session has expired.
    server->services().tokens.expireAll();
    cms::Fault refused;
    refused.prefix = "/api2/auth";
    refused.remaining = 10;
    refused.status = 500;
    server->services().faults.arm(refused);
    CliRun expired = run({"sync", "--no-download"});
    EXPECT_EQ(expired.exitCode, 4) << expired.err;
    EXPECT_NE(expired.err.find("session has expired"), std::string::npos) << expired.err;
}

}  // namespace
}  // namespace pagewell

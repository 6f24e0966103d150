// Answers no honest server sends, served by pagewell-cms to `pagewell` run as a user runs it:
// JSON nested hundreds of thousands of levels deep, answers far larger than their kind ever is,
// and file entries without the keys their import needs. Each command ends with an error of its
// own (no crash), and the store and the downloaded copies stay as they were. The test catalogue:
// "demo" sees Brochures (10) with Pump guide (100) and Pumps (11) with 100 and Price list (101).

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CmsCliTest.h"
#include "TestCatalogue.h"
#include "TestSupport.h"
#include "cms/CmsServer.h"
#include "store/Database.h"
#include "sync/StoreSnapshot.h"

namespace pagewell {
namespace {

constexpr const char* kAppSecret = "cli-hostile-secret";

class HostileAnswerCliTest : public CmsCliTest {
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
    }

    static std::string readFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Signed in, English chosen, the catalogue synchronised and its files downloaded.
    void synchronised() {
        ASSERT_NO_FATAL_FAILURE(signIn());
        CliRun synced = run({"--yes", "sync"});
        ASSERT_EQ(synced.exitCode, 0) << synced.err;
    }

    void arm(cms::Fault fault) { server->services().faults.arm(std::move(fault)); }

    std::unique_ptr<Database> openStore() {
        auto db = Database::open(storePath());
        EXPECT_TRUE(db.ok());
        return db.ok() ? std::move(db).value() : nullptr;
    }

    // Every row of the store; none before the first sign-in made it.
    std::vector<std::string> store() {
        if (!std::filesystem::exists(storePath())) {
            return {};
        }
        auto db = openStore();
        return db ? storeSnapshot(*db) : std::vector<std::string>{};
    }

    // The title and whether the file counts as downloaded, as "title/downloaded".
    std::string fileRecord(int cmsID) {
        auto db = openStore();
        auto row = db->prepare("SELECT title || '/' || downloaded FROM File WHERE cmsID = ?");
        EXPECT_TRUE(row.ok());
        row.value()->bind(1, cmsID);
        std::string record = row.value()->step().valueOr(false) ? row.value()->text(0) : "";
        row.value()->reset();
        return record;
    }

    // Everything the app logged so far.
    std::string logged() {
        std::string text;
        const auto logs = data() / "Library" / "Logs";
        if (std::filesystem::exists(logs)) {
            for (const auto& entry : std::filesystem::directory_iterator(logs)) {
                text += readFile(entry.path());
            }
        }
        return text;
    }

    // Every regular file below the data directory except the store and logs, with its bytes.
    std::map<std::string, std::string> copies() {
        std::map<std::string, std::string> found;
        if (!std::filesystem::exists(data())) {
            return found;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(data())) {
            const std::string path = entry.path().string();
            if (!entry.is_regular_file() || path.find("Database.sqlite") != std::string::npos ||
                path.find("/Logs/") != std::string::npos ||
                path.find("/Preferences/") != std::string::npos ||
                path.find(".lock") != std::string::npos) {
                continue;
            }
            found[path] = readFile(entry.path());
        }
        return found;
    }
};

struct BoundCase {
    const char* name;
    const char* prefix;  // the answers altered
    cms::Fault::Kind kind;
    std::vector<std::string> command;
    const char* expected;  // in the command's error output
};

cms::Fault fault(const BoundCase& c) {
    cms::Fault altered;
    altered.kind = c.kind;
    altered.prefix = c.prefix;
    altered.remaining = 100;
    // Deep enough to have overflowed the stack of a client that builds it; larger than the
    // kind's bound (sign-in 1 MiB, languages 4 MiB, category lists 64 MiB).
    altered.depth = 300'000;
    altered.bytes =
        std::string(c.prefix).find("/category/") != std::string::npos ? std::size_t{65} << 20
        : std::string(c.prefix).find("/locale/") != std::string::npos ? std::size_t{5} << 20
                                                                      : std::size_t{2} << 20;
    return altered;
}

const BoundCase kBoundCases[] = {
    {"DeepLogin",
     "/api2/auth/",
     cms::Fault::Kind::Nest,
     {"login", "--user", "demo", "--password-stdin"},
     "The server's answer is nested too deeply."},
    {"DeepSync",
     "/api2/category/",
     cms::Fault::Kind::Nest,
     {"--yes", "sync"},
     "The server's answer is nested too deeply."},
    {"DeepLocaleList",
     "/api2/locale/list",
     cms::Fault::Kind::Nest,
     {"locale", "list", "--refresh"},
     "The server's answer is nested too deeply."},
    {"LargeLogin",
     "/api2/auth/",
     cms::Fault::Kind::Pad,
     {"login", "--user", "demo", "--password-stdin"},
     "The server's answer is too large (more than 1 MiB)."},
    {"LargeSync",
     "/api2/category/",
     cms::Fault::Kind::Pad,
     {"--yes", "sync"},
     "The server's answer is too large (more than 64 MiB)."},
    {"LargeLocaleList",
     "/api2/locale/list",
     cms::Fault::Kind::Pad,
     {"locale", "list", "--refresh"},
     "The server's answer is too large (more than 4 MiB)."},
};

class AnswerBoundsCliTest : public HostileAnswerCliTest,
                            public ::testing::WithParamInterface<BoundCase> {};

TEST_P(AnswerBoundsCliTest, EndsWithItsErrorAndChangesNothing) {
    const BoundCase& c = GetParam();
    // A first sign-in, so that no stored password lets the login go on offline.
    const bool signingIn = c.command.front() == "login";
    if (!signingIn) {
        synchronised();
    }
    const auto before = store();
    const auto copiesBefore = copies();

    arm(fault(c));
    CliRun refused = signingIn ? run(c.command, {}, "demo\n") : run(c.command);
    EXPECT_NE(refused.exitCode, 0) << refused.err;
    EXPECT_LT(refused.exitCode, 128) << "killed by a signal: " << refused.err;
    EXPECT_NE(refused.err.find(c.expected), std::string::npos) << refused.err;
    EXPECT_NE(logged().find(c.expected), std::string::npos) << refused.err;
    if (signingIn) {
        // The sign-in says it failed; nobody is signed in or stored.
        EXPECT_NE(refused.err.find("Login failed."), std::string::npos) << refused.err;
        for (const std::string& row : store()) {
            EXPECT_NE(row.rfind("User|", 0), 0u) << row;
        }
    } else {
        EXPECT_EQ(store(), before);
        EXPECT_EQ(copies(), copiesBefore);
    }

    // The honest answers that follow are read as before.
    server->services().faults.clear();
    CliRun again = signingIn ? run(c.command, {}, "demo\n") : run(c.command);
    EXPECT_EQ(again.exitCode, 0) << again.err;
}

INSTANTIATE_TEST_SUITE_P(Answers, AnswerBoundsCliTest, ::testing::ValuesIn(kBoundCases),
                         [](const auto& param) { return std::string(param.param.name); });

// A changed file whose entry lacks a key: the category's answer is refused whole, the file keeps
// its record and its downloaded copy, and the next honest sync brings the change.
class MissingFileKeyCliTest : public HostileAnswerCliTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(MissingFileKeyCliTest, RefusesTheAnswerAndKeepsTheCopyUntilAnHonestSync) {
    const std::string key = GetParam();
    synchronised();
    ASSERT_TRUE(server->services().catalogue.touchFile(100).ok());
    const auto before = store();
    const auto copiesBefore = copies();
    ASSERT_FALSE(copiesBefore.empty());

    for (const char* prefix : {"/api2/category/items/", "/api2/highlight/"}) {
        cms::Fault stripped;
        stripped.kind = cms::Fault::Kind::Strip;
        stripped.prefix = prefix;
        stripped.remaining = 100;
        stripped.keys = {key};
        arm(stripped);
    }
    CliRun refused = run({"--yes", "sync"});
    EXPECT_NE(refused.exitCode, 0) << refused.err;
    EXPECT_LT(refused.exitCode, 128) << refused.err;
    EXPECT_NE(refused.err.find("Error while importing"), std::string::npos) << refused.err;
    EXPECT_EQ(store(), before);
    EXPECT_EQ(copies(), copiesBefore);

    server->services().faults.clear();
    CliRun honest = run({"--json", "--yes", "sync"});
    ASSERT_EQ(honest.exitCode, 0) << honest.err;
    auto summary = nlohmann::json::parse(honest.out, nullptr, false);
    EXPECT_EQ(summary["files"]["changed"], nlohmann::json::array({100})) << honest.out;
    // Still downloaded: its address did not change, so the copy stays.
    EXPECT_EQ(fileRecord(100), "Pump guide/1");
    const auto document =
        std::find_if(copiesBefore.begin(), copiesBefore.end(), [](const auto& copy) {
            return copy.first.find("/Documents/100/") != std::string::npos &&
                   copy.first.ends_with(".pdf");
        });
    ASSERT_NE(document, copiesBefore.end());
    const auto after = copies();
    ASSERT_EQ(after.count(document->first), 1u);
    EXPECT_EQ(after.at(document->first), document->second);
}

INSTANTIATE_TEST_SUITE_P(Keys, MissingFileKeyCliTest,
                         ::testing::Values("id", "title", "file_location", "time_modified"));

}  // namespace
}  // namespace pagewell

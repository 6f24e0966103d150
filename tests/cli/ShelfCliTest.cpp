// `pagewell shelf` as a user runs it against pagewell-cms serving the small test catalogue:
// "demo" sees Brochures (10) with Pump guide (100, a highlight, metatag "hydraulics") and its
// child Pumps (11) with Pump guide and Price list (101).

#include <gtest/gtest.h>

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "CmsCliTest.h"
#include "TestCatalogue.h"
#include "platform/DataDirectoryLock.h"
#include "platform/FileAreas.h"

namespace pagewell {
namespace {

constexpr const char* kAppSecret = "cli-shelf-secret";

class ShelfCliTest : public CmsCliTest {
  protected:
    void SetUp() override {
        std::filesystem::path catalogue = home.path() / "catalogue";
        cms::test::writeTestCatalogue(catalogue);
        cms::CmsServerOptions options;
        options.testHooks = true;
        ASSERT_TRUE(serve(catalogue, kAppSecret, options));
        environment.push_back("PAGEWELL_LOCK_WAIT_MS=200");
        signIn();
        ASSERT_EQ(run({"locale", "use", "1"}).exitCode, 0);
    }

    void hook(const std::string& action, const nlohmann::json& body) {
        httplib::Client client("127.0.0.1", server->port());
        auto answer = client.Post("/__test/catalogue/" + action, body.dump(), "application/json");
        ASSERT_TRUE(answer);
        ASSERT_EQ(answer->status, 200) << answer->body;
    }

    static std::vector<int> ids(const nlohmann::json& list) {
        std::vector<int> found;
        for (const auto& entry : list) {
            found.push_back(entry["id"].get<int>());
        }
        return found;
    }

    std::size_t apiRequests() {
        std::size_t count = 0;
        for (const auto& entry : server->services().requestLog.entries()) {
            count += entry.target.rfind("/api2", 0) == 0 ? 1 : 0;
        }
        return count;
    }
};

TEST_F(ShelfCliTest, TheHighlightShelfReloadsAndFollowsTheHighlightWindow) {
    nlohmann::json shelf = json({"shelf"});
    EXPECT_EQ(shelf["title"], "Highlights");
    EXPECT_EQ(shelf["source"], "highlights");
    EXPECT_EQ(shelf["sort"], "date");
    EXPECT_EQ(shelf["offline"], false);
    ASSERT_EQ(ids(shelf["files"]), std::vector<int>{100});
    const nlohmann::json& file = shelf["files"][0];
    EXPECT_EQ(file["title"], "Pump guide");
    EXPECT_EQ(file["new"], true);
    EXPECT_EQ(file["badges"], nlohmann::json::array());
    EXPECT_EQ(file["modified"], "2024-01-03 09:00:00");
    EXPECT_EQ(file["cover"], nullptr);

    // A window with an empty end is open on that side.
    hook("set-highlight", {{"file", 100}, {"start", "2020-01-01 00:00:00"}, {"end", ""}});
    EXPECT_EQ(ids(json({"shelf"})["files"]), std::vector<int>{100});
    hook("set-highlight", {{"file", 100}, {"start", "2099-01-01 00:00:00"}, {"end", ""}});
    EXPECT_TRUE(json({"shelf"})["files"].empty());
    hook("set-highlight", {{"file", 100}, {"start", ""}, {"end", "2020-01-01 00:00:00"}});
    EXPECT_TRUE(json({"shelf"})["files"].empty());
    hook("set-highlight", {{"file", 100}, {"start", ""}, {"end", ""}});
    nlohmann::json marked = json({"shelf", "--mark-read"});
    EXPECT_EQ(marked["files"][0]["new"], false);
}

TEST_F(ShelfCliTest, CategoriesListTheirChildrenAndFilesAndSearchFindsMetatags) {
    nlohmann::json roots = json({"shelf", "categories"});
    ASSERT_EQ(ids(roots["categories"]), std::vector<int>{10});
    EXPECT_EQ(roots["categories"][0]["hasSubcategories"], true);
    EXPECT_EQ(roots["categories"][0]["position"], 1);

    hook("set-metatags", {{"file", 101}, {"metatags", {"valves", "seals"}}});
    nlohmann::json pumps = json({"shelf", "categories", "11", "--sort", "title"});
    EXPECT_EQ(pumps["title"], "Pumps");
    EXPECT_EQ(pumps["source"], "category");
    EXPECT_EQ(pumps["sort"], "title");
    EXPECT_EQ(ids(pumps["files"]), (std::vector<int>{101, 100}));  // Price list, Pump guide

    nlohmann::json found = json({"shelf", "search", "seals,hydraulics"});
    EXPECT_EQ(found["source"], "search");
    EXPECT_EQ(ids(found["files"]), (std::vector<int>{101, 100}));
    // Literal text: pattern characters match only themselves.
    EXPECT_TRUE(json({"shelf", "search", "P%", "--local"})["files"].empty());
    EXPECT_EQ(ids(json({"shelf", "search", "pump", "--local"})["files"]), std::vector<int>{100});
}

TEST_F(ShelfCliTest, BadIdsAndMisplacedOptionsEndWithTheirExitCodes) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {{"shelf", "categories", "ten"}, 2},
        {{"shelf", "categories", "999"}, 1},
        {{"shelf", "--sort", "manual"}, 2},
        {{"shelf", "highlights", "--move", "1", "2"}, 2},
        {{"shelf", "favourites", "--move", "1", "x"}, 2},
        {{"shelf", "locations", "--beacon", "b1"}, 2},
        {{"shelf", "locations", "--qrcode", "77"}, 1},
        {{"shelf", "favourites", "No such folder"}, 1},
        {{"shelf", "bookcase"}, 2},
        {{"shelf", "search"}, 2},
    };
    for (const Case& c : cases) {
        CliRun ran = run(c.args);
        EXPECT_EQ(ran.exitCode, c.exitCode) << c.args.back() << ": " << ran.err;
    }
}

TEST_F(ShelfCliTest, ABusyDataDirectoryListsTheStoreWithoutReloadingOrWriting) {
    ASSERT_EQ(run({"shelf"}).exitCode, 0);
    hook("add-file", {{"file", 300},
                      {"title", "Evil\x1b]0;title\x07 brochure"},
                      {"name", "evil.pdf"},
                      {"content", "%PDF-1.4"},
                      {"locales", {1}},
                      {"categories", {10}},
                      {"highlight", true}});
    std::optional<DataDirectoryLock> held;
    {
        auto lock = DataDirectoryLock::acquire(FileAreas(data()).lockFile());
        ASSERT_TRUE(lock.ok());
        held.emplace(std::move(lock).value());
    }
    const std::size_t before = apiRequests();
    CliRun busy = run({"shelf"});
    EXPECT_EQ(busy.exitCode, 0) << busy.err;
    EXPECT_NE(busy.err.find("another pagewell process"), std::string::npos) << busy.err;
    EXPECT_NE(busy.out.find("Pump guide"), std::string::npos);
    EXPECT_EQ(busy.out.find("Evil"), std::string::npos);  // not reloaded
    EXPECT_EQ(apiRequests(), before);
    EXPECT_EQ(run({"shelf", "--mark-read"}).exitCode, 6);
    held.reset();

    CliRun reloaded = run({"shelf"});
    ASSERT_EQ(reloaded.exitCode, 0) << reloaded.err;
    EXPECT_EQ(reloaded.out.find('\x1b'), std::string::npos) << reloaded.out;
    EXPECT_NE(reloaded.out.find("Evil"), std::string::npos) << reloaded.out;
}

}  // namespace
}  // namespace pagewell

// Favourite folders and their files over HTTP: create, list, rename and delete, per user and
// locale, with JSON bodies and query parameters, kept across a restart.
#include "CmsApiFixture.h"

namespace pagewell::cms::test {
namespace {

using nlohmann::json;

class FavoriteEndpointsTest : public CmsApiFixture {
  protected:
    void SetUp() override {
        CmsApiFixture::SetUp();
        manifest_["favorite_folders"] = {
            {{"id", 5}, {"user", 1}, {"locale", 1}, {"name", "Fair"}, {"files", {100}}}};
        start();
    }

    json folders(const std::string& locale = "1", const std::string& token = {}) {
        return answer(get(withToken("/api2/favorite/folders?locale=" + locale, token)))["items"];
    }
    json relations(const std::string& token = {}) {
        return answer(get(withToken("/api2/favorite/files", token)))["items"];
    }
    std::string create(const std::string& path, const json& body) {
        json created = answer(send("POST", withToken(path), body.dump()));
        EXPECT_EQ(created["success"], true);
        return created.value("id", "");
    }
};

TEST_F(FavoriteEndpointsTest, CatalogueFoldersAreTheStartingState) {
    EXPECT_EQ(folders(), json::parse(R"([{"id": "5", "name": "Fair"}])"));
    json items = relations();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]["folder_id"], "5");
    EXPECT_EQ(items[0]["file_id"], "100");
    EXPECT_TRUE(folders("2").empty());
}

TEST_F(FavoriteEndpointsTest, FoldersAndFilesChangeAndSurviveARestart) {
    const std::string folder =
        create("/api2/favorite/folders", {{"name", "Pumps"}, {"locale_id", "1"}});
    const std::string german =
        create("/api2/favorite/folders", {{"name", "Pumpen"}, {"locale_id", 2}});
    EXPECT_NE(folder, german);
    const std::string inFolder =
        create("/api2/favorite/files", {{"folder_id", folder}, {"file_id", "101"}});
    const std::string loose = create("/api2/favorite/files", {{"folder_id", 0}, {"file_id", 100}});
    EXPECT_EQ(create("/api2/favorite/files", {{"folder_id", folder}, {"file_id", "101"}}), inFolder)
        << "the same file in the same folder is one relation";

    EXPECT_EQ(answer(send("PUT", withToken("/api2/favorite/folders"),
                          json{{"id", folder}, {"name", "Pumps 2024"}}.dump()))["success"],
              true);

    restart();
    EXPECT_EQ(folders(), json::parse(R"([{"id": "5", "name": "Fair"}, {"id": ")" + folder +
                                     R"(", "name": "Pumps 2024"}])"));
    EXPECT_EQ(folders("2"), json::parse(R"([{"id": ")" + german + R"(", "name": "Pumpen"}])"));
    EXPECT_EQ(relations().size(), 3u);

    // A relation leaves by its JSON body, a folder by its query (and takes its files along).
    answer(send("DELETE", withToken("/api2/favorite/files"),
                json{{"folder_id", "0"}, {"file_id", "100"}}.dump()));
    answer(send("DELETE", withToken("/api2/favorite/folders?id=" + folder), ""));
    restart();
    EXPECT_EQ(folders(), json::parse(R"([{"id": "5", "name": "Fair"}])"));
    json left = relations();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0]["folder_id"], "5");
    EXPECT_NE(left[0]["id"], loose);

    // Deleting what is gone already succeeds, so a retrying client is not stuck.
    EXPECT_EQ(answer(send("DELETE", withToken("/api2/favorite/folders"),
                          json{{"id", folder}}.dump()))["success"],
              true);
}

TEST_F(FavoriteEndpointsTest, UsersSeeAndChangeOnlyTheirOwnFavourites) {
    const std::string other = signIn("other", "pw2");
    EXPECT_TRUE(folders("1", other).empty());
    EXPECT_TRUE(relations(other).empty());
    expectRefused(send("PUT", withToken("/api2/favorite/folders", other),
                       json{{"id", 5}, {"name", "Taken"}}.dump()),
                  404, "renaming another user's folder");
    expectRefused(send("POST", withToken("/api2/favorite/files", other),
                       json{{"folder_id", 5}, {"file_id", 100}}.dump()),
                  404, "a file into another user's folder");
    expectRefused(send("POST", withToken("/api2/favorite/files", other),
                       json{{"folder_id", 0}, {"file_id", 101}}.dump()),
                  404, "a file the user does not see");
    expectRefused(send("POST", withToken("/api2/favorite/folders", other),
                       json{{"name", "X"}, {"locale_id", 2}}.dump()),
                  404, "a locale the user does not have");
    answer(send("DELETE", withToken("/api2/favorite/folders", other), json{{"id", 5}}.dump()));
    EXPECT_EQ(folders().size(), 1u) << "another user's delete leaves the folder";
    auto noToken = get("/api2/favorite/folders?locale=1");
    ASSERT_TRUE(noToken);
    EXPECT_TRUE(noToken->body.empty());
}

TEST_F(FavoriteEndpointsTest, MalformedRequestsAreRefusedWithAJsonError) {
    struct Case {
        const char* what;
        std::string method, path, body;
    };
    for (const auto& c : std::vector<Case>{
             {"folder body not JSON", "POST", "/api2/favorite/folders", "{name: x}"},
             {"folder without locale", "POST", "/api2/favorite/folders", R"({"name": "x"})"},
             {"blank folder name", "POST", "/api2/favorite/folders",
              R"({"name": "  ", "locale_id": 1})"},
             {"folder id not a number", "PUT", "/api2/favorite/folders",
              R"({"id": "five", "name": "x"})"},
             {"rename without body", "PUT", "/api2/favorite/folders", ""},
             {"list without locale", "GET", "/api2/favorite/folders", ""},
             {"delete without id", "DELETE", "/api2/favorite/folders", ""},
             {"delete body not JSON", "DELETE", "/api2/favorite/files", "[folder"},
             {"relation without file", "POST", "/api2/favorite/files", R"({"folder_id": 0})"},
             {"relation with negative file", "POST", "/api2/favorite/files",
              R"({"folder_id": 0, "file_id": -1})"},
         }) {
        expectRefused(send(c.method, withToken(c.path), c.body), 400, c.what);
    }
    EXPECT_EQ(folders().size(), 1u);
    EXPECT_EQ(relations().size(), 1u);
}

}  // namespace
}  // namespace pagewell::cms::test

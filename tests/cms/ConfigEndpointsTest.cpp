// The configuration routes over HTTP: client-version and maintenance checks, the push
// registration, tracking and video-channel settings, and the theme with its logos.
#include <fstream>

#include "CmsApiFixture.h"
#include "cms/ConfigEndpoints.h"

namespace pagewell::cms::test {
namespace {

using nlohmann::json;

class ConfigEndpointsTest : public CmsApiFixture {
  protected:
    void SetUp() override {
        CmsApiFixture::SetUp();
        manifest_["theme"] = {{"color", {{"highlight", "#FF8000"}, {"text", "0x333333"}}},
                              {"text_shadow", false},
                              {"logo", "theme/nav.png"},
                              {"login_screen_logo", "theme/login.jpg"}};
        manifest_["tracking"] = {{"countly", {{"apiKey", "k1"}, {"url", "https://count.example"}}}};
        manifest_["youtube"] = {
            {"useAttribute", "channelId"},
            {"channelId", "UC-default"},
            {"locales", {{"2", {{"useAttribute", "username"}, {"username", "pumpen"}}}}}};
        std::filesystem::create_directories(catalogueDir() / "theme");
        std::ofstream(catalogueDir() / "theme" / "nav.png") << "nav-logo-bytes";
        std::ofstream(catalogueDir() / "theme" / "login.jpg") << "login-logo-bytes";
    }
};

TEST(ConfigVersionsTest, ComparesDottedVersionsNumerically) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    for (const auto& c : std::vector<Case>{
             {"3.2.0", "3.2.0", 0},
             {"3.2", "3.2.0", 0},     // a missing part counts as 0
             {"3.10.0", "3.9.9", 1},  // numeric, not textual
             {"3.1.9", "3.2.0", -1},
             {"2.99", "3.0", -1},
             {"4.0b2", "4.0", 0},  // letters after the digits are ignored
             {"", "0.0.1", -1},
         }) {
        const int result = ConfigEndpoints::compareVersions(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " vs " << c.b;
    }
}

TEST_F(ConfigEndpointsTest, ClientVersionCheckAnswers426WithTheMinimumForOlderClients) {
    options_.minimumClientVersion = "3.2.0";
    start();
    struct Case {
        const char* version;
        int status;
    };
    for (const auto& c : std::vector<Case>{
             {"3.1.9", 426}, {"2.99", 426}, {"3.2", 200}, {"3.10.0", 200}, {"4.0", 200}}) {
        auto res = send("POST", "/api2/check/clientversion", json{{"version", c.version}}.dump());
        ASSERT_TRUE(res) << c.version;
        EXPECT_EQ(res->status, c.status) << c.version;
        if (c.status == 426) {
            EXPECT_EQ(res->body, "3.2.0");  // the client shows this text as the version to get
        }
    }
    expectRefused(send("POST", "/api2/check/clientversion", "{\"version\": 3"), 400,
                  "malformed body");
    expectRefused(send("POST", "/api2/check/clientversion", json{{"version", 3}}.dump()), 400,
                  "version not a text");
    expectRefused(send("GET", "/api2/check/clientversion", ""), 405, "wrong method");

    options_.minimumClientVersion.clear();
    restart();
    auto any = send("POST", "/api2/check/clientversion", json{{"version", "0.1"}}.dump());
    ASSERT_TRUE(any);
    EXPECT_EQ(any->status, 200);
}

TEST_F(ConfigEndpointsTest, MaintenanceAndVersionAnswerWithoutToken) {
    start();
    EXPECT_EQ(answer(get("/api2/check/maintenance"))["maintenance"], false);
    EXPECT_EQ(answer(get("/api2/version"))["version"], ConfigEndpoints::kApiVersion);
    options_.maintenance = true;
    restart();
    EXPECT_EQ(answer(get("/api2/check/maintenance"))["maintenance"], true);
}

TEST_F(ConfigEndpointsTest, InitConfigKeepsThePushRegistrationAcrossARestart) {
    start();
    const json body = {{"token", "t"},
                       {"config_json", {{"uid", "install-1"}, {"push_token", "p1"}}}};
    auto noToken = send("POST", "/api2/config/init", body.dump());
    ASSERT_TRUE(noToken);
    EXPECT_TRUE(noToken->body.empty());  // the empty answer that asks for a new sign-in

    EXPECT_EQ(answer(send("POST", withToken("/api2/config/init"), body.dump()))["success"], true);
    json again = body;
    again["config_json"]["push_token"] = "p2";  // the same installation registers anew
    EXPECT_EQ(answer(send("POST", withToken("/api2/config/init"), again.dump()))["success"], true);

    expectRefused(send("POST", withToken("/api2/config/init"), "not json"), 400, "not JSON");
    expectRefused(send("POST", withToken("/api2/config/init"), json{{"config_json", 1}}.dump()),
                  400, "config_json not an object");

    restart();
    json devices;
    server_->services().state.read([&](const json& document) { devices = document["devices"]; });
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0]["uid"], "install-1");
    EXPECT_EQ(devices[0]["push_token"], "p2");
    EXPECT_EQ(devices[0]["user"], 1);
}

TEST_F(ConfigEndpointsTest, TrackingAndVideoChannelSettingsComeFromTheCatalogue) {
    start();
    json tracking = answer(get(withToken("/api2/tracking/config")));
    EXPECT_EQ(tracking["config"]["countly"]["apiKey"], "k1");
    EXPECT_TRUE(get("/api2/tracking/config")->body.empty());

    json english = answer(get(withToken("/api2/youtube/config/1")));
    EXPECT_EQ(english["status"], 200);
    EXPECT_EQ(english["config"],
              json({{"useAttribute", "channelId"}, {"channelId", "UC-default"}}));
    json german = answer(get(withToken("/api2/youtube/config/2")));
    EXPECT_EQ(german["config"]["username"], "pumpen");
    expectRefused(get(withToken("/api2/youtube/config/9")), 404, "unknown locale");
}

TEST_F(ConfigEndpointsTest, ThemeNamesItsLogosWhichAreServedAtAnySize) {
    start();
    json theme = answer(get("/api2/theme/dump"));
    for (const char* key : {"logo", "color", "success", "status"}) {
        EXPECT_TRUE(theme.contains(key)) << key;
    }
    EXPECT_EQ(theme["success"], true);
    EXPECT_EQ(theme["status"], 200);
    EXPECT_EQ(theme["color"]["highlight"], "#FF8000");
    EXPECT_EQ(theme["text_shadow"], false);
    ASSERT_TRUE(theme["logo_path"].is_string());

    const std::string path = theme["logo_path"];
    for (const auto& [size, name, bytes, type] :
         std::vector<std::tuple<std::string, std::string, std::string, std::string>>{
             {"80", theme["logo"], "nav-logo-bytes", "image/png"},
             {"800", theme["login_screen_logo"], "login-logo-bytes", "image/jpeg"}}) {
        auto res = get(path + "/" + size + "/" + name);
        ASSERT_TRUE(res) << name;
        EXPECT_EQ(res->status, 200) << name;
        EXPECT_EQ(res->body, bytes);
        EXPECT_EQ(res->get_header_value("Content-Type"), type);
    }
    expectRefused(get(path + "/80/catalogue.json"), 404, "a file the theme does not name");
    expectRefused(get(path + "/80/..%2Fcatalogue.json"), 404, "a path out of the theme");
}

TEST_F(ConfigEndpointsTest, ThemeWithoutLogosHasNoLogoPath) {
    manifest_["theme"] = {{"color", {{"button", "#eeeeee"}}}};
    start();
    json theme = answer(get("/api2/theme/dump"));
    EXPECT_TRUE(theme["logo_path"].is_null());
    EXPECT_TRUE(theme["logo"].is_null());
    EXPECT_FALSE(theme.contains("text_shadow"));
}

TEST_F(ConfigEndpointsTest, CatalogueWithoutThemeAnswersAFailedTheme) {
    manifest_.erase("theme");
    start();
    json theme = answer(get("/api2/theme/dump"));
    EXPECT_EQ(theme["success"], false);
    EXPECT_EQ(theme["status"], 404);
    EXPECT_FALSE(theme["errors"].empty());
}

}  // namespace
}  // namespace pagewell::cms::test

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CmsCliTest.h"
#include "TestCatalogue.h"
#include "TestSupport.h"
#include "cms/CmsServer.h"
#include "cms/DemoCatalogue.h"
#include "platform/PropertyList.h"

namespace pagewell {
namespace {

constexpr const char* kAppSecret = "cli-locale-secret";

// `pagewell login`, `locale list/use`, `status` and `settings reset-timestamps` as a user runs
// them, against pagewell-cms: "demo" and "demo2" hold English (1) and Deutsch (2), "other" only
// English, "nobody" no language.
class LocaleCliTest : public CmsCliTest {
  protected:
    void SetUp() override {
        nlohmann::json manifest = cms::test::testManifest();
        manifest["users"].push_back({{"id", 3}, {"username", "demo2"}, {"password", "demo"}});
        manifest["users"].push_back({{"id", 4},
                                     {"username", "nobody"},
                                     {"password", "pw4"},
                                     {"locales", nlohmann::json::array()}});
        std::filesystem::path catalogue = home.path() / "catalogue";
        cms::test::writeTestCatalogue(catalogue, manifest);
        ASSERT_TRUE(serve(catalogue, kAppSecret));
    }

    std::filesystem::path userDefaults() const {
        return data() / "Library" / "Preferences" / "pagewell.plist";
    }

    nlohmann::json statusLocale() { return json({"status"})["locale"]; }
};

TEST_F(LocaleCliTest, TwoUsersKeepTheirOwnLanguage) {
    CliRun first = login("demo", "demo");
    ASSERT_EQ(first.exitCode, 0) << first.err;
    // Two languages and no terminal to ask on: none is chosen yet.
    EXPECT_NE(first.err.find("locale use"), std::string::npos) << first.err;
    EXPECT_TRUE(statusLocale().is_null());

    nlohmann::json listed = json({"locale", "list"});
    EXPECT_EQ(listed, nlohmann::json::parse(R"([
        {"id": 2, "title": "Deutsch", "iso2": "de", "current": false},
        {"id": 1, "title": "English", "iso2": "en", "current": false}])"));

    nlohmann::json used = json({"locale", "use", "2"});
    EXPECT_EQ(used["id"], 2);
    EXPECT_EQ(used["current"], true);
    EXPECT_EQ(json({"locale", "list"})[0]["current"], true);
    EXPECT_EQ(statusLocale(), nlohmann::json::parse(R"({"id": 2, "title": "Deutsch"})"));
    CliRun text = run({"locale", "list"});
    EXPECT_NE(text.out.find("*    2  Deutsch (de)"), std::string::npos) << text.out;

    ASSERT_EQ(login("demo2", "demo").exitCode, 0);
    EXPECT_TRUE(statusLocale().is_null());
    ASSERT_EQ(run({"locale", "use", "1"}).exitCode, 0);
    EXPECT_EQ(statusLocale()["id"], 1);

    // Back to demo: the choice made before is kept without asking.
    CliRun again = login("demo", "demo");
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.err.find("Content language: Deutsch (2)"), std::string::npos) << again.err;
    EXPECT_EQ(statusLocale()["id"], 2);

    CliRun unknown = run({"locale", "use", "99"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(statusLocale()["id"], 2);
}

TEST_F(LocaleCliTest, ASingleLanguageIsChosenAtLogin) {
    CliRun signedIn = login("other", "pw2");
    ASSERT_EQ(signedIn.exitCode, 0) << signedIn.err;
    EXPECT_EQ(statusLocale(), nlohmann::json::parse(R"({"id": 1, "title": "English"})"));
    EXPECT_EQ(json({"locale", "list", "--refresh"}).size(), 1u);
}

TEST_F(LocaleCliTest, AUserWithoutLanguagesIsToldAndSignedOut) {
    CliRun refused = login("nobody", "pw4");
    EXPECT_EQ(refused.exitCode, 4) << refused.err;
    std::string shown = refused.out + refused.err;
    EXPECT_NE(shown.find("Locale"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Dem aktuellen Benutzer wurden keine Territories zugewiesen."),
              std::string::npos)
        << shown;
    nlohmann::json status = json({"status"});
    EXPECT_FALSE(status["loggedIn"].get<bool>());
    EXPECT_TRUE(status["locale"].is_null());
    EXPECT_EQ(json({"locale", "list"}), nlohmann::json::array());
}

TEST_F(LocaleCliTest, ResetTimestampsAsksThenForgetsThemAndSignsOut) {
    ASSERT_EQ(login("other", "pw2").exitCode, 0);
    const std::string key = "kImportTimestampDictKey_other_1";
    auto seed = [&] {
        auto read = PropertyList::readFile(userDefaults().string());
        ASSERT_TRUE(read.ok() && read.value().dict());
        PlistDict values = *read.value().dict();
        values[key] = PlistValue(PlistDict{{"kCatListTimestampDictKey", "42"}});
        ASSERT_TRUE(PropertyList::writeFile(userDefaults().string(), PlistValue(values)).ok());
    };
    auto stored = [&] {
        auto read = PropertyList::readFile(userDefaults().string());
        return read.ok() && read.value().find(key) != nullptr;
    };
    seed();

    CliRun declined = run({"--no", "--json", "settings", "reset-timestamps"});
    EXPECT_EQ(declined.exitCode, 1);
    EXPECT_NE((declined.out + declined.err)
                  .find("Do you really want to reset the timestamps? All data will be "
                        "refetched from the server."),
              std::string::npos)
        << declined.err;
    EXPECT_TRUE(stored());
    EXPECT_TRUE(json({"status"})["loggedIn"].get<bool>());

    CliRun accepted = run({"--yes", "--json", "settings", "reset-timestamps"});
    ASSERT_EQ(accepted.exitCode, 0) << accepted.err;
    EXPECT_NE(accepted.out.find("\"timestampsReset\": true"), std::string::npos) << accepted.out;
    EXPECT_FALSE(stored());
    EXPECT_FALSE(json({"status"})["loggedIn"].get<bool>());
}

// The shipped demo: its two users each keep the language they chose.
TEST_F(LocaleCliTest, TheDemoUsersKeepTheirOwnLanguage) {
    std::filesystem::path demo = home.path() / "demo";
    ASSERT_TRUE(cms::DemoCatalogue::build(demo).ok());
    ASSERT_TRUE(serve(demo, "pagewell-demo-secret"));

    ASSERT_EQ(login("demo", "demo").exitCode, 0);
    nlohmann::json listed = json({"locale", "list"});
    ASSERT_GE(listed.size(), 2u) << listed.dump();
    const std::int64_t first = listed[0]["id"].get<std::int64_t>();
    const std::int64_t second = listed[1]["id"].get<std::int64_t>();
    ASSERT_EQ(run({"locale", "use", std::to_string(first)}).exitCode, 0);

    ASSERT_EQ(login("demo2", "demo").exitCode, 0);
    ASSERT_EQ(run({"locale", "use", std::to_string(second)}).exitCode, 0);
    EXPECT_EQ(statusLocale()["id"], second);

    ASSERT_EQ(login("demo", "demo").exitCode, 0);
    EXPECT_EQ(statusLocale()["id"], first);
}

}  // namespace
}  // namespace pagewell

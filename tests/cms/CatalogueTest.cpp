#include "cms/Catalogue.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "TestCatalogue.h"
#include "TestSupport.h"
#include "cms/CataloguePaths.h"

namespace pagewell::cms {
namespace {

using nlohmann::json;

TEST(CatalogueTest, LoadsTheManifestWithComputedSizesAndSortings) {
    TemporaryDirectory dir;
    test::writeTestCatalogue(dir.path());
    auto catalogue = Catalogue::load(dir.path());
    ASSERT_TRUE(catalogue.ok()) << catalogue.error().description;
    const Catalogue& c = catalogue.value();
    ASSERT_NE(c.file(100), nullptr);
    EXPECT_EQ(c.file(100)->size, std::string(test::kFileContent).size());
    EXPECT_EQ(c.file(100)->thumbnailSize, std::string(test::kThumbnailContent).size());
    EXPECT_EQ(c.file(100)->annotations.at(0).assets.at(0).size,
              std::string(test::kAssetContent).size());
    EXPECT_EQ(c.file(100)->mimeType, "application/pdf");  // from the extension
    EXPECT_EQ(c.file(100)->titleFor(2), "Pumpenfibel");
    EXPECT_EQ(c.file(100)->titleFor(1), "Pump guide");
    // Sorting ids are filled in and distinct.
    EXPECT_NE(c.category(10, 1)->positions.at(0).sortingId,
              c.category(11, 1)->positions.at(0).sortingId);
    EXPECT_FALSE(c.user(2)->secret.has_value());
    EXPECT_EQ(c.extensions.count("theme"), 1u);
}

TEST(CatalogueTest, SavedManifestLoadsBackToTheSameManifest) {
    TemporaryDirectory dir;
    test::writeTestCatalogue(dir.path());
    auto first = Catalogue::load(dir.path());
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(first.value().save().ok());
    auto second = Catalogue::load(dir.path());
    ASSERT_TRUE(second.ok()) << second.error().description;
    EXPECT_EQ(first.value().toManifest(), second.value().toManifest());
}

// Each case breaks one thing; the error must name the place so a catalogue author finds it.
TEST(CatalogueTest, RefusesBrokenManifestsWithTheirPlace) {
    struct Case {
        const char* what;
        std::function<void(json&)> breakIt;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"unknown key in a file", [](json& m) { m["files"][0]["colour"] = "red"; },
         "unknown key \"colour\""},
        {"duplicate file id", [](json& m) { m["files"][1]["id"] = 100; }, "used twice"},
        {"file in an unknown category", [](json& m) { m["files"][1]["categories"] = {99}; },
         "category 99"},
        {"parent from another tree", [](json& m) { m["categories"][1]["parents"] = {77}; },
         "unknown parent 77"},
        {"parent cycle",
         [](json& m) {
             m["categories"][0]["parents"] = {11};
             m["categories"][0]["positions"] = json::array();
         },
         "cycle"},
        {"path climbing out", [](json& m) { m["files"][0]["path"] = "../outside.pdf"; },
         "not a plain relative path"},
        {"absolute path", [](json& m) { m["files"][0]["path"] = "/etc/passwd"; },
         "not a plain relative path"},
        {"missing file", [](json& m) { m["files"][0]["path"] = "files/missing.pdf"; },
         "files/missing.pdf"},
        {"bad date", [](json& m) { m["files"][0]["modified"] = "2024-13-01 10:00:00"; },
         "files[0].modified"},
        {"id as text", [](json& m) { m["users"][0]["id"] = "1"; }, "users[0].id"},
        {"unknown highlight", [](json& m) { m["highlights"] = {5}; }, "unknown file 5"},
        {"duplicate username", [](json& m) { m["users"][1]["username"] = "demo"; }, "used twice"},
        {"wrong format version", [](json& m) { m["format"] = 2; }, "not supported"},
        {"second imprint for a locale",
         [](json& m) {
             m["imprints"].push_back({{"id", 8}, {"locale", 1}, {"text", "x"}});
         },
         "second imprint"},
    };
    for (const auto& c : cases) {
        TemporaryDirectory dir;
        json manifest = test::testManifest();
        c.breakIt(manifest);
        test::writeTestCatalogue(dir.path(), manifest);
        auto loaded = Catalogue::load(dir.path());
        ASSERT_FALSE(loaded.ok()) << c.what;
        EXPECT_NE(loaded.error().description.find(c.expected), std::string::npos)
            << c.what << ": " << loaded.error().description;
    }
}

TEST(CatalogueTest, RefusesTextThatIsNotJson) {
    TemporaryDirectory dir;
    test::writeTestCatalogue(dir.path());
    auto parsed = Catalogue::parse("{\"format\": 1,", dir.path());
    ASSERT_FALSE(parsed.ok());
    EXPECT_NE(parsed.error().description.find("not valid JSON"), std::string::npos);
}

TEST(CataloguePathsTest, ResolvesOnlyRegularFilesInsideTheDirectory) {
    TemporaryDirectory outside;
    TemporaryDirectory dir;
    test::writeTestCatalogue(dir.path());
    std::ofstream(outside.path() / "secret.txt") << "secret";
    std::filesystem::create_symlink(outside.path() / "secret.txt", dir.path() / "link.txt");
    std::filesystem::create_symlink(dir.path() / "files" / "guide.pdf", dir.path() / "inner.pdf");

    EXPECT_TRUE(CataloguePaths::resolve(dir.path(), "files/guide.pdf").ok());
    EXPECT_TRUE(CataloguePaths::resolve(dir.path(), "inner.pdf").ok());  // a link that stays in
    for (const char* refused : {"link.txt", "../x", "files/../files/guide.pdf", "/etc/passwd",
                                "files", "", "files//guide.pdf", "./files/guide.pdf"}) {
        EXPECT_FALSE(CataloguePaths::resolve(dir.path(), refused).ok()) << refused;
    }
}

}  // namespace
}  // namespace pagewell::cms

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "store/Resource.h"
#include "store/SideEntityTestSupport.h"

namespace pagewell {
namespace {

using nlohmann::json;

class ResourceTest : public SideEntityTest {};

TEST_F(ResourceTest, SetPropertiesTakesTheServerFieldsAndTheTitleFromTheURL) {
    Resource resource;
    resource.setProperties({{"id", 5},
                            {"url", "https://cms.example/media/assets/clip.MP4"},
                            {"biggest_file_size", "1048576"},
                            {"annotation_position", 2},
                            {"type", 3}});
    EXPECT_EQ(resource.cmsID, 5);
    EXPECT_EQ(resource.url, "https://cms.example/media/assets/clip.MP4");
    EXPECT_EQ(resource.title, "Clip.mp4");
    EXPECT_EQ(resource.size, 1048576);
    EXPECT_EQ(resource.position, 2);
    EXPECT_EQ(resource.type, 3);
    EXPECT_EQ(resource.pdfPage, 0);

    resource.setProperties({{"id", 6}, {"url", "/media/assets/trade fair TOUR.mov"}});
    EXPECT_EQ(resource.title, "Trade Fair Tour.mov");
    resource.setProperties({{"id", 6}});
    EXPECT_FALSE(resource.title.has_value());
}

TEST_F(ResourceTest, PdfPageComesFromTheFirstAnnotationListingTheAsset) {
    struct Case {
        const char* why;
        json annotations;
        std::int64_t page;
    };
    const Case cases[] = {
        {"listed in the second annotation",
         json::array({{{"page", 2}, {"asset_ids", {1, 9}}}, {{"page", 4}, {"asset_ids", {5}}}}), 4},
        {"the first listing wins",
         json::array({{{"page", 7}, {"asset_ids", {5}}}, {{"page", 4}, {"asset_ids", {5}}}}), 7},
        {"identifiers given as text", json::array({{{"page", "3"}, {"asset_ids", {"5"}}}}), 3},
        {"not listed anywhere", json::array({{{"page", 2}, {"asset_ids", {1, 55}}}}), 0},
        {"the listing annotation has no page", json::array({{{"asset_ids", {5}}}}), 0},
        {"annotations that are not objects are skipped",
         json::array({17, {{"page", 6}, {"asset_ids", {5}}}}), 6},
        {"no annotation array", json("none"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Resource resource;
        resource.setProperties({{"id", 5}, {"url", "/a/clip.mp4"}, {"annotations", c.annotations}});
        EXPECT_EQ(resource.pdfPage, c.page);
    }
}

TEST_F(ResourceTest, ResourcesOfFileAndDeleteFileKeepingTheRecord) {
    std::int64_t file = insertFile(12, "Brochure");
    std::int64_t otherFile = insertFile(13, "Price list");
    Resource clip;
    clip.cmsID = 5;
    clip.fileKey = file;
    clip.path = writeStoredFile("12/clip.mp4");
    clip.downloaded = true;
    ASSERT_TRUE(clip.update(main()).ok());
    Resource other;
    other.cmsID = 6;
    other.fileKey = otherFile;
    ASSERT_TRUE(other.update(main()).ok());
    ASSERT_TRUE(main().save().ok());

    auto resources = Resource::resourcesOfFile(main(), file);
    ASSERT_TRUE(resources.ok());
    ASSERT_EQ(resources.value().size(), 1u);
    EXPECT_EQ(resources.value()[0].cmsID, 5);

    resources.value()[0].deleteFile(main());
    EXPECT_FALSE(exists(*clip.path));
    auto stored = Resource::find(main(), clip.pk).value();
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->path, clip.path);
    EXPECT_TRUE(stored->downloaded);
    resources.value()[0].deleteFile(main());  // nothing there any more: skipped quietly
}

TEST_F(ResourceTest, DeletingTheRecordRemovesItsCopy) {
    std::int64_t file = insertFile(12, "Brochure");
    Resource clip;
    clip.fileKey = file;
    clip.path = writeStoredFile("12/clip.mp4");
    ASSERT_TRUE(clip.update(main()).ok());
    std::string path = *clip.path;
    std::int64_t key = clip.pk;
    ASSERT_TRUE(clip.deleteRecord(main()).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_FALSE(exists(path));
    EXPECT_FALSE(Resource::find(main(), key).value().has_value());
}

TEST_F(ResourceTest, ACopyOutsideTheAreasIsNotRemoved) {
    std::filesystem::path outside = dir_.path() / "clip.mp4";
    ASSERT_TRUE(FileSystem::writeFileAtomically(outside, "keep me").ok());
    Resource clip;
    clip.path = "/Documents/../../clip.mp4";
    clip.deleteFile(main());
    clip.path = outside.string();
    clip.deleteFile(main());
    EXPECT_TRUE(std::filesystem::exists(outside));
}

}  // namespace
}  // namespace pagewell

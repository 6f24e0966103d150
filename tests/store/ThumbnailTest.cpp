#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "store/ServerDate.h"
#include "store/SideEntityTestSupport.h"
#include "store/Thumbnail.h"

namespace pagewell {
namespace {

using nlohmann::json;

class ThumbnailTest : public SideEntityTest {
  protected:
    // A stored thumbnail of a file with its downloaded image (and reduced cover) on disk.
    Thumbnail storedThumbnail(const std::string& url) {
        Thumbnail thumbnail;
        thumbnail.cmsID = 40;
        thumbnail.fileURL = url;
        thumbnail.filePath = writeStoredFile("12/thumb.png");
        thumbnail.smallFilePath = writeStoredFile("12/small.png");
        thumbnail.downloaded = true;
        EXPECT_TRUE(thumbnail.update(main()).ok());
        EXPECT_TRUE(main().save().ok());
        return thumbnail;
    }
};

TEST_F(ThumbnailTest, SetPropertiesKeepsTheImageOnlyWhileFileLocationIsUnchanged) {
    struct Case {
        const char* why;
        json properties;
        bool kept;
    };
    const Case cases[] = {
        {"the server sends only file_location; the same address keeps the image",
         {{"id", 40}, {"file_location", "/media/thumbs/120/a.png"}},
         true},
        {"a new address means a new picture",
         {{"id", 40}, {"file_location", "/media/thumbs/120/b.png"}},
         false},
        {"a matching fileURL key does not save an image whose file_location changed",
         {{"fileURL", "/media/thumbs/120/a.png"}, {"file_location", "/media/thumbs/120/b.png"}},
         false},
        {"no address any more", {{"id", 40}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Thumbnail thumbnail = storedThumbnail("/media/thumbs/120/a.png");
        std::string image = *thumbnail.filePath;
        std::string small = *thumbnail.smallFilePath;
        thumbnail.setProperties(c.properties);
        EXPECT_EQ(exists(image), c.kept);
        EXPECT_EQ(thumbnail.filePath.has_value(), c.kept);
        EXPECT_TRUE(exists(small)) << "the reduced cover is not the server's image";
        if (c.properties.contains("file_location")) {
            EXPECT_EQ(thumbnail.fileURL, c.properties["file_location"].get<std::string>());
        } else {
            EXPECT_FALSE(thumbnail.fileURL.has_value());
        }
    }
}

TEST_F(ThumbnailTest, SetPropertiesTakesTheServerFields) {
    Thumbnail thumbnail;
    thumbnail.setProperties({{"id", "41"},
                             {"file_location", "/media/thumbs/120/c.png"},
                             {"file_modified", "2024-03-01 10:15:00"},
                             {"file_size", 2048}});
    EXPECT_EQ(thumbnail.cmsID, 41);
    EXPECT_EQ(thumbnail.fileURL, "/media/thumbs/120/c.png");
    EXPECT_EQ(thumbnail.modified, ServerDate::parse("2024-03-01 10:15:00"));
    EXPECT_TRUE(thumbnail.modified.has_value());
    EXPECT_EQ(thumbnail.size, 2048);

    thumbnail.setProperties({{"file_location", "/media/thumbs/120/c.png"},
                             {"file_modified", nullptr},
                             {"file_size", nullptr}});
    EXPECT_FALSE(thumbnail.modified.has_value());
    EXPECT_FALSE(thumbnail.size.has_value());
    EXPECT_FALSE(thumbnail.cmsID.has_value());
}

TEST_F(ThumbnailTest, ThumbnailURLForWidthReplacesTheWidthFolder) {
    Thumbnail thumbnail;
    thumbnail.fileURL = "/media/thumbs/120/cover.png";
    EXPECT_EQ(thumbnail.thumbnailURLForWidth(300), "/media/thumbs/300/cover.png");
    thumbnail.fileURL = "cover.png";
    EXPECT_EQ(thumbnail.thumbnailURLForWidth(300), "");
    thumbnail.fileURL.reset();
    EXPECT_EQ(thumbnail.thumbnailURLForWidth(300), "");
}

TEST_F(ThumbnailTest, DeleteFileRemovesBothImagesAndKeepsTheRecord) {
    Thumbnail thumbnail = storedThumbnail("/media/thumbs/120/a.png");
    std::string image = *thumbnail.filePath;
    std::string small = *thumbnail.smallFilePath;
    // The large image is already gone: that must not stop the reduced one from going.
    std::filesystem::remove(absolute(image));

    ASSERT_TRUE(thumbnail.deleteFile(main()).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_FALSE(exists(small));
    auto stored = Thumbnail::find(main(), thumbnail.pk);
    ASSERT_TRUE(stored.ok());
    ASSERT_TRUE(stored.value().has_value());
    EXPECT_FALSE(stored.value()->filePath.has_value());
    EXPECT_FALSE(stored.value()->smallFilePath.has_value());
    EXPECT_EQ(stored.value()->fileURL, "/media/thumbs/120/a.png");
}

TEST_F(ThumbnailTest, DeletingTheRecordRemovesItsImagesAndUnlinksItsFiles) {
    std::int64_t file = insertFile(12, "Brochure");
    std::int64_t otherFile = insertFile(13, "Price list");
    Thumbnail thumbnail = storedThumbnail("/media/thumbs/120/a.png");
    ASSERT_TRUE(thumbnail.addFile(main(), file).ok());
    ASSERT_TRUE(main().save().ok());

    auto found = Thumbnail::thumbnailOfFile(main(), file);
    ASSERT_TRUE(found.ok());
    ASSERT_TRUE(found.value().has_value());
    EXPECT_EQ(found.value()->pk, thumbnail.pk);
    EXPECT_FALSE(Thumbnail::thumbnailOfFile(main(), otherFile).value().has_value());
    EXPECT_EQ(thumbnail.fileKeys(main()).value(), std::vector<std::int64_t>{file});

    std::string image = *thumbnail.filePath;
    std::string small = *thumbnail.smallFilePath;
    std::int64_t key = thumbnail.pk;
    ASSERT_TRUE(thumbnail.deleteRecord(main()).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_FALSE(exists(image));
    EXPECT_FALSE(exists(small));
    EXPECT_FALSE(Thumbnail::find(main(), key).value().has_value());
    EXPECT_FALSE(Thumbnail::thumbnailOfFile(main(), file).value().has_value());
    EXPECT_EQ(scalar("SELECT count(*) FROM File"), 2) << "the files stay";
}

TEST_F(ThumbnailTest, StoredPathsOutsideTheAreasAreNeverRemoved) {
    std::filesystem::path outside = dir_.path() / "outside.png";
    ASSERT_TRUE(FileSystem::writeFileAtomically(outside, "keep me").ok());
    const std::string paths[] = {
        outside.string(),                // an absolute path elsewhere
        "/Documents/../../outside.png",  // climbing out of the documents area
        "/tmp/../../outside.png",        // climbing out of the temporary area
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        Thumbnail thumbnail;
        thumbnail.fileURL = "/media/thumbs/120/a.png";
        thumbnail.filePath = path;
        thumbnail.smallFilePath = path;
        thumbnail.setProperties({{"file_location", "/media/thumbs/120/b.png"}});
        EXPECT_FALSE(thumbnail.filePath.has_value());
        thumbnail.prepareForDeletion();
        EXPECT_TRUE(std::filesystem::exists(outside));
    }
}

}  // namespace
}  // namespace pagewell

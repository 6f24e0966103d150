#include "store/ThumbnailURL.h"

#include <gtest/gtest.h>

#include "StoreRulesTestSupport.h"

namespace pagewell {
namespace {

class ThumbnailURLTest : public ::testing::Test {
  protected:
    void SetUp() override { Logger::shared().addSink(log_); }
    void TearDown() override { Logger::shared().removeSink(log_); }

    std::shared_ptr<CapturingLogSink> log_ = std::make_shared<CapturingLogSink>();
};

TEST_F(ThumbnailURLTest, TheFolderBeforeTheImageNamesTheWidth) {
    const struct {
        const char* url;
        int width;
        const char* expected;
        const char* why;
    } cases[] = {
        {"/media/thumbs/120/cover.png", 300, "/media/thumbs/300/cover.png", "server path"},
        {"media/thumbs/120/cover.png", 300, "/media/thumbs/300/cover.png", "leading / added"},
        {"/media//thumbs/120/cover.png", 64, "/media/thumbs/64/cover.png", "empty parts dropped"},
        {"/120/cover.png", 300, "/300/cover.png", "two levels"},
        {"120/cover.png", 300, "/300/cover.png", "two parts"},
        {"/cover.png", 300, "/300/cover.png", "the empty first part is replaced"},
        {"/media/thumbs/120/", 300, "/media/thumbs/300", "a trailing / ends in an empty part"},
        // Full addresses lose the "//" after the scheme: the rule is for server paths.
        {"http://cms.example/media/120/cover.png", 300, "/http:/cms.example/media/300/cover.png",
         "full address"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(ThumbnailURL::thumbnailURLForWidth(c.url, c.width), c.expected);
    }
    EXPECT_TRUE(log_->messages().empty());
}

TEST_F(ThumbnailURLTest, AnAddressWithoutSeparatorGivesNothing) {
    for (const char* url : {"cover.png", ""}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(ThumbnailURL::thumbnailURLForWidth(url, 300), "");
    }
    const auto messages = log_->messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, "FileParts count < 2");
}

}  // namespace
}  // namespace pagewell

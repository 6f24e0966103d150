#include "store/FileSizeText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace pagewell {
namespace {

TEST(FileSizeTextTest, OneDecimalInTheLargestUnitBelow1024) {
    const struct {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0.0 bytes"},
        {1, "1.0 bytes"},
        {1023, "1023.0 bytes"},
        {1024, "1.0 KB"},
        {1127, "1.1 KB"},  // 1.1006
        {1536, "1.5 KB"},
        {1048575, "1024.0 KB"},  // below 1024 KB: rounding shows only in the text
        {1048576, "1.0 MB"},
        {3 * 1048576 + 262144, "3.2 MB"},  // 3.25 rounds to even
        {1073741824, "1.0 GB"},
        {5905580032, "5.5 GB"},
        {1099511627775, "1024.0 GB"},
        {1099511627776, "extremely large"},  // 2^40
        {std::numeric_limits<std::uint64_t>::max(), "extremely large"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(FileSizeText::stringFromFileSize(c.bytes), c.text);
    }
}

TEST(FileSizeTextTest, CompleteSizeOfNoFileIsZeroBytes) {
    EXPECT_EQ(FileSizeText::stringForCompleteFilesize(std::nullopt), "0.0 bytes");
    EXPECT_EQ(FileSizeText::stringForCompleteFilesize(0), "0.0 bytes");
    EXPECT_EQ(FileSizeText::stringForCompleteFilesize(1536), "1.5 KB");
}

}  // namespace
}  // namespace pagewell

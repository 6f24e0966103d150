#include "store/FileSizes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace pagewell {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

struct SizeCase {
    std::int32_t size;
    std::int32_t thumbnail;
    std::vector<std::int32_t> resources;
    const char* why;
};

TEST(FileSizesTest, UsedDiskSpaceOfAFileStillToDownload) {
    const struct {
        SizeCase sizes;
        std::int32_t expected;
    } cases[] = {
        {{1000000, 100000, {}, "content and a share of the thumbnail"}, 1003814},
        {{10, 0, {5, 7}, "resources added"}, 22},
        {{0, 0, {}, "nothing"}, 0},
        // 40000/1048576 is close to 1/26, which would give exactly 1,000,000 here.
        {{0, 26000000, {}, "the share is not 1/26"}, 991821},
        {{0, -100000, {}, "truncation goes towards zero"}, -3814},
        {{kMax, 0, {1}, "wraps around like 32-bit arithmetic"}, kMin},
        {{kMax, kMax, {kMax}, "wraps around twice"}, 81919997},
        {{kMin, 0, {-1}, "wraps around downwards"}, kMax},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sizes.why);
        EXPECT_EQ(
            FileSizes::usedDiskSpace(false, c.sizes.size, c.sizes.thumbnail, c.sizes.resources),
            c.expected);
    }
}

TEST(FileSizesTest, ADownloadedFileNeedsNoMoreSpace) {
    const std::vector<std::int32_t> resources = {500, 600};
    EXPECT_EQ(FileSizes::usedDiskSpace(true, 1000000, 100000, resources), 0);
    EXPECT_EQ(FileSizes::completeFileSize(1000000, 100000, resources), 1004914u);
}

TEST(FileSizesTest, CompleteFileSizeCountsInUnsigned64Bits) {
    const struct {
        SizeCase sizes;
        std::uint64_t expected;
    } cases[] = {
        {{1000000, 100000, {}, "content and a share of the thumbnail"}, 1003814},
        {{kMax, 0, {kMax}, "no 32-bit wrap-around"}, 4294967294u},
        {{kMax, kMax, {kMax}, "large thumbnail"}, 4294967294ull + 81919999ull},
        {{-1, 0, {}, "a negative size taken as unsigned"}, kMax64},
        {{-1, 0, {1}, "wraps around modulo 2^64"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sizes.why);
        EXPECT_EQ(FileSizes::completeFileSize(c.sizes.size, c.sizes.thumbnail, c.sizes.resources),
                  c.expected);
    }
}

}  // namespace
}  // namespace pagewell

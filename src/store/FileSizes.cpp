#include "store/FileSizes.h"

namespace pagewell {

namespace {

static_assert(FileSizes::kThumbnailShare == 0.03814697265625);

// The value of `wide` modulo 2^32 as a 32-bit signed number, with no signed overflow.
std::int32_t wrapTo32(std::int64_t wide) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(wide));
}

// A 32-bit value taken as unsigned 64-bit: negative values wrap modulo 2^64.
std::uint64_t asUnsigned64(std::int32_t value) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
}

}  // namespace

std::int32_t FileSizes::usedDiskSpace(bool downloaded, std::int32_t size,
                                      std::int32_t thumbnailSize,
                                      std::span<const std::int32_t> resourceSizes) {
    if (downloaded) {
        return 0;
    }
    // |thumbnailSize x share| < 2^27, so the truncation always fits.
    std::int32_t total =
        wrapTo32(std::int64_t{size} + static_cast<std::int32_t>(thumbnailSize * kThumbnailShare));
    for (std::int32_t resource : resourceSizes) {
        total = wrapTo32(std::int64_t{total} + resource);
    }
    return total;
}

std::uint64_t FileSizes::completeFileSize(std::int32_t size, std::int32_t thumbnailSize,
                                          std::span<const std::int32_t> resourceSizes) {
    // A negative thumbnail size becomes a huge unsigned one; its share stays below 2^64.
    std::uint64_t total = asUnsigned64(size) +
                          static_cast<std::uint64_t>(
                              static_cast<double>(asUnsigned64(thumbnailSize)) * kThumbnailShare);
    for (std::int32_t resource : resourceSizes) {
        total += asUnsigned64(resource);
    }
    return total;
}

}  // namespace pagewell

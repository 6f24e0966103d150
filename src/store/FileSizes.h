#pragma once
// How much room a file takes or would take on disk: its content, a share of its thumbnail and
// its resources. The arithmetic is kept as it has always been, including 32-bit wrap-around
// for usedDiskSpace, so that totals shown next to each other agree. Stateless.
// Absent sizes (a file without thumbnail, a record without size) count as 0.

#include <cstdint>
#include <span>

namespace pagewell {

class FileSizes {
  public:
    // The share of a thumbnail's size that is counted: 40000 / 1048576 (= 0.03814697265625,
    // exact in binary). Not 1/26, which is close but not the same.
    static constexpr double kThumbnailShare = 40000.0 / 1048576.0;

    // 0 when the file is downloaded; otherwise size + truncate(thumbnailSize x share) + the
    // resource sizes, in 32-bit signed arithmetic that wraps around.
    static std::int32_t usedDiskSpace(bool downloaded, std::int32_t size,
                                      std::int32_t thumbnailSize,
                                      std::span<const std::int32_t> resourceSizes);

    // The same sum whether downloaded or not, each value taken as unsigned 64-bit.
    static std::uint64_t completeFileSize(std::int32_t size, std::int32_t thumbnailSize,
                                          std::span<const std::int32_t> resourceSizes);
};

}  // namespace pagewell

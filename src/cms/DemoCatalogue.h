#pragma once
// Builds the demo catalogue that `pagewell-cms build-demo` writes and the quick start serves:
// English and German content, the users "demo" and "demo2" (password "demo"), a category tree
// with one category under two parents, about thirty files (PDF brochures with outlines, links,
// a slideshow and a video annotation and a turned page; PNG and JPEG pictures; text documents;
// a video clip), thumbnails, highlights with and without windows, publication windows, read
// confirmations, non-shareable files, metatags, beacons, customers, QR codes, favourite folders,
// imprints and a theme. Every date is fixed, so two builds write the same manifest and files.
// The synthetic variant writes a large, plain catalogue for benchmarks.
// Stateless; safe from any thread, but two builds must not share a directory.

#include <filesystem>

#include "cms/Catalogue.h"
#include "platform/Error.h"

namespace pagewell::cms {

class DemoCatalogue {
  public:
    static constexpr const char* kErrorDomain = "DemoCatalogue";
    // Asset type codes of the resources behind the interactive annotations.
    static constexpr int kAssetTypeImage = 3;
    static constexpr int kAssetTypeVideo = 4;
    // Every synthetic category holds this many files.
    static constexpr int kSyntheticFilesPerCategory = 50;

    // Writes the demo catalogue into `directory` (created when missing) and returns what it
    // saved in the manifest.
    static Result<Catalogue> build(const std::filesystem::path& directory);

    // `fileCount` small one-page PDFs over max(1, fileCount / 50) root categories, with sizes
    // that depend only on the file's number.
    static Result<Catalogue> buildSynthetic(const std::filesystem::path& directory, int fileCount);

    // Bounds of the file sizes of a synthetic catalogue, in bytes.
    struct SyntheticSizes {
        std::size_t smallest = 0;
        std::size_t largest = 0;
    };
    // The same with file sizes between `sizes.smallest` and `sizes.largest`, most of them near
    // the small end and a few large ones, as in a real catalogue: file N gets
    // smallest * (largest / smallest)^(f^1.6) with f the fractional part of N times the golden
    // ratio (evenly spread, fixed by N). 200 files of 50 KB to 5 MB come to about 150 MB.
    static Result<Catalogue> buildSynthetic(const std::filesystem::path& directory, int fileCount,
                                            SyntheticSizes sizes);
    // The same with `filesPerCategory` files in each category instead of 50 (a catalogue with
    // one very large category shows what one large answer costs).
    static Result<Catalogue> buildSynthetic(const std::filesystem::path& directory, int fileCount,
                                            SyntheticSizes sizes, int filesPerCategory);
};

}  // namespace pagewell::cms

#pragma once
// A small catalogue written by the tests themselves: two users, two locales, a category tree
// with a child that only the first user sees, two tiny files with a thumbnail and an asset.

#include <filesystem>
#include <nlohmann/json.hpp>

namespace pagewell::cms::test {

inline constexpr const char* kFileContent = "%PDF-1.4 tiny brochure content\n";
// The images begin with an image signature, as a client that checks what it downloaded wants.
inline constexpr const char* kThumbnailContent = "\x89PNG\r\n\x1a\nthumbnail-bytes";
inline constexpr const char* kAssetContent = "\x89PNG\r\n\x1a\nslide-one";

// The manifest as JSON, for tests that break one part of it.
nlohmann::json testManifest();
// Writes the files and the manifest into `directory`.
void writeTestCatalogue(const std::filesystem::path& directory,
                        const nlohmann::json& manifest = testManifest());

}  // namespace pagewell::cms::test

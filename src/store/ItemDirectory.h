#pragma once
// Where a file's local copies live: one item directory per file in the documents area, named
// after the file's server identifier, holding the content, thumbnail images and resources
// under generated names. Stateless; safe from any thread. Uses
// VXProtectedFileManager::sharedInstance() for the documents area.

#include <cstdint>
#include <string>
#include <string_view>

namespace pagewell {

class ItemDirectory {
  public:
    // Longest extension kept by sanitizedExtension.
    static constexpr std::size_t kMaxExtensionLength = 16;

    // The documents area + "/" + the identifier in decimal. Created owner-only, with missing
    // parents, when absent; a failure to create it is logged and the path still returned (the
    // write into it will then fail and report).
    static std::string itemDirectoryForFile(std::int32_t cmsID);

    // directory + "/" + a fresh unique name with the extension after sanitizedExtension.
    static std::string uniqueFileInDirectoryPath(std::string_view directory,
                                                 std::string_view extension);

    // Extensions come from server addresses: only ASCII letters and digits are kept, and at
    // most kMaxExtensionLength of them, so that a name built with one never leaves its
    // directory or names something else. The empty extension is allowed.
    static std::string sanitizedExtension(std::string_view extension);
};

}  // namespace pagewell

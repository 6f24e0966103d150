#pragma once
// Resolves the relative paths a catalogue names into real files below its directory.
// Refuses absolute paths, ".." segments, and anything whose real location (after following
// symbolic links) lies outside the catalogue directory, so a manifest or a request can never
// make the server read elsewhere. Stateless; safe from any thread.

#include <filesystem>
#include <string_view>

#include "platform/Error.h"

namespace pagewell::cms {

class CataloguePaths {
  public:
    static constexpr const char* kErrorDomain = "CataloguePaths";

    // The canonical path of an existing regular file named by `relative` below `root`.
    static Result<std::filesystem::path> resolve(const std::filesystem::path& root,
                                                 std::string_view relative);
    // The textual check alone: not empty, not absolute, no "." or ".." segment, no NUL.
    static bool isPlainRelative(std::string_view relative);
};

}  // namespace pagewell::cms

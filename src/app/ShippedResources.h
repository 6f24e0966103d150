#pragma once
// Where the read-only resources shipped with the application live (DefaultSettings.plist,
// AppSettings.plist, ...). A build finds them in the source tree's data/ folder; an installed
// binary is pointed at its copy through $PAGEWELL_DATA_FILES. Stateless; safe from any thread.

#include <filesystem>
#include <string_view>

namespace pagewell {

class ShippedResources {
  public:
    using Path = std::filesystem::path;

    // $PAGEWELL_DATA_FILES when set and not empty, else the data folder of the build.
    static Path directory();
    // A shipped resource by file name, e.g. "DefaultSettings.plist".
    static Path path(std::string_view fileName);

    static constexpr const char* kDirectoryVariable = "PAGEWELL_DATA_FILES";
};

}  // namespace pagewell

#include "platform/FileAreas.h"

#include <cstdlib>
#include <mutex>

#include "platform/FileSystem.h"

namespace pagewell {

namespace {
std::mutex gAreasMutex;
std::shared_ptr<FileAreas> gAreas;  // guarded by gAreasMutex
}  // namespace

FileAreas::FileAreas(Path dataDirectory) : dataDirectory_(std::move(dataDirectory)) {}

Status FileAreas::createAll() const {
    for (const Path& dir :
         {dataDirectory_, documents(), temporary(), caches(), logs(), preferences()}) {
        if (auto status = FileSystem::createDirectories(dir); !status.ok()) {
            return status;
        }
    }
    return {};
}

FileAreas::Path FileAreas::resolveDataDirectory(const std::optional<Path>& option) {
    Path chosen;
    if (option && !option->empty()) {
        chosen = *option;
    } else if (const char* home = std::getenv("PAGEWELL_HOME"); home && *home) {
        chosen = home;
    } else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        chosen = Path(xdg) / "pagewell";
    } else if (const char* userHome = std::getenv("HOME"); userHome && *userHome) {
        chosen = Path(userHome) / ".local" / "share" / "pagewell";
    } else {
        chosen = Path(".pagewell");
    }
    std::error_code ec;
    Path absolute = std::filesystem::absolute(chosen, ec);
    return ec ? chosen.lexically_normal() : absolute.lexically_normal();
}

FileAreas& FileAreas::shared() {
    std::lock_guard lock(gAreasMutex);
    if (!gAreas) {
        gAreas = std::make_shared<FileAreas>(resolveDataDirectory(std::nullopt));
    }
    return *gAreas;
}

void FileAreas::setShared(std::shared_ptr<FileAreas> areas) {
    std::lock_guard lock(gAreasMutex);
    gAreas = std::move(areas);
}

}  // namespace pagewell

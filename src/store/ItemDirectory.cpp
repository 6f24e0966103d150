#include "store/ItemDirectory.h"

#include "platform/FileSystem.h"
#include "platform/Logger.h"
#include "sync/VXProtectedFileManager.h"

namespace pagewell {

std::string ItemDirectory::itemDirectoryForFile(std::int32_t cmsID) {
    const auto& manager = VXProtectedFileManager::sharedInstance();
    const std::string directory =
        manager.pathForDirectory(VXProtectedFileManager::kDocuments).string() + "/" +
        std::to_string(cmsID);
    if (Status created = FileSystem::createDirectories(directory); !created.ok()) {
        PW_LOG_ERROR_VALUE(created.error());
    }
    return directory;
}

std::string ItemDirectory::uniqueFileInDirectoryPath(std::string_view directory,
                                                     std::string_view extension) {
    std::string path(directory);
    path += '/';
    path +=
        VXProtectedFileManager::createUniqueFilenameWithExtension(sanitizedExtension(extension));
    return path;
}

std::string ItemDirectory::sanitizedExtension(std::string_view extension) {
    std::string result;
    for (char c : extension) {
        if (result.size() == kMaxExtensionLength) {
            break;
        }
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            result.push_back(c);
        }
    }
    return result;
}

}  // namespace pagewell

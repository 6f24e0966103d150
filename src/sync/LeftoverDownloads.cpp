#include "sync/LeftoverDownloads.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/Logger.h"
#include "sync/FileDownloadOperation.h"
#include "sync/VXProtectedFileManager.h"

namespace pagewell {

namespace {

namespace fs = std::filesystem;

// Item directories are named after a file's identifier.
bool isItemDirectoryName(const std::string& name) {
    std::string_view digits = name;
    if (!digits.empty() && digits.front() == '-') {
        digits.remove_prefix(1);
    }
    return !digits.empty() &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The file's modification time on the clock's scale.
SystemTime lastWritten(const fs::file_time_type& time) {
    return std::chrono::time_point_cast<SystemTime::duration>(
        std::chrono::file_clock::to_sys(time));
}

}  // namespace

bool LeftoverDownloads::isPartialName(std::string_view name) {
    constexpr std::string_view suffix = FileDownloadOperation::kPartialSuffix;
    const std::size_t at = name.find(suffix);
    if (at == std::string_view::npos || at == 0) {
        return false;
    }
    const std::string_view rest = name.substr(at + suffix.size());
    return rest.empty() || (rest.front() == '.' && rest.size() > 1);
}

std::size_t LeftoverDownloads::removeOlderThan(SystemTime startedAt) {
    const fs::path documents = VXProtectedFileManager::sharedInstance().pathForDirectory(
        VXProtectedFileManager::kDocuments);
    std::error_code failed;
    fs::directory_iterator directories(documents, failed);
    if (failed) {
        return 0;
    }
    std::size_t removed = 0;
    for (const fs::directory_entry& directory : directories) {
        if (!isItemDirectoryName(directory.path().filename().string()) ||
            !directory.is_directory(failed) || directory.is_symlink(failed)) {
            continue;
        }
        fs::directory_iterator files(directory.path(), failed);
        if (failed) {
            continue;
        }
        for (const fs::directory_entry& entry : files) {
            if (!isPartialName(entry.path().filename().string()) ||
                !entry.is_regular_file(failed) || entry.is_symlink(failed)) {
                continue;
            }
            const fs::file_time_type written = entry.last_write_time(failed);
            if (failed || lastWritten(written) >= startedAt) {
                continue;
            }
            if (fs::remove(entry.path(), failed)) {
                ++removed;
            } else if (failed) {
                PW_LOG_ERROR("Could not remove the unfinished download {}: {}",
                             entry.path().string(), failed.message());
            }
        }
    }
    if (removed > 0) {
        PW_LOG_INFO("Removed {} unfinished downloads left by an earlier run", removed);
    }
    return removed;
}

}  // namespace pagewell

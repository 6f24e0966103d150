#include "DiskUsage.h"

namespace pagewell::bench {

std::uintmax_t bytesBelow(const std::filesystem::path& directory) {
    std::uintmax_t bytes = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory, ignored)) {
        if (entry.is_regular_file(ignored)) {
            bytes += entry.file_size(ignored);
        }
    }
    return bytes;
}

}  // namespace pagewell::bench

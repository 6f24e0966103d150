#include "cms/CataloguePaths.h"

#include <system_error>

namespace pagewell::cms {

bool CataloguePaths::isPlainRelative(std::string_view relative) {
    if (relative.empty() || relative.front() == '/' ||
        relative.find('\0') != std::string_view::npos ||
        relative.find('\\') != std::string_view::npos) {
        return false;
    }
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string_view::npos) {
            end = relative.size();
        }
        std::string_view segment = relative.substr(start, end - start);
        if (segment.empty() || segment == "." || segment == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

Result<std::filesystem::path> CataloguePaths::resolve(const std::filesystem::path& root,
                                                      std::string_view relative) {
    namespace fs = std::filesystem;
    if (!isPlainRelative(relative)) {
        return Error::make(kErrorDomain, 1,
                           "path \"" + std::string(relative) + "\" is not a plain relative path");
    }
    std::error_code ec;
    const fs::path realRoot = fs::canonical(root, ec);
    if (ec) {
        return Error::make(kErrorDomain, 2,
                           "catalogue directory " + root.string() + ": " + ec.message());
    }
    const fs::path real = fs::canonical(realRoot / fs::path(std::string(relative)), ec);
    if (ec) {
        return Error::make(kErrorDomain, 3,
                           "file \"" + std::string(relative) + "\": " + ec.message());
    }
    // Compare whole segments so that "/cat-evil" is not taken for a child of "/cat".
    auto rootIt = realRoot.begin();
    auto it = real.begin();
    for (; rootIt != realRoot.end(); ++rootIt, ++it) {
        if (it == real.end() || *it != *rootIt) {
            return Error::make(
                kErrorDomain, 4,
                "file \"" + std::string(relative) + "\" lies outside the catalogue directory");
        }
    }
    if (!fs::is_regular_file(real, ec)) {
        return Error::make(kErrorDomain, 5,
                           "file \"" + std::string(relative) + "\" is not a regular file");
    }
    return real;
}

}  // namespace pagewell::cms

#include "store/StoredPath.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "platform/Error.h"
#include "platform/Logger.h"
#include "store/StoreContext.h"

namespace pagewell {

namespace {

namespace fs = std::filesystem;

void removeEveryOccurrence(std::string& text, const std::string& part) {
    // The root folder is in every absolute path; removing it would merge the components.
    if (part.empty() || part == "/") {
        return;
    }
    std::string result;
    std::size_t start = 0;
    for (std::size_t found = text.find(part); found != std::string::npos;
         found = text.find(part, start)) {
        result.append(text, start, found - start);
        start = found + part.size();
    }
    result.append(text, start, std::string::npos);
    text = std::move(result);
}

bool replaceFirstOccurrence(std::string& text, const std::string& part,
                            const std::string& replacement) {
    if (part.empty()) {
        return false;
    }
    const std::size_t found = text.find(part);
    if (found == std::string::npos) {
        return false;
    }
    text.replace(found, part.size(), replacement);
    return true;
}

// The components of an absolute text path as the path-component rule sees them: "/" first,
// then the non-empty parts between separators.
std::vector<std::string> absoluteComponents(std::string_view text) {
    std::vector<std::string> components{"/"};
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('/', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            components.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return components;
}

// `path` without a trailing separator, ".." and "." folded away.
fs::path normalised(const fs::path& path) {
    fs::path result = path.lexically_normal();
    if (!result.has_filename() && result.has_relative_path()) {
        result = result.parent_path();
    }
    return result;
}

bool strictlyBelow(const fs::path& path, const fs::path& root) {
    const fs::path relative = path.lexically_relative(root);
    return !relative.empty() && relative != "." && *relative.begin() != "..";
}

}  // namespace

std::string StoredPath::getRelativePath(std::string_view absolute) {
    return getRelativePath(absolute, FileAreas::shared());
}

std::string StoredPath::getRelativePath(std::string_view absolute, const FileAreas& areas) {
    std::string text(absolute);
    removeEveryOccurrence(text, areas.temporary().parent_path().string());
    removeEveryOccurrence(text, areas.documents().parent_path().string());
    return text;
}

std::string StoredPath::getAbsolutePath(std::string_view stored) {
    return getAbsolutePath(stored, FileAreas::shared());
}

std::string StoredPath::getAbsolutePath(std::string_view stored, const FileAreas& areas) {
    std::string text(stored);
    if (text.starts_with('/')) {
        const std::vector<std::string> components = absoluteComponents(text);
        for (std::size_t i = 1; i < components.size(); ++i) {
            if (components[i] == "Documents" || components[i] == "tmp") {
                std::string rebuilt = components[i];
                for (std::size_t j = i + 1; j < components.size(); ++j) {
                    rebuilt += '/';
                    rebuilt += components[j];
                }
                text = std::move(rebuilt);
                break;
            }
        }
    }
    const fs::path temporary = areas.temporary();
    const fs::path documents = areas.documents();
    if (!replaceFirstOccurrence(text, temporary.filename().string(), temporary.string())) {
        replaceFirstOccurrence(text, documents.filename().string(), documents.string());
    }
    return text;
}

std::optional<StoredPath::Path> StoredPath::resolveInsideAreas(std::string_view stored) {
    return resolveInsideAreas(stored, FileAreas::shared());
}

std::optional<StoredPath::Path> StoredPath::resolveInsideAreas(std::string_view stored,
                                                               const FileAreas& areas) {
    if (stored.empty()) {
        return std::nullopt;
    }
    const fs::path absolute = normalised(fs::path(getAbsolutePath(stored, areas)));
    if (!absolute.is_absolute() || !absolute.has_filename() || absolute.filename() == "..") {
        return std::nullopt;
    }
    std::error_code ec;
    // The entry itself with its parents resolved, and the place it finally leads to.
    const fs::path entry = fs::weakly_canonical(absolute.parent_path(), ec) / absolute.filename();
    if (ec) {
        return std::nullopt;
    }
    const fs::path target = fs::weakly_canonical(absolute, ec);
    if (ec) {
        return std::nullopt;
    }
    std::vector<fs::path> roots;
    for (const fs::path& area : {areas.documents(), areas.temporary(), areas.caches()}) {
        if (fs::path root = fs::weakly_canonical(area, ec); !ec) {
            roots.push_back(std::move(root));
        }
    }
    const auto inside = [&roots](const fs::path& path) {
        return std::any_of(roots.begin(), roots.end(),
                           [&path](const fs::path& root) { return strictlyBelow(path, root); });
    };
    // Both must stay inside the areas: a link may lead into another area, never out.
    if (!inside(entry) || !inside(target)) {
        return std::nullopt;
    }
    return entry;
}

bool StoredPath::removeStoredFile(std::string_view stored, FailureLog failureLog) {
    return removeStoredFile(stored, FileAreas::shared(), failureLog);
}

bool StoredPath::removeStoredFile(std::string_view stored, const FileAreas& areas,
                                  FailureLog failureLog) {
    if (stored.empty()) {
        return false;
    }
    const std::optional<Path> path = resolveInsideAreas(stored, areas);
    if (!path) {
        PW_LOG_ERROR("Refusing to remove {}: it is not inside the app's file areas", stored);
        return false;
    }
    std::error_code ec;
    const bool removed = fs::remove(*path, ec);  // false without error: nothing was there
    if (!ec) {
        return removed;
    }
    if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory) {
        return false;
    }
    if (failureLog == FailureLog::kFileAndError) {
        PW_LOG_ERROR("error on file: {}", path->string());
    }
    PW_LOG_ERROR_VALUE(Error::fromErrno(ec.value(), "cannot remove " + path->string()));
    return false;
}

void StoredPath::removeStoredFileAfterCommit(StoreContext& context, std::string stored,
                                             FailureLog failureLog) {
    if (stored.empty()) {
        return;
    }
    context.afterCommit(
        [stored = std::move(stored), failureLog] { removeStoredFile(stored, failureLog); });
}

}  // namespace pagewell

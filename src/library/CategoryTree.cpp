#include "library/CategoryTree.h"

#include <algorithm>
#include <utility>

#include "library/TitleKeyword.h"
#include "store/CurrentSelection.h"
#include "store/EntityRows.h"

namespace pagewell {

namespace {

// Names compare as the store orders them (byte order, no name first), then by row key, so
// that equal names keep one order from run to run.
bool byName(const FileCategory& a, const FileCategory& b) {
    if (a.name != b.name) {
        return a.name < b.name;
    }
    return a.pk < b.pk;
}

}  // namespace

CategoryTree::CategoryTree(StoreContext& context, DownloadErrorTest hasDownloadError, Scope scope)
    : context_(context), hasDownloadError_(std::move(hasDownloadError)), scope_(scope) {
    if (!scope_.userKey) {
        scope_.userKey = CurrentSelection::userKey();
    }
    if (!scope_.localeKey) {
        scope_.localeKey = CurrentSelection::localeKey();
    }
}

Result<std::vector<FileCategory>> CategoryTree::sortedRootCategories() {
    if (!scope_.userKey || !scope_.localeKey) {
        return std::vector<FileCategory>{};
    }
    auto roots = FileCategory::rootCategories(context_, scope_.userKey, scope_.localeKey);
    if (!roots.ok()) {
        return roots.error();
    }
    std::vector<FileCategory> sorted = std::move(roots.value());
    std::sort(sorted.begin(), sorted.end(), byName);
    return sorted;
}

Result<std::vector<FileCategory>> CategoryTree::sortedSubcategories(const FileCategory& category) {
    auto children = childrenOf(category);
    if (!children.ok()) {
        return children.error();
    }
    return *children.value();
}

Result<std::vector<File>> CategoryTree::sortedFiles(const FileCategory& category) {
    if (!scope_.userKey || !scope_.localeKey) {
        return std::vector<File>{};
    }
    return File::filesOfCategory(context_, category.pk, scope_.userKey, scope_.localeKey);
}

Result<std::vector<FileCategory>> CategoryTree::filteredRootCategories(
    const CategoryFilter& filter) {
    auto roots = sortedRootCategories();
    if (!roots.ok()) {
        return roots.error();
    }
    std::vector<FileCategory> kept;
    for (FileCategory& root : roots.value()) {
        auto isRootKept = isKept(root, filter);
        if (!isRootKept.ok()) {
            return isRootKept.error();
        }
        if (isRootKept.value()) {
            kept.push_back(std::move(root));
        }
    }
    return kept;
}

Result<std::vector<FileCategory>> CategoryTree::filteredSubcategories(
    const FileCategory& category, const CategoryFilter& filter) {
    auto children = childrenOf(category);
    if (!children.ok()) {
        return children.error();
    }
    std::vector<FileCategory> kept;
    for (const FileCategory& child : *children.value()) {
        auto isChildKept = isKept(child, filter);
        if (!isChildKept.ok()) {
            return isChildKept.error();
        }
        if (isChildKept.value()) {
            kept.push_back(child);
        }
    }
    return kept;
}

Result<std::vector<File>> CategoryTree::filteredFiles(const FileCategory& category,
                                                      const CategoryFilter& filter) {
    auto files = filesOf(category.pk);
    if (!files.ok()) {
        return files.error();
    }
    std::vector<File> counting;
    if (filter.keyword) {
        const TitleKeyword keyword(*filter.keyword);
        for (const File& file : *files.value()) {
            if (file.title && keyword.matches(*file.title)) {
                counting.push_back(file);
            }
        }
        return counting;
    }
    for (const File& file : *files.value()) {
        if (counts(file, filter)) {
            counting.push_back(file);
        }
    }
    if (filter.type == CategoryFilterType::DownloadError) {
        // The errors are listed as the store holds the files, not by title.
        std::sort(counting.begin(), counting.end(),
                  [](const File& a, const File& b) { return a.pk < b.pk; });
    }
    return counting;
}

Result<bool> CategoryTree::isKept(const FileCategory& category, const CategoryFilter& filter) {
    std::map<std::int64_t, bool>& known = kept_[filterKey(filter)];
    if (auto it = known.find(category.pk); it != known.end()) {
        return it->second;
    }
    // Kept means: some category reachable from here (itself included) has a counting file.
    // A search that finds none has seen everything reachable from every category it entered,
    // so all of them are known not kept; one that finds a file only vouches for the start.
    std::set<std::int64_t> entered;
    std::vector<FileCategory> pending{category};
    bool found = false;
    while (!pending.empty() && !found) {
        FileCategory current = std::move(pending.back());
        pending.pop_back();
        if (!entered.insert(current.pk).second) {
            continue;
        }
        if (auto it = known.find(current.pk); it != known.end()) {
            found = it->second;
            continue;
        }
        auto hasFile = hasCountingFile(current, filter);
        if (!hasFile.ok()) {
            return hasFile.error();
        }
        if (hasFile.value()) {
            found = true;
            break;
        }
        auto children = childrenOf(current);
        if (!children.ok()) {
            return children.error();
        }
        pending.insert(pending.end(), children.value()->begin(), children.value()->end());
    }
    if (found) {
        known[category.pk] = true;
    } else {
        for (std::int64_t key : entered) {
            known[key] = false;
        }
    }
    return found;
}

Result<std::vector<FileCategory>> CategoryTree::filteredCategoryClosure(
    const FileCategory& category, const CategoryFilter& filter) {
    std::vector<FileCategory> closure;
    std::set<std::int64_t> entered{category.pk};
    closure.push_back(category);
    // Depth first in tree order: each entry's kept children go right after it, ahead of its
    // later siblings.
    std::vector<std::vector<FileCategory>> childLists;  // one list per level entered

    auto firstChildren = filteredSubcategories(category, filter);
    if (!firstChildren.ok()) {
        return firstChildren.error();
    }
    childLists.push_back(std::move(firstChildren.value()));
    std::vector<std::size_t> next{0};
    while (!childLists.empty()) {
        std::vector<FileCategory>& children = childLists.back();
        std::size_t& index = next.back();
        if (index >= children.size()) {
            childLists.pop_back();
            next.pop_back();
            continue;
        }
        FileCategory child = children[index++];
        if (!entered.insert(child.pk).second) {
            continue;
        }
        auto grandchildren = filteredSubcategories(child, filter);
        if (!grandchildren.ok()) {
            return grandchildren.error();
        }
        closure.push_back(std::move(child));
        childLists.push_back(std::move(grandchildren.value()));
        next.push_back(0);
    }
    return closure;
}

Result<const std::vector<File>*> CategoryTree::filesOf(std::int64_t categoryKey) {
    if (auto it = files_.find(categoryKey); it != files_.end()) {
        return &it->second;
    }
    // A file the server removed for this user stays in the category for the others who
    // hold it, but is no row of this user's tree: nothing here may offer it again.
    auto files = EntityRows::records<File>(
        context_,
        "SELECT m.file FROM File_categories m JOIN File f ON f.pk = m.file WHERE m.category = ? "
        "AND NOT EXISTS (SELECT 1 FROM FileState s WHERE s.file = f.pk AND s.user IS ? AND "
        "s.removedByServer = 1) ORDER BY f.title, f.pk",
        categoryKey, scope_.userKey);
    if (!files.ok()) {
        return files.error();
    }
    return &files_.emplace(categoryKey, std::move(files.value())).first->second;
}

Result<const std::vector<FileCategory>*> CategoryTree::childrenOf(const FileCategory& category) {
    if (auto it = children_.find(category.pk); it != children_.end()) {
        return &it->second;
    }
    std::vector<FileCategory> children;
    if (scope_.userKey && scope_.localeKey) {
        auto found = category.subcategoriesSortedByName(context_, scope_.userKey, scope_.localeKey);
        if (!found.ok()) {
            return found.error();
        }
        children = std::move(found.value());
        // The store sorts by name alone; equal names then go by row key as the roots do.
        std::stable_sort(children.begin(), children.end(), byName);
    }
    return &children_.emplace(category.pk, std::move(children)).first->second;
}

bool CategoryTree::counts(const File& file, const CategoryFilter& filter) const {
    switch (filter.type) {
        case CategoryFilterType::All:
            return true;
        case CategoryFilterType::Downloaded:
            return file.downloaded;
        case CategoryFilterType::NotDownloaded:
            return !file.downloaded;
        case CategoryFilterType::DownloadError:
            return file.cmsID && hasDownloadError_ && hasDownloadError_(*file.cmsID);
        case CategoryFilterType::UpdateAvailable:
            return file.downloaded && file.updateAvailable;
    }
    return false;
}

Result<bool> CategoryTree::hasCountingFile(const FileCategory& category,
                                           const CategoryFilter& filter) {
    auto files = filesOf(category.pk);
    if (!files.ok()) {
        return files.error();
    }
    if (filter.keyword) {
        const TitleKeyword keyword(*filter.keyword);
        return std::any_of(files.value()->begin(), files.value()->end(), [&](const File& file) {
            return file.title && keyword.matches(*file.title);
        });
    }
    return std::any_of(files.value()->begin(), files.value()->end(),
                       [&](const File& file) { return counts(file, filter); });
}

std::string CategoryTree::filterKey(const CategoryFilter& filter) {
    if (filter.keyword) {
        return "k:" + *filter.keyword;
    }
    return "t:" + std::to_string(static_cast<int>(filter.type));
}

}  // namespace pagewell

#include "sync/SyncDiskSpace.h"

#include <algorithm>

#include "library/CategoryTree.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "store/FileState.h"
#include "store/StoreContext.h"

namespace pagewell {

Result<std::uint64_t> SyncDiskSpace::neededForSync(StoreContext& context, std::int64_t userKey,
                                                   std::int64_t localeKey) {
    auto files = File::filesToDownload(context, userKey);
    if (!files.ok()) {
        return files.error();
    }
    std::uint64_t total = 0;
    for (const File& file : files.value()) {
        auto locales = file.localeKeys(context);
        if (!locales.ok()) {
            return locales.error();
        }
        if (std::find(locales.value().begin(), locales.value().end(), localeKey) ==
            locales.value().end()) {
            continue;
        }
        auto size = file.completeFileSize(context);
        if (!size.ok()) {
            return size.error();
        }
        total += size.value();
    }
    return total;
}

Result<std::uint64_t> SyncDiskSpace::neededForCategories(
    CategoryTree& tree, std::int64_t userKey, const std::vector<FileCategory>& categories,
    const CategoryFilter& filter, std::set<std::int64_t>& calculatedIDs) {
    StoreContext& context = tree.context();
    std::uint64_t total = 0;
    for (const FileCategory& category : categories) {
        auto closure = tree.filteredCategoryClosure(category, filter);
        if (!closure.ok()) {
            return closure.error();
        }
        for (const FileCategory& member : closure.value()) {
            auto files = tree.filteredFiles(member, filter);
            if (!files.ok()) {
                return files.error();
            }
            for (const File& file : files.value()) {
                bool pending = !file.downloaded || file.updateAvailable;
                if (!pending) {
                    // A copy on disk that the user removed comes back with a download-all,
                    // and the shown total must not hide it.
                    auto state = file.fileStateForUser(context, userKey);
                    if (!state.ok()) {
                        return state.error();
                    }
                    pending = state.value() && state.value()->removedByUser();
                }
                if (!pending || !file.cmsID || !calculatedIDs.insert(*file.cmsID).second) {
                    continue;
                }
                auto size = file.completeFileSize(context);
                if (!size.ok()) {
                    return size.error();
                }
                total += size.value();
            }
        }
    }
    return total;
}

}  // namespace pagewell

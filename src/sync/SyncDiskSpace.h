#pragma once
// The room the sync manager's downloads still need: the pending downloads of a user in a locale,
// and the files of category trees under a download-view filter. Sizes are each file's
// completeFileSize (content, thumbnail share, resources); a file is counted once however many
// categories hold it.
//
// Threading: stateless; runs on the thread that owns the context (or the tree's context).

#include <cstdint>
#include <set>
#include <vector>

#include "library/CategoryFilterType.h"
#include "platform/Error.h"

namespace pagewell {

class CategoryTree;
class StoreContext;
struct FileCategory;

class SyncDiskSpace {
  public:
    // "(downloaded = NO OR updateAvailable = YES) AND users CONTAINS U" over the files of the
    // locale L.
    static Result<std::uint64_t> neededForSync(StoreContext& context, std::int64_t userKey,
                                               std::int64_t localeKey);

    // For each category and its kept subcategories, each file passing `filter` that is not
    // downloaded, has an update, or is downloaded but removed by the user (removedByUser),
    // unless its cmsID is in `calculatedIDs` already (it is added when counted).
    static Result<std::uint64_t> neededForCategories(CategoryTree& tree, std::int64_t userKey,
                                                     const std::vector<FileCategory>& categories,
                                                     const CategoryFilter& filter,
                                                     std::set<std::int64_t>& calculatedIDs);
};

}  // namespace pagewell

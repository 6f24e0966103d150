#pragma once
// How much of the catalogue one user has in one content language: categories, files,
// highlights, what is downloaded and what a synchronisation would still fetch. The figures of
// `pagewell status` and of any screen that sums up the local catalogue.
//
// Threading: count() runs on the thread that owns the context.

#include <cstdint>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

struct CatalogueCounts {
    std::int64_t categories = 0;  // the user's categories of the language
    std::int64_t files = 0;       // files listing both the user and the language
    std::int64_t highlights = 0;  // of those, the highlights
    // Of those, the ones with a local copy that the user has not hidden (pretendDeletion).
    std::int64_t downloaded = 0;
    // Of those, the ones a synchronisation downloads: "(downloaded = NO OR updateAvailable =
    // YES) AND users CONTAINS user".
    std::int64_t pendingDownloads = 0;
    // The room those need: the sync manager's neededDiskspaceForSync.
    std::uint64_t neededBytes = 0;

    bool operator==(const CatalogueCounts&) const = default;

    // For the user and the locale (store row keys).
    static Result<CatalogueCounts> count(StoreContext& context, std::int64_t userKey,
                                         std::int64_t localeKey);
};

}  // namespace pagewell

#pragma once
// The category panel beside the shelf: the user's root categories of the current locale, or
// the children of one category, each with the server's position under that parent, ordered by
// position and then by name in the natural title order (ties by row key). Without a current
// locale it lists nothing.
//
// Threading: the thread that owns the context.

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Error.h"
#include "store/FileCategory.h"
#include "store/StoreContext.h"

namespace pagewell {

class ShelfCategoryPanel {
  public:
    struct Entry {
        FileCategory category;
        std::optional<std::int64_t> position;  // from the CategorySorting under this parent
        bool hasSubcategories = false;
    };

    // Row keys of the user and locale; none: the current selection.
    explicit ShelfCategoryPanel(StoreContext& context,
                                std::optional<std::int64_t> userKey = std::nullopt,
                                std::optional<std::int64_t> localeKey = std::nullopt);

    Result<std::vector<Entry>> roots();
    Result<std::vector<Entry>> children(const FileCategory& parent);

  private:
    Result<std::vector<Entry>> list(std::optional<std::int64_t> parentKey, std::int64_t parentID);

    StoreContext& context_;
    std::optional<std::int64_t> userKey_;
    std::optional<std::int64_t> localeKey_;
};

}  // namespace pagewell

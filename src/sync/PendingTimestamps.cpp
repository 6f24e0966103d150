#include "sync/PendingTimestamps.h"

#include <utility>

#include "sync/TimestampManager.h"

namespace pagewell {

void PendingTimestamps::setCategoryList(std::string timestamp) {
    categoryList_ = std::move(timestamp);
}

void PendingTimestamps::setAllFilesForSync(std::string timestamp) {
    allFilesForSync_ = std::move(timestamp);
}

void PendingTimestamps::setHighlights(std::string timestamp) {
    highlights_ = std::move(timestamp);
}

void PendingTimestamps::setCategory(const std::string& categoryID, std::string timestamp) {
    if (!categoryID.empty()) {
        categories_[categoryID] = std::move(timestamp);
    }
}

bool PendingTimestamps::empty() const {
    return !categoryList_ && !allFilesForSync_ && !highlights_ && categories_.empty();
}

void PendingTimestamps::applyTo(TimestampManager& manager) {
    // Per-category timestamps first: the whole-catalogue timestamp claims more than any of
    // them, so it is the last to be stored.
    for (const auto& [categoryID, timestamp] : categories_) {
        manager.saveTimestamp(timestamp, categoryID);
    }
    if (highlights_) {
        manager.saveTimeStampForHighlights(*highlights_);
    }
    if (categoryList_) {
        manager.saveTimestampForCategoryList(*categoryList_);
    }
    if (allFilesForSync_) {
        manager.saveTimestampForAllFilesForSync(*allFilesForSync_);
    }
    discard();
}

void PendingTimestamps::discard() {
    categoryList_.reset();
    allFilesForSync_.reset();
    highlights_.reset();
    categories_.clear();
}

}  // namespace pagewell

#include "sync/ChangeTimestampsAdapter.h"

#include <utility>

#include "sync/TimestampManager.h"

namespace pagewell {

ChangeTimestampsAdapter::ChangeTimestampsAdapter(std::shared_ptr<TimestampManager> manager)
    : manager_(std::move(manager)) {}

std::string ChangeTimestampsAdapter::timestampForCategoryList() {
    return manager_->timestampForCategoryList();
}

void ChangeTimestampsAdapter::saveTimestampForCategoryList(const std::string& timestamp) {
    manager_->saveTimestampForCategoryList(timestamp);
}

std::string ChangeTimestampsAdapter::timestampForAllFilesForSync() {
    return manager_->timestampForAllFilesForSync();
}

void ChangeTimestampsAdapter::saveTimestampForAllFilesForSync(const std::string& timestamp) {
    manager_->saveTimestampForAllFilesForSync(timestamp);
}

std::string ChangeTimestampsAdapter::timestampForCategoryID(const std::string& categoryID) {
    return manager_->timestampForCategoryID(categoryID);
}

void ChangeTimestampsAdapter::saveTimestamp(const std::string& timestamp,
                                            const std::string& categoryID) {
    manager_->saveTimestamp(timestamp, categoryID);
}

std::string ChangeTimestampsAdapter::timestampForHighlights() {
    return manager_->timestampForHighlights();
}

void ChangeTimestampsAdapter::saveTimeStampForHighlights(const std::string& timestamp) {
    manager_->saveTimeStampForHighlights(timestamp);
}

}  // namespace pagewell

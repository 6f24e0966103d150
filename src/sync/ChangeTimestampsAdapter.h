#pragma once
// Lets the request layer's catalogue operations read and advance change timestamps through
// their ChangeTimestamps interface while the timestamps live in a TimestampManager. Register
// it once at start-up:
//
//   auto timestamps = std::make_shared<TimestampManager>(TimestampManager::Sources{...});
//   StoreHooks::setCategoryTimestamps(timestamps);  // category deletion forgets its timestamp
//   EndpointDelegates::shared().setTimestamps(
//       std::make_shared<ChangeTimestampsAdapter>(timestamps));
//
// Threading: as TimestampManager (any thread).

#include <memory>
#include <string>

#include "net/ChangeTimestamps.h"

namespace pagewell {

class TimestampManager;

class ChangeTimestampsAdapter final : public ChangeTimestamps {
  public:
    explicit ChangeTimestampsAdapter(std::shared_ptr<TimestampManager> manager);

    std::string timestampForCategoryList() override;
    void saveTimestampForCategoryList(const std::string& timestamp) override;
    std::string timestampForAllFilesForSync() override;
    void saveTimestampForAllFilesForSync(const std::string& timestamp) override;
    std::string timestampForCategoryID(const std::string& categoryID) override;
    void saveTimestamp(const std::string& timestamp, const std::string& categoryID) override;
    std::string timestampForHighlights() override;
    void saveTimeStampForHighlights(const std::string& timestamp) override;

    const std::shared_ptr<TimestampManager>& manager() const { return manager_; }

  private:
    std::shared_ptr<TimestampManager> manager_;
};

}  // namespace pagewell

#pragma once
// The store's annotation-set hook for real: removing a file's or link-basket item's record
// removes the user's saved drawings of it from "<documents>/redlining". Thread-safe (file
// removal only).

#include <memory>

#include "platform/FileAreas.h"
#include "store/StoreHooks.h"

namespace pagewell {

class RedliningSetFiles : public AnnotationSets {
  public:
    // Without areas, the process-wide ones at the time of each removal.
    explicit RedliningSetFiles(std::shared_ptr<FileAreas> areas = nullptr);
    void removeAnnotationSet(const std::string& identifier) override;

  private:
    std::shared_ptr<FileAreas> areas_;
};

}  // namespace pagewell

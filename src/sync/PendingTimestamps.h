#pragma once
// The change timestamps one import has received, held back until the import's transaction
// has committed. The importer records each timestamp as its answer arrives and calls
// applyTo() after the commit succeeded; when the import fails or is cancelled it drops the
// object (or calls discard()), so no timestamp ever runs ahead of the data the store holds.
//
// Threading: one PendingTimestamps belongs to the import that fills it; not shared.

#include <map>
#include <optional>
#include <string>

namespace pagewell {

class TimestampManager;

class PendingTimestamps {
  public:
    void setCategoryList(std::string timestamp);
    void setAllFilesForSync(std::string timestamp);
    void setHighlights(std::string timestamp);
    // `categoryID` is the server ID as decimal text; an empty ID is ignored.
    void setCategory(const std::string& categoryID, std::string timestamp);

    bool empty() const;

    // Hands every held timestamp to the manager and forgets them. Call only after the
    // import's transaction committed.
    void applyTo(TimestampManager& manager);
    void discard();

  private:
    std::optional<std::string> categoryList_;
    std::optional<std::string> allFilesForSync_;
    std::optional<std::string> highlights_;
    std::map<std::string, std::string> categories_;
};

}  // namespace pagewell

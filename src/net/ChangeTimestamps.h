#pragma once
// The change timestamps the catalogue requests send and advance: one per list (category list,
// whole-catalogue sync, highlights) and one per category, for the signed-in user and the current
// language. The value "0" means none is known: the request then asks for the full list.
//
// The operations advance a timestamp only after the import of the answer it came with has
// committed; a failed or interrupted import leaves it where it was.
//
// Threading: called on the main queue only.

#include <string>

namespace pagewell {

class ChangeTimestamps {
  public:
    virtual ~ChangeTimestamps() = default;

    virtual std::string timestampForCategoryList() = 0;
    virtual void saveTimestampForCategoryList(const std::string& timestamp) = 0;

    virtual std::string timestampForAllFilesForSync() = 0;
    virtual void saveTimestampForAllFilesForSync(const std::string& timestamp) = 0;

    // `categoryID` is the category's server identifier as decimal text.
    virtual std::string timestampForCategoryID(const std::string& categoryID) = 0;
    virtual void saveTimestamp(const std::string& timestamp, const std::string& categoryID) = 0;

    virtual std::string timestampForHighlights() = 0;
    virtual void saveTimeStampForHighlights(const std::string& timestamp) = 0;

    static constexpr const char* kNoTimestamp = "0";
};

}  // namespace pagewell

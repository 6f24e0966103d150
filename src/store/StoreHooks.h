#pragma once
// What deletion rules ask of modules above the store: forgetting a category's change
// timestamp, removing a user's annotation set, withdrawing a pending reminder. Those modules
// plug their real implementation in here; until then (and in tests) the defaults do nothing.
// Thread-safe.

#include <memory>
#include <string>

namespace pagewell {

class CategoryTimestamps {
  public:
    virtual ~CategoryTimestamps() = default;
    // Forgets the change timestamp of the category with that server identifier (decimal text).
    virtual void deleteTimestampForCategoryWithID(const std::string& categoryID) = 0;
};

class AnnotationSets {
  public:
    virtual ~AnnotationSets() = default;
    // Removes the saved annotation set with that identifier, when there is one.
    virtual void removeAnnotationSet(const std::string& identifier) = 0;
};

class PendingReminders {
  public:
    virtual ~PendingReminders() = default;
    // Withdraws the pending local notification with that identifier, when there is one.
    virtual void withdrawReminder(const std::string& identifier) = 0;
};

class StoreHooks {
  public:
    static std::shared_ptr<CategoryTimestamps> categoryTimestamps();
    static std::shared_ptr<AnnotationSets> annotationSets();
    static std::shared_ptr<PendingReminders> pendingReminders();

    // nullptr restores the default, which does nothing.
    static void setCategoryTimestamps(std::shared_ptr<CategoryTimestamps> hook);
    static void setAnnotationSets(std::shared_ptr<AnnotationSets> hook);
    static void setPendingReminders(std::shared_ptr<PendingReminders> hook);
};

}  // namespace pagewell

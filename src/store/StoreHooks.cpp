#include "store/StoreHooks.h"

#include <mutex>

namespace pagewell {

namespace {

struct NoTimestamps final : CategoryTimestamps {
    void deleteTimestampForCategoryWithID(const std::string&) override {}
};
struct NoAnnotations final : AnnotationSets {
    void removeAnnotationSet(const std::string&) override {}
};
struct NoReminders final : PendingReminders {
    void withdrawReminder(const std::string&) override {}
};

struct Hooks {
    std::mutex mutex;
    std::shared_ptr<CategoryTimestamps> timestamps = std::make_shared<NoTimestamps>();
    std::shared_ptr<AnnotationSets> annotations = std::make_shared<NoAnnotations>();
    std::shared_ptr<PendingReminders> reminders = std::make_shared<NoReminders>();
};

Hooks& hooks() {
    static Hooks instance;
    return instance;
}

}  // namespace

std::shared_ptr<CategoryTimestamps> StoreHooks::categoryTimestamps() {
    std::lock_guard lock(hooks().mutex);
    return hooks().timestamps;
}

std::shared_ptr<AnnotationSets> StoreHooks::annotationSets() {
    std::lock_guard lock(hooks().mutex);
    return hooks().annotations;
}

std::shared_ptr<PendingReminders> StoreHooks::pendingReminders() {
    std::lock_guard lock(hooks().mutex);
    return hooks().reminders;
}

void StoreHooks::setCategoryTimestamps(std::shared_ptr<CategoryTimestamps> hook) {
    std::lock_guard lock(hooks().mutex);
    hooks().timestamps = hook ? std::move(hook) : std::make_shared<NoTimestamps>();
}

void StoreHooks::setAnnotationSets(std::shared_ptr<AnnotationSets> hook) {
    std::lock_guard lock(hooks().mutex);
    hooks().annotations = hook ? std::move(hook) : std::make_shared<NoAnnotations>();
}

void StoreHooks::setPendingReminders(std::shared_ptr<PendingReminders> hook) {
    std::lock_guard lock(hooks().mutex);
    hooks().reminders = hook ? std::move(hook) : std::make_shared<NoReminders>();
}

}  // namespace pagewell

#include "store/CurrentSelection.h"

namespace pagewell {

namespace {
struct Selection {
    std::mutex mutex;
    std::optional<std::int64_t> user;     // guarded by mutex
    std::optional<std::string> userName;  // guarded by mutex
    std::optional<std::int64_t> locale;   // guarded by mutex
};
Selection& selection() {
    static Selection instance;
    return instance;
}
}  // namespace

std::optional<std::int64_t> CurrentSelection::userKey() {
    std::lock_guard lock(selection().mutex);
    return selection().user;
}

std::optional<std::string> CurrentSelection::userName() {
    std::lock_guard lock(selection().mutex);
    return selection().userName;
}

std::optional<std::int64_t> CurrentSelection::localeKey() {
    std::lock_guard lock(selection().mutex);
    return selection().locale;
}

void CurrentSelection::setUser(std::optional<std::int64_t> key, std::optional<std::string> name) {
    std::lock_guard lock(selection().mutex);
    selection().user = key;
    selection().userName = std::move(name);
}

void CurrentSelection::setLocale(std::optional<std::int64_t> key) {
    std::lock_guard lock(selection().mutex);
    selection().locale = key;
}

void CurrentSelection::clear() {
    std::lock_guard lock(selection().mutex);
    selection().user.reset();
    selection().userName.reset();
    selection().locale.reset();
}

}  // namespace pagewell

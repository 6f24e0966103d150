#include "sync/MassRemovalGuard.h"

#include <fmt/format.h>

#include "platform/Logger.h"
#include "store/EntityRows.h"

namespace pagewell {

namespace {

std::mutex sharedMutex;
std::shared_ptr<MassRemovalGuard> sharedGuard;  // guarded by sharedMutex

// Replaces each "%d" in turn by the next value.
std::string filled(std::string format, std::initializer_list<std::int64_t> values) {
    std::size_t from = 0;
    for (std::int64_t value : values) {
        std::size_t at = format.find("%d", from);
        if (at == std::string::npos) {
            break;
        }
        std::string text = std::to_string(value);
        format.replace(at, 2, text);
        from = at + text.size();
    }
    return format;
}

}  // namespace

bool MassRemovalGuard::isMassRemoval(const Removal& removal) {
    return removal.removed >= kMinimumFiles && removal.removed * 2 > removal.held;
}

Result<std::int64_t> MassRemovalGuard::filesHeld(StoreContext& context, std::int64_t userKey,
                                                 std::int64_t localeKey) {
    auto count = EntityRows::first<std::int64_t>(
        context,
        "SELECT COUNT(*) FROM File_users u JOIN File_locales l ON l.file = u.file "
        "WHERE u.user = ? AND l.locale = ?",
        [](Statement& row) { return row.integer(0); }, userKey, localeKey);
    if (!count.ok()) {
        return count.error();
    }
    return count.value().value_or(0);
}

bool MassRemovalGuard::admit(const Removal& removal) {
    if (!isMassRemoval(removal)) {
        return true;
    }
    std::lock_guard lock(mutex_);
    if (admitted_) {
        PW_LOG_WARNING("Removing {} of the user's {} files, as confirmed", removal.removed,
                       removal.held);
        return true;
    }
    PW_LOG_WARNING("Held back an answer that removes {} of the user's {} files", removal.removed,
                   removal.held);
    ++heldBackCount_;
    if (!heldBack_ || heldBack_->removed < removal.removed) {
        heldBack_ = removal;
    }
    return false;
}

void MassRemovalGuard::beginSync(bool admitMassRemoval) {
    std::lock_guard lock(mutex_);
    admitted_ = admitMassRemoval;
    heldBack_.reset();
}

std::optional<MassRemovalGuard::Removal> MassRemovalGuard::heldBack() const {
    std::lock_guard lock(mutex_);
    return heldBack_;
}

std::size_t MassRemovalGuard::heldBackCount() const {
    std::lock_guard lock(mutex_);
    return heldBackCount_;
}

Error MassRemovalGuard::heldBackError(const Removal& removal) {
    return Error::make(kAppErrorDomain, kHeldBackCode,
                       fmt::format("the server no longer lists {} of your {} files; they were "
                                   "kept on this device",
                                   removal.removed, removal.held));
}

bool MassRemovalGuard::isHeldBack(const Error& error) {
    return error.domain == kAppErrorDomain && error.code == kHeldBackCode;
}

Alert MassRemovalGuard::question(const Removal& removal, const TextLookup& text) {
    auto lookup = [&text](std::string_view key, std::string_view fallback) {
        return text ? text(key, fallback) : std::string(fallback);
    };
    Alert alert;
    alert.title = lookup(kTitleKey, kTitle);
    alert.message = filled(lookup(kQuestionKey, kQuestion), {removal.removed, removal.held});
    alert.cancelButtonTitle = lookup(kNoKey, kNo);
    alert.otherButtonTitles = {lookup(kYesKey, kYes)};
    return alert;
}

std::shared_ptr<MassRemovalGuard> MassRemovalGuard::shared() {
    std::lock_guard lock(sharedMutex);
    if (!sharedGuard) {
        sharedGuard = std::make_shared<MassRemovalGuard>();
    }
    return sharedGuard;
}

void MassRemovalGuard::setShared(std::shared_ptr<MassRemovalGuard> guard) {
    std::lock_guard lock(sharedMutex);
    sharedGuard = std::move(guard);
}

}  // namespace pagewell

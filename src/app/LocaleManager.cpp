#include "app/LocaleManager.h"

#include <algorithm>

#include "app/LanguageSwitcher.h"
#include "net/AccountManager.h"
#include "net/CatalogueRequests.h"
#include "platform/Logger.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "store/CurrentSelection.h"
#include "store/EntityRows.h"
#include "store/PersistentStore.h"

namespace pagewell {

namespace {

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<LocaleManager>& sharedSlot() {
    static std::shared_ptr<LocaleManager> manager;
    return manager;
}

// The signed-in user's name without a store look-up once the session has resolved it, so the
// stored choice can be read from any thread.
std::string currentUserName() {
    if (auto name = CurrentSelection::userName()) {
        return *name;
    }
    return AccountManager::currentUsername();
}

}  // namespace

LocaleManager& LocaleManager::shared() {
    return *sharedPointer();
}

std::shared_ptr<LocaleManager> LocaleManager::sharedPointer() {
    std::lock_guard lock(sharedMutex());
    auto& slot = sharedSlot();
    if (!slot) {
        slot = std::make_shared<LocaleManager>();
    }
    return slot;
}

void LocaleManager::setShared(std::shared_ptr<LocaleManager> manager) {
    std::lock_guard lock(sharedMutex());
    sharedSlot() = std::move(manager);
}

void LocaleManager::setHooks(Hooks hooks) {
    std::lock_guard lock(mutex_);
    hooks_ = std::move(hooks);
}

LocaleManager::Hooks LocaleManager::hooksCopy() const {
    std::lock_guard lock(mutex_);
    return hooks_;
}

std::string LocaleManager::userDefaultsKey(const std::string& userName) {
    return std::string(kCurrentLocaleIDKey) + "_" + userName;
}

void LocaleManager::getLocaleWithCompletionBlock(Done completion, ErrorCallback error) {
    CatalogueRequests().getAllLocales(
        [this, completion = std::move(completion)] {
            completion();
            auto store = PersistentStore::shared();
            if (!store) {
                return;
            }
            auto held = localesOfCurrentUser(store->mainContext());
            if (held.ok() && held.value().empty()) {
                removeCurrentLocale();
            }
        },
        [error = std::move(error)](const Error& failure) { error(failure); });
}

void LocaleManager::setCurrentLocale(const std::optional<Locale>& locale) {
    if (!locale || locale->pk == 0) {
        PW_LOG_ERROR(kNilLocale);
        return;
    }
    Hooks hooks = hooksCopy();
    std::optional<std::int64_t> stored = storedLocaleID();
    if (stored != locale->cmsID && hooks.isSynchronising && hooks.isSynchronising() &&
        hooks.stopSynchronisation) {
        hooks.stopSynchronisation();
    }
    LanguageSwitcher::shared().setLanguage(locale->iso2.value_or(""));
    if (hooks.invalidateThemeImages) {
        hooks.invalidateThemeImages();
    }
    std::string userName = currentUserName();
    {
        std::lock_guard lock(mutex_);
        cache_ = Cache{userName, locale->pk};
    }
    CurrentSelection::setLocale(locale->pk);
    if (locale->cmsID) {
        if (Status written =
                UserDefaults::shared().set(userDefaultsKey(userName), PlistValue(*locale->cmsID));
            !written.ok()) {
            PW_LOG_ERROR_VALUE(written.error());
        }
    }
    NotificationCenter::shared().post(kLanguageSwitchEvent, *locale);
}

std::optional<Locale> LocaleManager::getCurrentLocale() {
    auto store = PersistentStore::shared();
    if (!store) {
        return std::nullopt;
    }
    return getCurrentLocaleInContext(store->mainContext());
}

std::optional<Locale> LocaleManager::getCurrentLocaleInContext(StoreContext& context) {
    std::optional<User> user = AccountManager::currentUserInContext(context);
    if (!user || !user->username) {
        return std::nullopt;
    }
    auto mine = localesOfCurrentUser(context);
    if (!mine.ok()) {
        PW_LOG_ERROR_VALUE(mine.error());
        return std::nullopt;
    }
    std::optional<Cache> cache;
    {
        std::lock_guard lock(mutex_);
        cache = cache_;
    }
    if (cache && cache->userName == *user->username) {
        for (const Locale& locale : mine.value()) {
            if (locale.pk == cache->localeKey) {
                return locale;
            }
        }
    }
    // The cache belongs to another user or names a language this user no longer has.
    std::optional<std::int64_t> stored;
    if (auto value = UserDefaults::shared().get(userDefaultsKey(*user->username));
        value && value->isNumber()) {
        stored = value->integerValue();
    }
    {
        std::lock_guard lock(mutex_);
        cache_.reset();
    }
    if (!stored) {
        CurrentSelection::setLocale(std::nullopt);
        return std::nullopt;
    }
    for (const Locale& locale : mine.value()) {
        if (locale.cmsID == stored) {
            {
                std::lock_guard lock(mutex_);
                cache_ = Cache{*user->username, locale.pk};
            }
            CurrentSelection::setLocale(locale.pk);
            return locale;
        }
    }
    CurrentSelection::setLocale(std::nullopt);
    return std::nullopt;
}

std::optional<std::string> LocaleManager::getCurrentLocaleID() {
    std::optional<Locale> current = getCurrentLocale();
    if (!current || !current->cmsID) {
        return std::nullopt;
    }
    return std::to_string(*current->cmsID);
}

std::optional<std::int64_t> LocaleManager::storedLocaleID() const {
    auto value = UserDefaults::shared().get(userDefaultsKey(currentUserName()));
    if (!value || !value->isNumber()) {
        return std::nullopt;
    }
    return value->integerValue();
}

void LocaleManager::removeCurrentLocale() {
    if (Status removed = UserDefaults::shared().remove(userDefaultsKey(currentUserName()));
        !removed.ok()) {
        PW_LOG_ERROR_VALUE(removed.error());
    }
    forgetCache();
}

void LocaleManager::forgetCache() {
    {
        std::lock_guard lock(mutex_);
        cache_.reset();
    }
    CurrentSelection::setLocale(std::nullopt);
}

Result<std::vector<Locale>> LocaleManager::localesOfCurrentUser(StoreContext& context) {
    std::optional<User> user = AccountManager::currentUserInContext(context);
    if (!user) {
        return std::vector<Locale>();
    }
    auto keys = user->localeKeys(context);
    if (!keys.ok()) {
        return keys.error();
    }
    std::vector<Locale> locales;
    for (std::int64_t key : keys.value()) {
        auto found = Locale::find(context, key);
        if (!found.ok()) {
            return found.error();
        }
        if (found.value()) {
            locales.push_back(*found.value());
        }
    }
    std::stable_sort(locales.begin(), locales.end(), [](const Locale& a, const Locale& b) {
        if (a.title != b.title) {
            return a.title.value_or("") < b.title.value_or("");
        }
        return a.cmsID.value_or(0) < b.cmsID.value_or(0);
    });
    return locales;
}

}  // namespace pagewell

#pragma once
// Which content language is current for the signed-in user. The choice is kept per user in the
// user defaults ("CURRENT_LOCALE_ID_<user name>", the language's server identifier as a number),
// so every user keeps a choice of their own across restarts; the store key of the current
// language is cached for the process (and mirrored into CurrentSelection, which find-or-create
// and the queries read).
//
// A language is current only while the signed-in user is assigned to it: the cache belongs to
// the user it was made for and is checked against the language's users on every lookup, and a
// stored identifier that matches none of the user's languages yields none.
//
// Threading: the operations without a context argument use the store's main context and belong
// to the main thread, as do the fetch and its callbacks; getCurrentLocaleInContext runs on the
// thread that owns the context. mutex_ guards cache_ and hooks_.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/CurrentLocaleSource.h"
#include "platform/Error.h"
#include "store/Locale.h"
#include "store/StoreContext.h"

namespace pagewell {

class LocaleManager : public CurrentLocaleSource {
  public:
    using Done = std::function<void()>;
    using ErrorCallback = std::function<void(const Error& error)>;

    // What a language switch reaches in modules built later; an unset hook is skipped.
    struct Hooks {
        // Whether a synchronisation is running, and how to stop it.
        std::function<bool()> isSynchronising;
        std::function<void()> stopSynchronisation;
        // Drops the themed images made for the previous language.
        std::function<void()> invalidateThemeImages;
    };

    LocaleManager() = default;
    LocaleManager(const LocaleManager&) = delete;
    LocaleManager& operator=(const LocaleManager&) = delete;

    // The process-wide manager; replaceable in tests (nullptr: a fresh one).
    static LocaleManager& shared();
    static std::shared_ptr<LocaleManager> sharedPointer();
    static void setShared(std::shared_ptr<LocaleManager> manager);

    void setHooks(Hooks hooks);

    // The manager must outlive its fetches (the process-wide one does).
    // Fetches and imports the languages (CatalogueRequests::getAllLocales, which hands the
    // answer to the registered importer). Success: `completion`, then, when the signed-in user
    // has no language in the store, the choice is forgotten (removeCurrentLocale). Failure:
    // `error` with the request's error. Offline, the request answers at once and the store's
    // languages stay as they are.
    void getLocaleWithCompletionBlock(Done completion, ErrorCallback error);

    // None: logs "Cannot set current locale to nil" and changes nothing. Otherwise: stops a
    // running synchronisation when the language differs from the stored one, switches the
    // interface language to its "iso2", drops themed images, caches its store key, stores its
    // server identifier under the user's key and posts "LanguageSwitchEvent".
    void setCurrentLocale(const std::optional<Locale>& locale);

    // The current language in the main context; none without a store, user or valid choice.
    std::optional<Locale> getCurrentLocale();
    std::optional<Locale> getCurrentLocaleInContext(StoreContext& context);

    // The current language's server identifier as decimal text (the language the catalogue
    // requests ask for); none when getCurrentLocale() has none.
    std::optional<std::string> getCurrentLocaleID() override;
    // What is stored for the signed-in user, whether or not it names one of the user's
    // languages. Any thread, once the session has resolved the user.
    std::optional<std::int64_t> storedLocaleID() const;

    // Forgets the signed-in user's choice and the cache.
    void removeCurrentLocale();

    // Forgets the cache only (a new "process" in tests, or another user signing in).
    void forgetCache();

    // The signed-in user's languages, sorted by title ascending (then server identifier); empty
    // when nobody is signed in.
    static Result<std::vector<Locale>> localesOfCurrentUser(StoreContext& context);

    // "CURRENT_LOCALE_ID_<user name>".
    static std::string userDefaultsKey(const std::string& userName);

    static constexpr const char* kCurrentLocaleIDKey = "CURRENT_LOCALE_ID";
    static constexpr const char* kLanguageSwitchEvent = "LanguageSwitchEvent";
    static constexpr const char* kNilLocale = "Cannot set current locale to nil";

  private:
    struct Cache {
        std::string userName;
        std::int64_t localeKey = 0;
    };

    Hooks hooksCopy() const;

    mutable std::mutex mutex_;
    std::optional<Cache> cache_;  // guarded by mutex_
    Hooks hooks_;                 // guarded by mutex_
};

}  // namespace pagewell

#pragma once
// The interface language: which language code is current and the text table that goes with it.
// Every user-facing text is looked up with a text key and an English default (get()); a key the
// current table lacks, or a language without a table, shows the default.
//
// Tables are shipped resources: <resources>/<code>.lproj/Localizable.plist, one property-list
// dictionary of key → text per language.
//
// Threading: every member may be called from any thread; mutex_ guards language_ and table_.
// The process-wide accessors are guarded by a mutex in the .cpp.

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace pagewell {

class LanguageSwitcher {
  public:
    using Path = std::filesystem::path;

    // A switcher reading its tables below `resources`, starting with `language`.
    LanguageSwitcher(Path resources, std::string language);
    LanguageSwitcher(const LanguageSwitcher&) = delete;
    LanguageSwitcher& operator=(const LanguageSwitcher&) = delete;

    // The text for `key` in the current table; `alter` when the table has none.
    std::string get(const std::string& key, const std::string& alter) const;
    // Makes `code` ("de", "en", ...) current and loads its table (none: every text shows its
    // default). An empty code is ignored.
    void setLanguage(const std::string& code);
    std::string getCurrentLanguage() const;

    // The process-wide switcher, made on first use over the shipped resources with
    // preferredLanguage(); replaceable in tests (nullptr: the default is made again).
    static LanguageSwitcher& shared();
    static void setShared(std::shared_ptr<LanguageSwitcher> switcher);
    // shared().get(key, alter), the short form every caller uses.
    static std::string localized(const std::string& key, const std::string& alter);

    // The platform's first preferred language, as a language code (the part before "-", "_",
    // "." or "@"): the first entry of the user-defaults array "AppleLanguages", else
    // $LANGUAGE, $LC_ALL, $LC_MESSAGES or $LANG, else "en".
    static std::string preferredLanguage();

    // Where the table of `code` lives below `resources`.
    static Path tablePath(const Path& resources, const std::string& code);

    static constexpr const char* kBundleType = "lproj";
    static constexpr const char* kTableFileName = "Localizable.plist";
    static constexpr const char* kPreferredLanguagesKey = "AppleLanguages";
    static constexpr const char* kFallbackLanguage = "en";

  private:
    const Path resources_;
    mutable std::mutex mutex_;
    std::string language_;                      // guarded by mutex_
    std::map<std::string, std::string> table_;  // guarded by mutex_
};

}  // namespace pagewell

#pragma once
// The content-language step that follows a successful login: fetch the languages; none for the
// user → the "Locale" alert and logout; a current language kept unless "ALWAYS_ASK_FOR_LOCALE"
// is on; otherwise the chooser; a failed fetch → the offline-mode question, and the step again
// when the user switches the mode.
//
//   fetch ──ok──► user has languages? ──no──► alert "Locale", logout ──► NoLanguages
//     │                 │ yes
//     │                 ▼
//     │        current one and not "always ask"? ──yes──► made current again ──► Kept
//     │                 │ no
//     │                 ▼
//     │        chooser (one language: taken at once) ──► Chosen / NotChosen
//     ▼ error
//   offline-mode question ──yes──► the step again        ──no──► Declined
//
// After Kept and Chosen the favourite synchronisation starts (hook).
//
// Threading: main queue only.

#include <functional>
#include <memory>

namespace pagewell {

class LocaleManager;

class ContentLanguageStep {
  public:
    enum class Outcome {
        Kept,         // the current language stays current
        Chosen,       // the chooser made one current (also the single-language case)
        NotChosen,    // the chooser was closed without a choice
        NoLanguages,  // the user has no language: alerted and logged out
        Declined,     // the fetch failed and the user kept the offline mode as it was
    };

    struct Hooks {
        // Starts the favourite synchronisation (no callbacks).
        std::function<void()> startFavoriteSync;
        // Ends the session; unset: LoginManager::shared().logout().
        std::function<void()> logout;
    };

    // `finished` is called exactly once, on the main queue, when the step ends whichever way.
    static void showLocaleView(std::function<void(Outcome)> finished, Hooks hooks = {},
                               std::shared_ptr<LocaleManager> manager = nullptr);

    // Whether an outcome leaves a current language.
    static bool hasLanguage(Outcome outcome) {
        return outcome == Outcome::Kept || outcome == Outcome::Chosen;
    }

    // The alert for a user without languages (shown as they stand, not translated).
    static constexpr const char* kNoLocaleTitle = "Locale";
    static constexpr const char* kNoLocaleMessage =
        "Dem aktuellen Benutzer wurden keine Territories zugewiesen. Für den Zugriff auf die App, "
        "muss dem Benutzer mindestens ein Territory zugewiesen werden.";
    static constexpr const char* kNoLocaleButton = "Ok";
};

}  // namespace pagewell

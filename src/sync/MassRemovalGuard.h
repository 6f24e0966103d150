#pragma once
// Keeps one server answer from taking most of the user's catalogue off the device unnoticed.
// A misconfigured server that suddenly lists no categories, or a category answer that drops
// most of its files, would otherwise delete records and downloaded copies in one import.
//
// How the importer judges an answer: inside the answer's transaction, before it commits, it
// counts how many of the user's files of the current language the answer removes (`removed`:
// files the user no longer holds afterwards, whether the record was deleted or only the user
// detached) out of those the user held before (`held`). More than half of them, and at least
// kMinimumFiles, is a mass removal. Unless the guard admits it, the importer rolls the answer
// back (store and disk stay as they were) and fails it with heldBackError(); the answer's
// change timestamp therefore does not advance, and the next synchronisation gets it again.
//
// Each answer is judged on its own, against what the user holds when it is applied: the
// category list by the files its dropped categories take with them, a category's file list
// (or the highlight list) by the files it drops, a change list's deleted and removed
// categories by their files. A server that empties many categories one answer at a time is
// thus judged answer by answer, each against a smaller catalogue; the catastrophic answer (the
// category list that lists nothing) is always caught whole.
//
// Who decides: SyncManager::getDataForSync asks once per synchronisation that held a removal
// back, through the Presenter (question()); "Yes" admits mass removals for a repeated import
// of the catalogue. An automatic synchronisation never asks: the removal stays skipped and the
// next synchronisation the user starts decides.
//
// Threading: admit() is called by imports on background threads, concurrently; every member
// takes the guard's mutex.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "net/CatalogueImporting.h"
#include "platform/Error.h"
#include "platform/Presenter.h"

namespace pagewell {

class StoreContext;

class MassRemovalGuard {
  public:
    struct Removal {
        std::int64_t removed = 0;  // files of the user and language the answer removes
        std::int64_t held = 0;     // files of the user and language before the answer
        bool operator==(const Removal&) const = default;
    };
    using TextLookup = std::function<std::string(std::string_view key, std::string_view fallback)>;

    static bool isMassRemoval(const Removal& removal);
    // The files that list both the user and the language (store row keys): `held`.
    static Result<std::int64_t> filesHeld(StoreContext& context, std::int64_t userKey,
                                          std::int64_t localeKey);

    // Whether the importer may apply the removal: any that is no mass removal, a mass removal
    // only while admitted. A refused one is remembered (heldBack()).
    bool admit(const Removal& removal);
    // A synchronisation starts: forgets what was held back and admits mass removals or not.
    void beginSync(bool admitMassRemoval);
    // The largest removal refused since beginSync.
    std::optional<Removal> heldBack() const;
    // How many removals were refused over the guard's life (a long run's exit status).
    std::size_t heldBackCount() const;

    // The import error of a refused answer, and the test for it.
    static Error heldBackError(const Removal& removal);
    static bool isHeldBack(const Error& error);
    // "The server no longer lists N of your M files. Remove them from this device?" with "No"
    // (cancel) and "Yes", in the interface language when `text` finds the keys.
    static Alert question(const Removal& removal, const TextLookup& text);

    // The process-wide guard the importer and the sync manager share (replaceable in tests).
    static std::shared_ptr<MassRemovalGuard> shared();
    static void setShared(std::shared_ptr<MassRemovalGuard> guard);  // nullptr: a fresh one

    static constexpr std::int64_t kMinimumFiles = 20;
    static constexpr int kHeldBackCode = CatalogueImporting::kHeldBackCode;
    static constexpr const char* kQuestionKey = "SYNC_MASS_REMOVAL_QUEST";
    static constexpr const char* kQuestion =
        "The server no longer lists %d of your %d files. Remove them from this device?";
    static constexpr const char* kTitleKey = "SYNC";
    static constexpr const char* kTitle = "Sync";
    static constexpr const char* kYesKey = "YES";
    static constexpr const char* kYes = "Yes";
    static constexpr const char* kNoKey = "NO";
    static constexpr const char* kNo = "No";

  private:
    mutable std::mutex mutex_;
    bool admitted_ = false;            // guarded by mutex_
    std::optional<Removal> heldBack_;  // guarded by mutex_
    std::size_t heldBackCount_ = 0;    // guarded by mutex_
};

}  // namespace pagewell

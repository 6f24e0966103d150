#pragma once
// One file row of the synchronisation screen, without a view: which action its button offers,
// what a tap on it does, and how it follows the download of its file.
//
//   Download(1) / Update(7) ──tap──► screen starts the download ──► Waiting(4) while queued
//   Waiting ──first progress──► Cancel(2) ──progress 1.0──► Delete(5)
//                                        └─error notification──► Error(6)
//   Error ──tap: alert, dismissed──► the error is forgotten ──► Download
//   Delete ──tap: "Yes"──► the user's copy is removed ──► chosen afresh (Download)
//   Cancel ──tap──► screen cancels the download ──► Download
//
// A failed download reports progress 1.0 first and its error after it, so it ends in Error.
// Downloading(3) and Waiting(4) show a disabled button: a tap does nothing.
//
// Threading: belongs to the main thread. The download notifications are posted there by the
// download operation; one that arrives on another thread is moved to the main queue.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/NotificationCenter.h"
#include "store/File.h"

namespace pagewell {

class PersistentStore;
class Presenter;
class SyncManager;

class SyncViewCell {
  public:
    enum class ButtonState : int {
        Download = 1,
        Cancel = 2,
        Downloading = 3,
        Waiting = 4,
        Delete = 5,
        Error = 6,
        Update = 7,
    };

    // The button's localisation key, English text and whether it can be tapped.
    struct ButtonLabel {
        const char* key;
        const char* fallback;
        bool enabled;
    };
    static ButtonLabel labelForState(ButtonState state);

    // What the row asks of the screen it belongs to.
    class Screen {
      public:
        virtual ~Screen() = default;
        virtual void startDownloadWithSyncCell(SyncViewCell& cell) = 0;
        virtual void cancelDownloadWithSyncCell(SyncViewCell& cell) = 0;
        // After a copy was removed: every visible row chooses its state afresh.
        virtual void reloadVisibleRows() = 0;
    };

    using TextLookup = std::function<std::string(std::string_view key, std::string_view fallback)>;

    // The collaborators; each one left empty takes the process-wide one (the text lookup: the
    // application's, as installed for the download operations, else the English text).
    struct Services {
        std::shared_ptr<SyncManager> syncManager;
        std::shared_ptr<PersistentStore> store;
        std::shared_ptr<Presenter> presenter;
        TextLookup localizedText;
    };

    explicit SyncViewCell(std::weak_ptr<Screen> screen, Services services = {});
    ~SyncViewCell();
    SyncViewCell(const SyncViewCell&) = delete;
    SyncViewCell& operator=(const SyncViewCell&) = delete;

    // Shows `file`: listens to its download notifications, takes the sync manager's error for
    // it and chooses the state.
    void setFile(const File& file);
    const std::optional<File>& file() const { return file_; }

    // Chooses the state afresh from the stored file (read again), the queue and the error:
    // Delete for a visible local copy without update, else Update, Waiting, Error, Download.
    void setupButton();
    void setupButtonWithAction(ButtonState state);

    ButtonState buttonState() const { return buttonState_; }
    std::string buttonTitle() const;
    bool buttonEnabled() const { return labelForState(buttonState_).enabled; }
    std::string title() const;
    // stringForCompleteFilesize of the file.
    std::string sizeText() const;
    double progress() const { return progress_; }
    const std::optional<Error>& error() const { return error_; }

    // The tap on the row's button (see the flow above).
    void touchButton();

    // Called on the main thread after every change of state, progress or error.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

    // Labels of the questions and alerts.
    static constexpr const char* kErrorKey = "ERROR";
    static constexpr const char* kError = "Error";
    static constexpr const char* kOkKey = "OK";
    static constexpr const char* kOk = "Ok";
    static constexpr const char* kDeleteKey = "DELETE";
    static constexpr const char* kDelete = "Delete";
    static constexpr const char* kDeleteQuestionKey = "DELETE_QUEST";
    static constexpr const char* kDeleteQuestion = "Do you really want to delete this file?";
    static constexpr const char* kYesKey = "YES";
    static constexpr const char* kYes = "Yes";
    static constexpr const char* kNoKey = "NO";
    static constexpr const char* kNo = "No";

  private:
    void stopListening();
    void onProgress(double progress);
    void onError(const Error& error);
    void showError();
    void askDelete();
    std::string text(std::string_view key, std::string_view fallback) const;
    void announce();

    std::weak_ptr<Screen> screen_;
    Services services_;
    std::optional<File> file_;
    ButtonState buttonState_ = ButtonState::Download;
    std::optional<Error> error_;
    double progress_ = 0.0;
    std::function<void()> changed_;
    std::optional<std::int64_t> listenedID_;
    NotificationCenter::Token progressToken_ = 0;
    NotificationCenter::Token errorToken_ = 0;
    // Lets callbacks that outlive the row (alerts, moved notifications) see that it is gone.
    std::shared_ptr<SyncViewCell*> self_;
};

}  // namespace pagewell

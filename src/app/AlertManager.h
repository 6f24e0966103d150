#pragma once
// Shows alerts through the Presenter and keeps the one it showed last, so that a new alert can
// take the previous one off screen first (through its cancel button, without animation).
// The throttled variant drops alerts while a pause after the previous one runs, so a burst of
// identical failures does not stack dialogs. Main queue only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Presenter.h"

namespace pagewell {

// Receives the callbacks of an alert shown by AlertManager. Every callback is optional.
class AlertDelegate {
  public:
    virtual ~AlertDelegate() = default;
    virtual void alertClickedButtonAtIndex(const Alert& alert, int buttonIndex) = 0;
    // Whether the first button after cancel may be chosen; std::nullopt means "no opinion".
    virtual std::optional<bool> alertShouldEnableFirstOtherButton(const Alert&) {
        return std::nullopt;
    }
};

class AlertManager {
  public:
    explicit AlertManager(std::shared_ptr<Presenter> presenter = nullptr);

    static AlertManager& sharedInstance();
    static void setSharedInstance(std::shared_ptr<AlertManager> manager);  // nullptr: default

    // Always shows the alert. The delegate is held weakly: an alert outliving its delegate
    // simply has nobody to tell.
    Presenter::AlertId forceShowAlertWithTitle(const std::string& title, const std::string& message,
                                               std::weak_ptr<AlertDelegate> delegate,
                                               std::optional<std::string> cancelButtonTitle,
                                               std::vector<std::string> otherButtonTitles);

    // Shows the alert unless the pause after the previous throttled alert still runs;
    // std::nullopt when nothing was shown.
    std::optional<Presenter::AlertId> showAlertWithTitle(
        const std::string& title, const std::string& message, std::weak_ptr<AlertDelegate> delegate,
        std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles);

    // Whether the first other button of the last alert may be chosen: yes unless its delegate
    // answers no.
    bool shouldEnableFirstOtherButton() const;

    bool shouldAutoDismissLastAlert() const { return shouldAutoDismissLastAlert_; }
    void setShouldAutoDismissLastAlert(bool value) { shouldAutoDismissLastAlert_ = value; }

    double secondsBetweenAlerts() const { return secondsBetweenAlerts_; }
    // The pause counts whole seconds (0.5 gives none); zero or less ends a running pause.
    void setSecondsBetweenAlerts(double seconds);

    std::optional<Presenter::AlertId> lastAlertId() const { return lastAlertId_; }

  private:
    Presenter& presenter() const;

    std::shared_ptr<Presenter> presenter_;  // nullptr: Presenter::shared()
    bool shouldAutoDismissLastAlert_ = true;
    double secondsBetweenAlerts_ = 0.5;
    std::optional<SystemTime> pauseEndsAt_;
    std::optional<Presenter::AlertId> lastAlertId_;
    std::optional<Alert> lastAlert_;
    std::weak_ptr<AlertDelegate> lastDelegate_;
    std::shared_ptr<bool> lastAlertOpen_;  // shared with the alert's completion
};

}  // namespace pagewell

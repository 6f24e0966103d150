#include "app/AlertManager.h"

#include <cmath>
#include <mutex>

namespace pagewell {

namespace {
std::mutex gAlertManagerMutex;
std::shared_ptr<AlertManager> gAlertManager;  // guarded by gAlertManagerMutex
}  // namespace

AlertManager::AlertManager(std::shared_ptr<Presenter> presenter)
    : presenter_(std::move(presenter)) {}

AlertManager& AlertManager::sharedInstance() {
    std::lock_guard lock(gAlertManagerMutex);
    if (!gAlertManager) {
        gAlertManager = std::make_shared<AlertManager>();
    }
    return *gAlertManager;
}

void AlertManager::setSharedInstance(std::shared_ptr<AlertManager> manager) {
    std::lock_guard lock(gAlertManagerMutex);
    gAlertManager = std::move(manager);
}

Presenter& AlertManager::presenter() const {
    return presenter_ ? *presenter_ : Presenter::shared();
}

Presenter::AlertId AlertManager::forceShowAlertWithTitle(
    const std::string& title, const std::string& message, std::weak_ptr<AlertDelegate> delegate,
    std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles) {
    if (shouldAutoDismissLastAlert_ && lastAlertId_ && lastAlertOpen_ && *lastAlertOpen_) {
        presenter().dismissAlert(*lastAlertId_, lastAlert_->cancelButtonIndex(), false);
    }

    Alert alert{title, message, std::move(cancelButtonTitle), std::move(otherButtonTitles)};
    auto open = std::make_shared<bool>(true);
    lastAlert_ = alert;
    lastDelegate_ = delegate;
    lastAlertOpen_ = open;

    // The presenter may answer before showAlert returns (a terminal asks at once).
    Presenter::AlertId id = presenter().showAlert(alert, [alert, delegate, open](int index) {
        *open = false;
        if (auto target = delegate.lock()) {
            target->alertClickedButtonAtIndex(alert, index);
        }
    });
    lastAlertId_ = id;
    return id;
}

std::optional<Presenter::AlertId> AlertManager::showAlertWithTitle(
    const std::string& title, const std::string& message, std::weak_ptr<AlertDelegate> delegate,
    std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles) {
    const SystemTime now = Clock::shared().now();
    if (pauseEndsAt_ && now < *pauseEndsAt_) {
        return std::nullopt;
    }
    pauseEndsAt_.reset();
    auto id = forceShowAlertWithTitle(title, message, std::move(delegate),
                                      std::move(cancelButtonTitle), std::move(otherButtonTitles));
    const auto wholeSeconds = static_cast<long long>(std::floor(secondsBetweenAlerts_));
    if (wholeSeconds > 0) {
        pauseEndsAt_ = now + std::chrono::seconds(wholeSeconds);
    }
    return id;
}

bool AlertManager::shouldEnableFirstOtherButton() const {
    auto delegate = lastDelegate_.lock();
    if (!delegate || !lastAlert_) {
        return true;
    }
    return delegate->alertShouldEnableFirstOtherButton(*lastAlert_).value_or(true);
}

void AlertManager::setSecondsBetweenAlerts(double seconds) {
    secondsBetweenAlerts_ = seconds;
    if (seconds <= 0) {
        pauseEndsAt_.reset();
    }
}

}  // namespace pagewell

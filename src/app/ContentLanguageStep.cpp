#include "app/ContentLanguageStep.h"

#include "app/LocaleManager.h"
#include "app/LocaleViewController.h"
#include "app/SettingKeys.h"
#include "app/SettingsManager.h"
#include "net/InterfaceManager.h"
#include "net/LoginManager.h"
#include "platform/Logger.h"
#include "platform/Presenter.h"
#include "store/PersistentStore.h"

namespace pagewell {

namespace {

bool alwaysAskForLocale() {
    auto value = SettingsManager::sharedInstance().getSettingInGroup(settings::kLocaleGroup,
                                                                     settings::kAlwaysAskForLocale);
    return value && value->boolValue();
}

void startFavoriteSync(const ContentLanguageStep::Hooks& hooks) {
    if (hooks.startFavoriteSync) {
        hooks.startFavoriteSync();
    }
}

// The user has no language: say so, and end the session.
void refuseUser(const ContentLanguageStep::Hooks& hooks,
                const std::function<void(ContentLanguageStep::Outcome)>& finished) {
    if (hooks.logout) {
        hooks.logout();
    } else {
        LoginManager::shared().logout();
    }
    Alert alert;
    alert.title = ContentLanguageStep::kNoLocaleTitle;
    alert.message = ContentLanguageStep::kNoLocaleMessage;
    alert.cancelButtonTitle = ContentLanguageStep::kNoLocaleButton;
    Presenter::shared().showAlert(
        alert, [finished](int) { finished(ContentLanguageStep::Outcome::NoLanguages); });
}

void afterFetch(const std::shared_ptr<LocaleManager>& manager,
                const ContentLanguageStep::Hooks& hooks,
                const std::function<void(ContentLanguageStep::Outcome)>& finished) {
    using Outcome = ContentLanguageStep::Outcome;
    auto store = PersistentStore::shared();
    auto controller = std::make_shared<LocaleViewController>(manager);
    if (store) {
        if (Status loaded = controller->loadRows(store->mainContext()); !loaded.ok()) {
            PW_LOG_ERROR_VALUE(loaded.error());
        }
    }
    if (controller->rows().empty()) {
        refuseUser(hooks, finished);
        return;
    }
    if (std::optional<Locale> current = manager->getCurrentLocale();
        current && !alwaysAskForLocale()) {
        manager->setCurrentLocale(current);
        startFavoriteSync(hooks);
        finished(Outcome::Kept);
        return;
    }
    controller->present([hooks, finished](bool chosen) {
        if (!chosen) {
            finished(Outcome::NotChosen);
            return;
        }
        finished(Outcome::Chosen);
        startFavoriteSync(hooks);
    });
}

}  // namespace

void ContentLanguageStep::showLocaleView(std::function<void(Outcome)> finished, Hooks hooks,
                                         std::shared_ptr<LocaleManager> manager) {
    if (!manager) {
        manager = LocaleManager::sharedPointer();
    }
    manager->getLocaleWithCompletionBlock(
        [manager, hooks, finished] { afterFetch(manager, hooks, finished); },
        [manager, hooks, finished](const Error&) {
            InterfaceManager::sharedInstance().showOfflineModeAlert(
                [manager, hooks, finished](bool declined) {
                    if (declined) {
                        finished(Outcome::Declined);
                        return;
                    }
                    showLocaleView(finished, hooks, manager);
                });
        });
}

}  // namespace pagewell

#include "app/LocaleViewController.h"

#include "app/LanguageSwitcher.h"
#include "app/LocaleManager.h"
#include "platform/Presenter.h"

namespace pagewell {

LocaleViewController::LocaleViewController(std::shared_ptr<LocaleManager> manager)
    : manager_(manager ? std::move(manager) : LocaleManager::sharedPointer()) {}

Status LocaleViewController::loadRows(StoreContext& context) {
    auto locales = LocaleManager::localesOfCurrentUser(context);
    if (!locales.ok()) {
        return locales.error();
    }
    rows_ = std::move(locales).value();
    return {};
}

std::vector<std::string> LocaleViewController::rowTitles() const {
    std::vector<std::string> titles;
    titles.reserve(rows_.size());
    for (const Locale& locale : rows_) {
        titles.push_back(locale.title.value_or("#" + std::to_string(locale.cmsID.value_or(0))));
    }
    return titles;
}

void LocaleViewController::present(Completion completion) {
    if (rows_.size() == 1) {
        didSelectRow(0);
        completion(true);
        return;
    }
    ChoicePrompt prompt;
    prompt.title = LanguageSwitcher::localized(kTitleKey, kTitle);
    prompt.options = rowTitles();
    Presenter::shared().choose(
        prompt,
        [self = shared_from_this(), completion = std::move(completion)](
            std::optional<std::size_t> index) { completion(index && self->didSelectRow(*index)); });
}

bool LocaleViewController::didSelectRow(std::size_t index) {
    if (index >= rows_.size()) {
        return false;
    }
    manager_->setCurrentLocale(rows_[index]);
    return true;
}

}  // namespace pagewell

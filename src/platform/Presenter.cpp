#include "platform/Presenter.h"

#include <mutex>

namespace pagewell {

std::string Alert::buttonTitle(int index) const {
    if (cancelButtonTitle && index == 0) {
        return *cancelButtonTitle;
    }
    int other = index - firstOtherButtonIndex();
    if (other >= 0 && static_cast<std::size_t>(other) < otherButtonTitles.size()) {
        return otherButtonTitles[static_cast<std::size_t>(other)];
    }
    return {};
}

namespace {

// Answers every question with its cancel choice.
class CancellingPresenter final : public Presenter {
  public:
    AlertId showAlert(const Alert& alert, AlertCompletion completion) override {
        completion(alert.cancelButtonIndex());
        return ++lastId_;
    }
    void dismissAlert(AlertId, int, bool) override {}
    void promptText(const TextPrompt&,
                    std::function<void(std::optional<std::string>)> completion) override {
        completion(std::nullopt);
    }
    void choose(const ChoicePrompt&,
                std::function<void(std::optional<std::size_t>)> completion) override {
        completion(std::nullopt);
    }

  private:
    AlertId lastId_ = 0;
};

std::mutex gPresenterMutex;
std::shared_ptr<Presenter>& presenterSlot() {
    static std::shared_ptr<Presenter> presenter = std::make_shared<CancellingPresenter>();
    return presenter;
}

}  // namespace

Presenter& Presenter::shared() {
    return *sharedPointer();
}

std::shared_ptr<Presenter> Presenter::sharedPointer() {
    std::lock_guard lock(gPresenterMutex);
    return presenterSlot();
}

void Presenter::setShared(std::shared_ptr<Presenter> presenter) {
    std::lock_guard lock(gPresenterMutex);
    presenterSlot() = presenter ? std::move(presenter) : std::make_shared<CancellingPresenter>();
}

}  // namespace pagewell

#pragma once
// A Presenter for tests: alerts stay open until the test answers or the code dismisses them,
// and every alert shown is recorded.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Presenter.h"

namespace pagewell {

class ScriptedPresenter final : public Presenter {
  public:
    struct Shown {
        AlertId id;
        Alert alert;
        std::optional<int> answer;  // the button index it ended with
        bool dismissedByCode = false;
        bool animated = true;
    };

    AlertId showAlert(const Alert& alert, AlertCompletion completion) override {
        AlertId id = static_cast<AlertId>(shown.size()) + 1;
        shown.push_back(Shown{id, alert, std::nullopt});
        open_[id] = std::move(completion);
        return id;
    }
    void dismissAlert(AlertId id, int buttonIndex, bool animated) override {
        auto& entry = shown.at(static_cast<std::size_t>(id - 1));
        entry.dismissedByCode = true;
        entry.animated = animated;
        finish(id, buttonIndex);
    }
    void promptText(const TextPrompt&,
                    std::function<void(std::optional<std::string>)> completion) override {
        completion(textAnswer);
    }
    void choose(const ChoicePrompt&,
                std::function<void(std::optional<std::size_t>)> completion) override {
        completion(choiceAnswer);
    }

    // The user taps `buttonIndex` on an open alert.
    void answer(AlertId id, int buttonIndex) { finish(id, buttonIndex); }
    bool isOpen(AlertId id) const { return open_.count(id) > 0; }

    std::vector<Shown> shown;
    std::optional<std::string> textAnswer;
    std::optional<std::size_t> choiceAnswer;

  private:
    void finish(AlertId id, int buttonIndex) {
        auto it = open_.find(id);
        if (it == open_.end()) {
            return;
        }
        auto completion = std::move(it->second);
        open_.erase(it);
        shown.at(static_cast<std::size_t>(id - 1)).answer = buttonIndex;
        completion(buttonIndex);
    }

    std::map<AlertId, AlertCompletion> open_;
};

}  // namespace pagewell

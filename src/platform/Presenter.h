#pragma once
// How the core asks the user something: alerts with buttons, text prompts, choice lists.
// The CLI answers on the terminal, tests script the answers, a GUI would show dialogs.
// Calls are made on the main queue; each completion is called exactly once, on the main queue
// (a presenter may call it before returning).

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pagewell {

struct Alert {
    std::string title;
    std::string message;
    // Buttons are indexed like this: the cancel button (when there is one) is 0, the other
    // buttons follow in order.
    std::optional<std::string> cancelButtonTitle;
    std::vector<std::string> otherButtonTitles;

    int cancelButtonIndex() const { return cancelButtonTitle ? 0 : -1; }
    int firstOtherButtonIndex() const { return cancelButtonTitle ? 1 : 0; }
    std::size_t buttonCount() const {
        return otherButtonTitles.size() + (cancelButtonTitle ? 1 : 0);
    }
    // Title of the button at `index`, empty when out of range.
    std::string buttonTitle(int index) const;
};

struct TextPrompt {
    std::string title;
    std::string message;
    std::string placeholder;
    bool secure = false;  // a password: not echoed
};

struct ChoicePrompt {
    std::string title;
    std::vector<std::string> options;
};

class Presenter {
  public:
    using AlertId = int;
    // Called with the chosen button index; -1 when the alert went away without a choice.
    using AlertCompletion = std::function<void(int buttonIndex)>;

    virtual ~Presenter() = default;

    virtual AlertId showAlert(const Alert& alert, AlertCompletion completion) = 0;
    // Takes an alert that is still shown off screen as if `buttonIndex` had been chosen.
    // Unknown or already answered ids are ignored.
    virtual void dismissAlert(AlertId id, int buttonIndex, bool animated) = 0;
    // std::nullopt when the user cancelled.
    virtual void promptText(const TextPrompt& prompt,
                            std::function<void(std::optional<std::string>)> completion) = 0;
    virtual void choose(const ChoicePrompt& prompt,
                        std::function<void(std::optional<std::size_t>)> completion) = 0;

    // The process-wide presenter. Until one is set, every question is answered with its
    // cancel choice, which is what a run without a user must do.
    static Presenter& shared();
    static std::shared_ptr<Presenter> sharedPointer();
    static void setShared(std::shared_ptr<Presenter> presenter);  // nullptr restores the default
};

}  // namespace pagewell

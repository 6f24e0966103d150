#pragma once
// Asks the app's questions on the terminal: the alert text and numbered buttons on stderr,
// the answer read from stdin. Without a terminal (or with --non-interactive) nobody can answer,
// so the cancel choice is taken; --yes takes the first button after cancel, --no the cancel
// button. Main thread only.

#include <cstdio>
#include <optional>

#include "platform/Presenter.h"

namespace pagewell::cli {

class TerminalPresenter final : public Presenter {
  public:
    enum class Answer { Ask, Yes, No };

    TerminalPresenter(Answer answer, bool interactive, std::FILE* in = stdin,
                      std::FILE* out = stderr);

    AlertId showAlert(const Alert& alert, AlertCompletion completion) override;
    void dismissAlert(AlertId id, int buttonIndex, bool animated) override;
    void promptText(const TextPrompt& prompt,
                    std::function<void(std::optional<std::string>)> completion) override;
    void choose(const ChoicePrompt& prompt,
                std::function<void(std::optional<std::size_t>)> completion) override;

  private:
    std::optional<std::string> readLine(bool secure);

    Answer answer_;
    bool interactive_;
    std::FILE* in_;
    std::FILE* out_;
    AlertId lastId_ = 0;
};

}  // namespace pagewell::cli

#include "cli/TerminalPresenter.h"

#include <termios.h>
#include <unistd.h>

#include <string>

#include "cli/TerminalText.h"

namespace pagewell::cli {

namespace {

// Turns terminal echo off for the lifetime of the object (password prompts).
class EchoOff {
  public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (::isatty(fd_) && ::tcgetattr(fd_, &saved_) == 0) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            active_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~EchoOff() {
        if (active_) {
            ::tcsetattr(fd_, TCSAFLUSH, &saved_);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool active() const { return active_; }

  private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

int defaultButton(const Alert& alert, TerminalPresenter::Answer answer) {
    if (answer == TerminalPresenter::Answer::Yes && !alert.otherButtonTitles.empty()) {
        return alert.firstOtherButtonIndex();
    }
    if (alert.cancelButtonTitle) {
        return alert.cancelButtonIndex();
    }
    // An alert without a cancel button offers no way out; its only (or first) button is the
    // acknowledgement.
    return alert.otherButtonTitles.empty() ? -1 : 0;
}

}  // namespace

TerminalPresenter::TerminalPresenter(Answer answer, bool interactive, std::FILE* in, std::FILE* out)
    : answer_(answer), interactive_(interactive), in_(in), out_(out) {}

std::optional<std::string> TerminalPresenter::readLine(bool secure) {
    std::fflush(out_);
    EchoOff echo(secure ? ::fileno(in_) : -1);
    std::string line;
    int c = 0;
    while ((c = std::fgetc(in_)) != EOF && c != '\n') {
        line.push_back(static_cast<char>(c));
    }
    if (echo.active()) {
        std::fputc('\n', out_);
    }
    if (c == EOF && line.empty()) {
        return std::nullopt;
    }
    return line;
}

Presenter::AlertId TerminalPresenter::showAlert(const Alert& alert, AlertCompletion completion) {
    const AlertId id = ++lastId_;
    // Titles and messages may carry server text (an error's description, a file's title).
    std::fprintf(out_, "\n%s\n", TerminalText::escapeKeepingLines(alert.title).c_str());
    if (!alert.message.empty()) {
        std::fprintf(out_, "%s\n", TerminalText::escapeKeepingLines(alert.message).c_str());
    }
    const int count = static_cast<int>(alert.buttonCount());
    const int fallback = defaultButton(alert, answer_);
    if (count <= 1 || answer_ != Answer::Ask || !interactive_) {
        if (fallback >= 0 && count > 1) {
            std::fprintf(out_, "→ %s\n", TerminalText::escape(alert.buttonTitle(fallback)).c_str());
        }
        completion(fallback);
        return id;
    }
    for (int i = 0; i < count; ++i) {
        std::fprintf(out_, "  %d) %s\n", i + 1, TerminalText::escape(alert.buttonTitle(i)).c_str());
    }
    for (;;) {
        std::fprintf(out_, "Choose 1-%d%s: ", count,
                     fallback >= 0 ? (" [" + std::to_string(fallback + 1) + "]").c_str() : "");
        auto line = readLine(false);
        if (!line) {
            completion(fallback);
            return id;
        }
        if (line->empty() && fallback >= 0) {
            completion(fallback);
            return id;
        }
        try {
            int chosen = std::stoi(*line);
            if (chosen >= 1 && chosen <= count) {
                completion(chosen - 1);
                return id;
            }
        } catch (const std::exception&) {
        }
        std::fprintf(out_, "Please answer with a number from 1 to %d.\n", count);
    }
}

void TerminalPresenter::dismissAlert(AlertId, int, bool) {
    // A terminal alert is answered before showAlert returns, so nothing is left on screen.
}

void TerminalPresenter::promptText(const TextPrompt& prompt,
                                   std::function<void(std::optional<std::string>)> completion) {
    if (!interactive_) {
        completion(std::nullopt);
        return;
    }
    if (!prompt.title.empty()) {
        std::fprintf(out_, "%s\n", TerminalText::escapeKeepingLines(prompt.title).c_str());
    }
    if (!prompt.message.empty()) {
        std::fprintf(out_, "%s\n", TerminalText::escapeKeepingLines(prompt.message).c_str());
    }
    std::fprintf(
        out_, "%s: ",
        prompt.placeholder.empty() ? "Answer" : TerminalText::escape(prompt.placeholder).c_str());
    completion(readLine(prompt.secure));
}

void TerminalPresenter::choose(const ChoicePrompt& prompt,
                               std::function<void(std::optional<std::size_t>)> completion) {
    if (!interactive_ || prompt.options.empty()) {
        completion(std::nullopt);
        return;
    }
    std::fprintf(out_, "\n%s\n", TerminalText::escapeKeepingLines(prompt.title).c_str());
    for (std::size_t i = 0; i < prompt.options.size(); ++i) {
        std::fprintf(out_, "  %zu) %s\n", i + 1, TerminalText::escape(prompt.options[i]).c_str());
    }
    for (;;) {
        std::fprintf(out_, "Choose 1-%zu (empty to cancel): ", prompt.options.size());
        auto line = readLine(false);
        if (!line || line->empty()) {
            completion(std::nullopt);
            return;
        }
        try {
            auto chosen = std::stoul(*line);
            if (chosen >= 1 && chosen <= prompt.options.size()) {
                completion(chosen - 1);
                return;
            }
        } catch (const std::exception&) {
        }
        std::fprintf(out_, "Please answer with a number from 1 to %zu.\n", prompt.options.size());
    }
}

}  // namespace pagewell::cli

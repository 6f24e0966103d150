#include "cli/TerminalPresenter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace pagewell::cli {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Answers `alert` with the typed `input` and returns the chosen button index.
int answerWith(const std::string& input, TerminalPresenter::Answer answer, bool interactive,
               const Alert& alert) {
    std::string typed = input;
    File in(fmemopen(typed.data(), typed.size() + (typed.empty() ? 1 : 0), "r"));
    File out(std::tmpfile());
    TerminalPresenter presenter(answer, interactive, in.get(), out.get());
    int chosen = -2;
    int calls = 0;
    presenter.showAlert(alert, [&](int index) {
        chosen = index;
        ++calls;
    });
    EXPECT_EQ(calls, 1);
    return chosen;
}

TEST(TerminalPresenterTest, ChoosesButtonsByNumberAndFallsBackToCancelWhenNobodyAnswers) {
    const Alert question{"Reset sync", "Really?", "No", {"Yes"}};
    const Alert notice{"Done", "Nothing to do", std::nullopt, {"Ok"}};
    using A = TerminalPresenter::Answer;
    struct Case {
        const char* why;
        std::string input;
        A answer;
        bool interactive;
        const Alert& alert;
        int expected;
    };
    const Case cases[] = {
        {"typed 2 picks the second button", "2\n", A::Ask, true, question, 1},
        {"typed 1 picks cancel", "1\n", A::Ask, true, question, 0},
        {"nonsense is asked again", "x\n9\n2\n", A::Ask, true, question, 1},
        {"empty line takes the default, cancel", "\n", A::Ask, true, question, 0},
        {"end of input takes cancel", "", A::Ask, true, question, 0},
        {"no terminal takes cancel without reading", "2\n", A::Ask, false, question, 0},
        {"--yes takes the first button after cancel", "", A::Yes, false, question, 1},
        {"--no takes cancel", "2\n", A::No, true, question, 0},
        {"a lone button is acknowledged", "", A::Ask, false, notice, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(answerWith(c.input, c.answer, c.interactive, c.alert), c.expected) << c.why;
    }
}

TEST(TerminalPresenterTest, PromptsReadALineOrCancelWithoutATerminal) {
    std::string typed = "alice\n";
    File in(fmemopen(typed.data(), typed.size(), "r"));
    File out(std::tmpfile());
    std::optional<std::string> answer;
    TerminalPresenter(TerminalPresenter::Answer::Ask, true, in.get(), out.get())
        .promptText({"Sign in", "", "User name", false}, [&](auto text) { answer = text; });
    EXPECT_EQ(answer, "alice");

    answer = "unchanged";
    TerminalPresenter(TerminalPresenter::Answer::Ask, false, in.get(), out.get())
        .promptText({"Sign in", "", "User name", false}, [&](auto text) { answer = text; });
    EXPECT_EQ(answer, std::nullopt);
}

}  // namespace
}  // namespace pagewell::cli

#pragma once
// The content-language step that follows a successful `pagewell login`: the languages are
// fetched; a user without any is told so (the "Locale" alert) and signed out; a current one is
// kept unless "ALWAYS_ASK_FOR_LOCALE" is on; otherwise a numbered list is asked on the terminal
// (one language is taken without asking); a failed fetch asks the offline-mode question.
// Without a terminal the list is not asked: `pagewell locale use ID` chooses later.

namespace pagewell::cli {

struct CommandContext;

class LoginLocaleStep {
  public:
    // Runs the step to its end. kExitSuccess unless the user has no language (then
    // kExitSignInNeeded: the session has ended).
    static int run(const CommandContext& context);
};

}  // namespace pagewell::cli

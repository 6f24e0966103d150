#pragma once
// `pagewell locale list` and `pagewell locale use ID`: the signed-in user's content languages
// and the choice of the current one.
//
//   pagewell locale list [--refresh]   the languages by title, the current one marked with "*";
//                                      --refresh fetches them from the server first
//   pagewell locale use ID             makes the language with server identifier ID current
//
// With --json, list prints [{"id": int, "title": text, "iso2": text, "current": bool}] and use
// prints the chosen entry in the same form. These names are a contract with scripts.
// Exit codes: 0 done, 1 unknown language or failed fetch, 4 nobody is signed in.

#include <cstdint>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class LocaleCommand {
  public:
    explicit LocaleCommand(CommandContext& context) : context_(context) {}

    // Adds `locale` with `list` and `use` to `parent`.
    void add(CLI::App& parent, int& exitCode);

    static int list(const CommandContext& context, bool refresh);
    static int use(const CommandContext& context, std::int64_t id);

  private:
    CommandContext& context_;
    bool refresh_ = false;
    std::int64_t id_ = 0;
};

}  // namespace pagewell::cli

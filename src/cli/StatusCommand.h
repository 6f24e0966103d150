#pragma once
// `pagewell status`: who is signed in, until when the session is valid, offline mode, the
// server address and the content language. Read-only: takes no lock.
//
// With --json: {"user": text or null, "loggedIn": bool, "sessionValidUntil": ISO-8601 text or
// null, "offline": bool, "server": text, "locale": {"id": int, "title": text} or null}. These
// names are a contract with scripts: fields may be added, never renamed.

#include <chrono>
#include <nlohmann/json_fwd.hpp>
#include <string>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class StatusCommand {
  public:
    static void add(CLI::App& parent, CommandContext& context, int& exitCode);
    static int run(const CommandContext& context);

    // The status as the JSON document above; the application must be started.
    static nlohmann::json document();
    // The same as lines of text.
    static std::string text(const nlohmann::json& document);

    // "2024-05-01T12:30:00Z" (UTC, whole seconds).
    static std::string iso8601(std::chrono::system_clock::time_point time);
};

}  // namespace pagewell::cli

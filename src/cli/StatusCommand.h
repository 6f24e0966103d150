#pragma once
// `pagewell status`: who is signed in, until when the session is valid, offline mode, the
// server address, the content language and how much of its catalogue is here. Read-only:
// takes no lock.
//
// With --json: {"user": text or null, "loggedIn": bool, "sessionValidUntil": ISO-8601 text or
// null, "offline": bool, "server": text, "locale": {"id": int, "title": text} or null,
// "counts": {"categories", "files", "highlights", "downloaded", "pendingDownloads",
// "neededBytes"} or null}; the counts are the signed-in user's catalogue in the current
// language (CatalogueCounts), null without a user or a language. These names are a contract with
// scripts: fields may be added, never renamed.

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

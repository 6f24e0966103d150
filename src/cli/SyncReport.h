#pragma once
// How a `pagewell sync` run reports a failure, and which errors mean what for its exit code.
// Main thread only.

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <string>

#include "platform/Error.h"

namespace pagewell::cli {

struct CommandContext;

class SyncReport {
  public:
    // "pagewell: message" on stderr, under it the error's description when the message does
    // not hold it already and what the server said ("The server says: …"); with --json,
    // `document` (the run so far) with {"error": {"message", "domain", "code", "description",
    // "serverMessage" when there is one}} added on stdout, so that scripts get one document
    // whatever happened. Returns `exitCode`.
    static int fail(const CommandContext& context, int exitCode, const std::string& message,
                    const std::optional<Error>& error, nlohmann::json document);

    // The server was never reached (or stopped answering), as opposed to a server that
    // answered with a failure.
    static bool isUnreachable(const Error& error);
    // A token renewal failed: the stored sign-in no longer works.
    static bool isSessionExpired(const Error& error);

    // A bound on a step of the run, not a pace: every transfer has its own connect timeout and
    // low-speed limit, so a dead server ends a run long before this.
    static constexpr std::chrono::hours kStepWait{12};

    // Introduces the server's own message under an error.
    static constexpr const char* kServerSays = "The server says: ";
};

}  // namespace pagewell::cli

#pragma once
// The application shell of a process: where its data lives, which configuration it reads, and
// the start-up sequence that brings logging, settings and the HTTP traffic log up in their
// fixed order. Later modules plug their steps into startup() before start() runs.
// Main thread only.

#include <filesystem>
#include <optional>
#include <string>

#include "app/StartupSequence.h"
#include "platform/Error.h"

namespace pagewell {

struct ApplicationOptions {
    std::optional<std::filesystem::path> dataDirectory;  // --data-dir
    std::optional<std::filesystem::path> configPath;     // --config
    bool verbose = false;                                // echo the log on stderr
};

class Application {
  public:
    explicit Application(ApplicationOptions options);

    // Points the process-wide file areas and configuration at their places. Touches no file,
    // so read-only questions (where is everything?) can be answered without side effects.
    void configure();

    // configure(), creates the data directory and its areas, then runs the start-up sequence.
    // Fails with a readable error when the data directory cannot be created or a step fails.
    Status start();

    StartupSequence& startup() { return startup_; }

    // Why the store could not be opened at start, if it could not.
    const std::optional<Error>& storeError() const { return storeError_; }

    // What changing a setting does beyond storing it (the HTTP traffic log follows its switch).
    static void applySettingChange(const std::string& group, const std::string& key);

    // The HTTP traffic log level the settings ask for: 1 (full) when "LOG_HTTP_TRAFFIC" is on.
    static int httpTrafficLevelFromSettings();

    // Platform notifications about the protected-data state (a locked device).
    static constexpr const char* kProtectedDataDidBecomeAvailable =
        "ProtectedDataDidBecomeAvailable";
    static constexpr const char* kProtectedDataWillBecomeUnavailable =
        "ProtectedDataWillBecomeUnavailable";

  private:
    void installDefaultSteps();

    ApplicationOptions options_;
    StartupSequence startup_;
    bool configured_ = false;
    std::optional<Error> storeError_;
};

}  // namespace pagewell

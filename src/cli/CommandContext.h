#pragma once
// What every command gets: the global options, the output channel and the application shell.

#include "app/Application.h"
#include "cli/CommandLine.h"
#include "cli/Output.h"

namespace pagewell::cli {

struct CommandContext {
    GlobalOptions options;
    Output output{false};
    Application* application = nullptr;

    // Starts the application; on failure reports it and returns false.
    bool startApplication() const {
        Status started = application->start();
        if (!started.ok()) {
            output.failure(started.error().description, &started.error());
            return false;
        }
        return true;
    }

    // Starts the application and checks that its store opened; on failure reports it and
    // returns false.
    bool openStore() const {
        if (!startApplication()) {
            return false;
        }
        if (const auto& storeError = application->storeError()) {
            output.failure("the store cannot be opened: " + storeError->description, &*storeError);
            return false;
        }
        return true;
    }
};

}  // namespace pagewell::cli

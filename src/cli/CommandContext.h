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
};

}  // namespace pagewell::cli

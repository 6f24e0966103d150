#pragma once

namespace pagewell::cli {

// What `pagewell` returns to the shell.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitFailure = 1,         // the app reported a failure; the message is on stderr
    kExitNothingFound = 1,    // `pdf grep` found nothing (grep's habit); no message
    kExitUsage = 2,           // the command line was wrong
    kExitPartialFailure = 3,  // some files failed
    kExitSignInNeeded = 4,
    kExitOffline = 5,            // offline or the server could not be reached
    kExitDataDirectoryBusy = 6,  // another pagewell process holds the data directory
    kExitInterrupted = 130,
};

}  // namespace pagewell::cli

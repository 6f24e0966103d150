#pragma once
// The start-up repairs of the store and the user defaults, each run once per installation and
// recorded by a user-defaults flag of its own. Main thread only (main store context).

namespace pagewell {

class CustomMigrations {
  public:
    // Runs, in this order: the redlining file migration, the categories without language,
    // duplicate categories and files, the one-time timestamp reset, files without category and
    // categories without name, and the duplicate-language repair. Called once during start-up
    // after the store is opened. Without an open store the store migrations are skipped and
    // stay pending for the next start.
    static void performMigrations();
};

}  // namespace pagewell

#pragma once
// `pagewell sync`: the synchronisation screen's refresh and download-all, as a command.
//
//   pagewell sync [--filter all|downloaded|not-downloaded|error|update] [--keyword TEXT]
//                 [--category ID] [--no-download]
//
// Needs somebody signed in (exit 4 otherwise, also when the session expires during the run)
// and a content language. Takes the data-directory lock (exit 6 when another pagewell holds
// it). First the refresh: the catalogue synchronisation with a bar of the categories imported,
// then what changed (categories and files added, changed, removed). Then, unless
// --no-download, the screen's "Download all" under the filter or the title keyword, with its
// disk-space question ("Start sync"; --yes, --no and --non-interactive answer it as every
// question), or the start of one category's row (--category: that category and its
// subcategories, asked nothing), with a live line of files, bytes, rate, time left and the
// files in flight. The error filter selects the files that failed earlier in this process,
// so on its own run it finds none.
//
// A server answer that would remove more than half of your files of the language (and at least
// 20) asks first: "The server no longer lists N of your M files. Remove them from this
// device?". Yes (or --yes) removes them; No, --no, --non-interactive or no terminal keep them,
// import the rest, warn on stderr and end with exit code 3; the next sync asks again.
//
// Exit codes: 0 everything done, 1 a failure the app reported (also a download declined at the
// question or too little disk space), 3 some files failed (named on stderr) or a removal was
// kept back, 4 sign-in needed,
// 5 offline or the server unreachable ("offline / server unreachable — nothing was
// synchronised" when the catalogue is as it was; when part of it was imported before the
// failure, what was), 6 data directory busy, 130 Ctrl-C: the downloads are stopped, the queue
// cancelled, the store left consistent; a second Ctrl-C ends the process at once.
//
// With --json: {"imported": bool, "categories": {"added": [ids], "changed": [ids], "removed":
// [ids]}, "files": {...the same...}, "downloaded": [ids], "failed": [{"id": int, "error":
// text}], "unhidden": [ids], "cancelled": [ids]}; a run that failed adds {"error": {"message",
// "domain", "code", "description"}}, a kept-back removal {"removalHeldBack": text}. These
// names are a contract with scripts: fields may be added, never renamed.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace pagewell {
struct CatalogueChanges;
}

namespace pagewell::cli {

struct CommandContext;

class SyncCommand {
  public:
    struct Options {
        bool noDownload = false;
        std::string filter = "all";
        std::string keyword;
        std::optional<std::int64_t> category;
    };

    explicit SyncCommand(CommandContext& context) : context_(context) {}

    // Adds `sync` to `parent`; it stores its exit code in `exitCode`.
    void add(CLI::App& parent, int& exitCode);

    static int run(const CommandContext& context, const Options& options);

    // The change summary as the JSON members "categories" and "files".
    static nlohmann::json changesDocument(const CatalogueChanges& changes);
    // The same as lines of text; "No changes in the catalogue." when nothing changed.
    static std::string changesText(const CatalogueChanges& changes);

    static constexpr const char* kNothingSynchronised =
        "offline / server unreachable — nothing was synchronised";
    static constexpr const char* kNoChanges = "No changes in the catalogue.";
    // After kOfflinePrefix or a failure's own text, when the import stopped part-way:
    // "…; imported before the failure: categories: 2 added, 0 changed, 0 removed; files: …".
    static constexpr const char* kOfflinePrefix = "offline / server unreachable";
    static constexpr const char* kImportedBeforeFailure = "imported before the failure: ";
    static constexpr const char* kRemovalHeldBack =
        "Warning: {}. Run `pagewell sync` on a terminal to decide, or with --yes to remove them.";

  private:
    CommandContext& context_;
    Options options_;
};

}  // namespace pagewell::cli

#pragma once
// `pagewell downloads`: the download view of the synchronisation screen on the terminal. The
// category tree of the signed-in user's content language, indented by depth, each category
// followed by its files (title, size text, row state) and then its subcategories.
//
//   pagewell downloads [--filter all|downloaded|not-downloaded|error|update] [--keyword TEXT]
//
// The filter keeps the categories with a file of that kind (or with such a subcategory); a
// keyword keeps the files whose title contains it (case and accents ignored) and replaces the
// filter. The state is the row's action: Download, Update, Waiting, Error or Delete. The
// download queue and the kept download errors belong to the process that downloads, so a
// file queued or failed in another process (`pagewell run`) shows here as Download.
//
// With --json: [{"id": int, "name": text, "files": [{"id": int, "title": text, "size": bytes,
// "state": text}], "subcategories": [...same...]}], the state in English whatever the
// interface language. These names are a contract with scripts.
// Read-only: takes no lock. Exit codes: 0 shown, 1 no language or store failure, 4 nobody is
// signed in.

#include <optional>
#include <string>

#include "library/CategoryFilterType.h"

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class DownloadsCommand {
  public:
    explicit DownloadsCommand(CommandContext& context) : context_(context) {}

    void add(CLI::App& parent, int& exitCode);

    static int run(const CommandContext& context, const CategoryFilter& filter);

    // The --filter words in the order of the filter types.
    static std::optional<CategoryFilterType> filterTypeNamed(const std::string& word);

  private:
    CommandContext& context_;
    std::string filter_ = "all";
    std::optional<std::string> keyword_;
};

}  // namespace pagewell::cli

#pragma once
// `pagewell delete ID...` and `pagewell delete --all`: the delete action of the download view's
// file rows and its "Delete all" button. Each file asks "Do you really want to delete this
// file?"; --all asks "Do you really want to delete all files?" once. Yes removes your copy:
// the local file, its resources and your annotations go unless another user of this device
// still keeps the file, in which case only your view of it goes. The catalogue entry stays, so
// `pagewell download` can fetch it again.
//
// Needs somebody signed in (exit 4) and a content language; takes the data-directory lock
// (exit 6). With --json: {"deleted": [ids], "kept": [ids]} (kept: the question was declined);
// with --all: {"deletedAll": bool, "deletedFiles": n}.
// Exit codes: 0 every named file was deleted, 1 declined, unknown ID or a file that is not
// downloaded.

#include <cstdint>
#include <vector>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class DeleteCommand {
  public:
    explicit DeleteCommand(CommandContext& context) : context_(context) {}

    void add(CLI::App& parent, int& exitCode);

    static int deleteFiles(const CommandContext& context, const std::vector<std::int64_t>& fileIDs);
    static int deleteAll(const CommandContext& context);

  private:
    CommandContext& context_;
    std::vector<std::int64_t> fileIDs_;
    bool all_ = false;
};

}  // namespace pagewell::cli

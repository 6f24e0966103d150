#pragma once
// `pagewell pdf render FILE...|--id ID [--no-annotations] --page N [--width W] [--layout
// single|double|cover]
// [--highlight KEYWORD] -o OUT`: draws one page as the viewer's page view shows it in the
// chosen layout (single pages upright; spreads and the cover layout as on a landscape screen),
// with the keyword's hits highlighted (and, with --annotations SET, the set's drawings of
// that page over it), and writes the PNG through a temporary file.
//
// One FILE and -o naming a file: that PNG. Several FILEs, or -o naming a directory: each file's
// page into that directory as NAME-N.png, NAME being the file's name without ".pdf" through
// the file-name sanitiser ("_2", "_3" … added when two files give the same name), all in one
// process. A file that cannot be drawn gets one line on stderr and the others are still drawn;
// exit code 3 then. With --json: one document per file, or {"files": [...]} for several.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class PdfRenderCommand {
  public:
    struct Options {
        std::vector<std::string> paths;
        int page = 1;
        // Width of the viewer's strip in pixels; by default the page's own width for single
        // pages and twice that for spreads.
        std::optional<int> width;
        std::string layout = "single";
        std::string highlight;
        // An annotation set whose objects of the page are drawn over it.
        std::string annotations;
        // A downloaded catalogue file instead of FILE: drawn with the signed-in user's
        // annotations unless `noAnnotations`.
        std::optional<std::int64_t> fileID;
        bool noAnnotations = false;
        std::string output;
    };

    explicit PdfRenderCommand(CommandContext& context) : context_(context) {}

    // Adds `render` to the `pdf` command; stores the exit code in `exitCode`.
    void add(CLI::App& pdf, int& exitCode);

    static int run(const CommandContext& context, const Options& options);

  private:
    CommandContext& context_;
    Options options_;
};

}  // namespace pagewell::cli

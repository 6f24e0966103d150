#pragma once
// `pagewell pdf grep KEYWORD PATH... [-r] [-c|--count]`: searches many PDF files in one
// process, the files spread over every processor, and prints what it found in the order of
// the operands, each file as soon as it and every file before it are done:
//   FILE:PAGE: words around the MATCH here [x 72.0 y 140.5 w 18.2 h 11.0]
// (no "FILE:" when a single file operand is searched, as grep does), or with --count one
// "FILE:COUNT" line per file. With --json: {"files": [...]}, one `pdf search --json` document
// per file with its "file" added ("count" in place of "pages" with --count; "error" for a file
// that failed). Matching is that of `pdf search`: case-insensitive, across strings and lines.
// A file that cannot be searched gets one line on stderr and the others are still searched.
// Exit codes: 0 something was found, 1 nothing was found, 3 some file failed, 2 usage.

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class PdfGrepCommand {
  public:
    struct Options {
        std::string keyword;
        std::vector<std::string> paths;
        bool recursive = false;
        bool count = false;
    };

    explicit PdfGrepCommand(CommandContext& context) : context_(context) {}

    // Adds `grep` to the `pdf` command; stores the exit code in `exitCode`.
    void add(CLI::App& pdf, int& exitCode);

    static int run(const CommandContext& context, const Options& options);

  private:
    CommandContext& context_;
    Options options_;
};

}  // namespace pagewell::cli

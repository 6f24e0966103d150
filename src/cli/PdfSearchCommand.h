#pragma once
// `pagewell pdf search FILE KEYWORD`: the pages with hits and, per hit, the words around it
// (the match marked on a terminal) and its rectangle on the displayed page, with a progress bar
// on long documents. With --json each hit's rectangle in the space of its transform, as the
// viewer's overlay draws it. Works on any local PDF; needs no store and no sign-in.

#include <string>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class PdfSearchCommand {
  public:
    explicit PdfSearchCommand(CommandContext& context) : context_(context) {}

    // Adds `search` to the `pdf` command; stores the exit code in `exitCode`.
    void add(CLI::App& pdf, int& exitCode);

    static int run(const CommandContext& context, const std::string& path,
                   const std::string& keyword);

  private:
    CommandContext& context_;
    std::string path_;
    std::string keyword_;
};

}  // namespace pagewell::cli

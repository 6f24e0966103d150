#pragma once
// `pagewell pdf search FILE KEYWORD`: the pages with hits and each hit's rectangle in the space
// of its transform, with a progress bar on long documents. Works on any local PDF; needs no
// store and no sign-in.

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

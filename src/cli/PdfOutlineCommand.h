#pragma once
// `pagewell pdf outline FILE`: the document outline as a flat list of titles with their depth
// and target page (-1 when the target cannot be resolved); null with --json when the file has
// no outline.

#include <string>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class PdfOutlineCommand {
  public:
    explicit PdfOutlineCommand(CommandContext& context) : context_(context) {}

    // Adds `outline` to the `pdf` command; stores the exit code in `exitCode`.
    void add(CLI::App& pdf, int& exitCode);

    static int run(const CommandContext& context, const std::string& path);

  private:
    CommandContext& context_;
    std::string path_;
};

}  // namespace pagewell::cli

#pragma once
// `pagewell pdf info FILE`: the number of pages and, per page, the visible box (crop box ∩
// media box), the rotation reduced into 0..359 and the displayed size. Works on any local PDF;
// needs no store and no sign-in.

#include <string>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class PdfInfoCommand {
  public:
    explicit PdfInfoCommand(CommandContext& context) : context_(context) {}

    // Adds `info` to the `pdf` command; stores the exit code in `exitCode`.
    void add(CLI::App& pdf, int& exitCode);

    static int run(const CommandContext& context, const std::string& path);

    // Opens `path` as the engine's open document; on failure reports one line naming the file
    // and returns false.
    static bool openDocument(const CommandContext& context, const std::string& path);

  private:
    CommandContext& context_;
    std::string path_;
};

}  // namespace pagewell::cli

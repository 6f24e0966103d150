#pragma once
// `pagewell pdf text FILE --page N`: every string the text operators of a page show, decoded
// by its font the way the search sees it, with the font's resource name — for diagnosing
// fonts that search cannot read.

#include <string>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class PdfTextCommand {
  public:
    explicit PdfTextCommand(CommandContext& context) : context_(context) {}

    void add(CLI::App& pdf, int& exitCode);

    static int run(const CommandContext& context, const std::string& path, int page);

  private:
    CommandContext& context_;
    std::string path_;
    int page_ = 1;
};

}  // namespace pagewell::cli

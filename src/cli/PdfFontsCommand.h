#pragma once
// `pagewell pdf fonts FILE --page N`: each font resource of a page (inherited resources
// included) with its class, text encoding, whether it has a ToUnicode map, and where its widths
// come from — for diagnosing pages whose text search misses or misplaces hits.

#include <string>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class PdfFontsCommand {
  public:
    explicit PdfFontsCommand(CommandContext& context) : context_(context) {}

    void add(CLI::App& pdf, int& exitCode);

    static int run(const CommandContext& context, const std::string& path, int page);

  private:
    CommandContext& context_;
    std::string path_;
    int page_ = 1;
};

}  // namespace pagewell::cli

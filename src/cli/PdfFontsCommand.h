#pragma once
// `pagewell pdf fonts FILE --page N`: each font resource of a page (inherited resources
// included) with its class, text encoding, whether it has a ToUnicode map, and where its widths
// come from — for diagnosing pages whose text search misses or misplaces hits.

#include <string>

#include "cli/PdfPageCommand.h"

namespace pagewell::cli {

class PdfFontsCommand : public PdfPageCommand {
  public:
    explicit PdfFontsCommand(CommandContext& context) : PdfPageCommand(context) {}

    void add(CLI::App& pdf, int& exitCode);

    static int run(const CommandContext& context, const std::string& path, int page);
};

}  // namespace pagewell::cli

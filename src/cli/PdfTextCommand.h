#pragma once
// `pagewell pdf text FILE --page N`: every string the text operators of a page show, decoded
// by its font the way the search sees it, with the font's resource name — for diagnosing
// fonts that search cannot read.

#include <string>

#include "cli/PdfPageCommand.h"

namespace pagewell::cli {

class PdfTextCommand : public PdfPageCommand {
  public:
    explicit PdfTextCommand(CommandContext& context) : PdfPageCommand(context) {}

    void add(CLI::App& pdf, int& exitCode);

    static int run(const CommandContext& context, const std::string& path, int page);
};

}  // namespace pagewell::cli

#pragma once
// What the `pagewell pdf NAME FILE --page N` diagnostics share: the subcommand with its FILE
// and --page options, and opening the named page with the failures reported the same way.
// A command derives from it and registers itself with addSubcommand().

#include <memory>
#include <optional>
#include <string>

#include "pdfkit/PdfPage.h"

namespace CLI {
class App;
}

namespace pagewell {
class PdfDocumentHandle;
}

namespace pagewell::cli {

struct CommandContext;

class PdfPageCommand {
  public:
    // A page together with the document that must outlive it.
    struct OpenedPage {
        std::shared_ptr<PdfDocumentHandle> document;
        PdfPage page;
    };

    // Opens `path` and its page `page`; an unreadable file or a missing page is reported through
    // the context's output and gives nothing.
    static std::optional<OpenedPage> open(const CommandContext& context, const std::string& path,
                                          int page);

  protected:
    using Run = int (*)(const CommandContext& context, const std::string& path, int page);

    explicit PdfPageCommand(CommandContext& context) : context_(context) {}

    // Adds `name` under `pdf` with a required FILE and `--page` from 1; running it stores what
    // `run` returns in `exitCode`. This command and `exitCode` must outlive the parse.
    void addSubcommand(CLI::App& pdf, const std::string& name, const std::string& description,
                       int& exitCode, Run run);

  private:
    CommandContext& context_;
    std::string path_;
    int page_ = 1;
};

}  // namespace pagewell::cli

#include "cli/PdfPageCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>

#include "cli/CommandContext.h"
#include "pdfkit/PdfDocumentHandle.h"

namespace pagewell::cli {

void PdfPageCommand::addSubcommand(CLI::App& pdf, const std::string& name,
                                   const std::string& description, int& exitCode, Run run) {
    CLI::App* command = pdf.add_subcommand(name, description);
    command->add_option("FILE", path_, "The PDF file")->required();
    command->add_option("--page", page_, "Page number, from 1")->check(CLI::PositiveNumber);
    command->callback([this, &exitCode, run] { exitCode = run(context_, path_, page_); });
}

std::optional<PdfPageCommand::OpenedPage> PdfPageCommand::open(const CommandContext& context,
                                                               const std::string& path, int page) {
    auto opened = PdfDocumentHandle::createWithPath(path);
    if (!opened.ok()) {
        context.output.failure(fmt::format("{}: {}", path, opened.error().description),
                               &opened.error());
        return std::nullopt;
    }
    auto document = opened.value();
    auto pdfPage = document->page(page);
    if (!pdfPage) {
        context.output.failure(fmt::format("{}: there is no page {} (the document has {})", path,
                                           page, document->numberOfPages()));
        return std::nullopt;
    }
    return OpenedPage{std::move(document), std::move(*pdfPage)};
}

}  // namespace pagewell::cli

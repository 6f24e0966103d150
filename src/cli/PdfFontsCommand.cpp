#include "cli/PdfFontsCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "cli/PdfPageCommand.h"
#include "cli/TerminalText.h"
#include "pdfkit/VXPDFFontManager.h"

namespace pagewell::cli {

void PdfFontsCommand::add(CLI::App& pdf, int& exitCode) {
    addSubcommand(pdf, "fonts",
                  "List a page's fonts: class, encoding, ToUnicode map and width source", exitCode,
                  run);
}

int PdfFontsCommand::run(const CommandContext& context, const std::string& path, int page) {
    auto opened = PdfPageCommand::open(context, path, page);
    if (!opened) {
        return kExitFailure;
    }

    auto manager = VXPDFFontManager::withPage(opened->page);
    nlohmann::json fonts = nlohmann::json::array();
    std::string text;
    for (const auto& [name, font] : manager.fonts()) {
        const bool toUnicode = font->toUnicode() != nullptr;
        const std::string encoding(VXPDFTextEncoding::displayName(font->encoding()));
        fonts.push_back({{"name", name},
                         {"class", font->className()},
                         {"baseFont", font->baseFont()},
                         {"encoding", encoding},
                         {"toUnicode", toUnicode},
                         {"widths", font->widthSource()}});
        text += fmt::format("{}\t{}\t{}\tencoding {}\tToUnicode {}\twidths {}\n",
                            TerminalText::escape(name), font->className(),
                            font->baseFont().empty() ? "-" : TerminalText::escape(font->baseFont()),
                            encoding, toUnicode ? "yes" : "no", font->widthSource());
    }
    context.output.result(text.empty() ? fmt::format("page {} has no fonts\n", page) : text, fonts);
    return kExitSuccess;
}

}  // namespace pagewell::cli

#include "cli/PdfSearchCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "cli/PdfHitText.h"
#include "cli/TerminalProgress.h"
#include "cli/TerminalText.h"
#include "pdfkit/PdfSearchRun.h"
#include "pdfkit/VXPDFSelectionManager.h"
#include "platform/MainQueue.h"

namespace pagewell::cli {

namespace {

// A generous bound for one search: the run checks its stop flag between pages.
constexpr auto kSearchTimeout = std::chrono::hours(1);

}  // namespace

void PdfSearchCommand::add(CLI::App& pdf, int& exitCode) {
    CLI::App* search = pdf.add_subcommand("search", "Find a keyword on every page of a PDF file");
    search->add_option("FILE", path_, "The PDF file")->required();
    search->add_option("KEYWORD", keyword_, "The word or phrase to find")->required();
    search->callback([this, &exitCode] { exitCode = run(context_, path_, keyword_); });
}

int PdfSearchCommand::run(const CommandContext& context, const std::string& path,
                          const std::string& keyword) {
    auto manager = std::make_shared<VXPDFSelectionManager>();
    PdfSearchRun::Options options;
    options.describeHits = true;
    auto search = PdfSearchRun::create(path, manager, options);
    TerminalProgress progress("pages");
    bool done = false;
    std::optional<Error> failure;
    std::vector<int> pages;
    PdfSearchRun::Callbacks callbacks;
    callbacks.progress = [&](double) {
        progress.update(search->pagesScanned(), search->pageCount());
    };
    callbacks.finished = [&](const std::vector<int>& found) {
        pages = found;
        done = true;
    };
    callbacks.failed = [&](const Error& error) {
        failure = error;
        done = true;
    };
    search->start(keyword, callbacks);
    if (!MainQueue::shared().runUntil([&] { return done; }, kSearchTimeout)) {
        search->stop();
        progress.finish();
        context.output.failure("the search did not finish in time");
        return kExitFailure;
    }
    progress.finish();
    if (failure) {
        context.output.failure(fmt::format("{}: {}", path, failure->description), &*failure);
        return kExitFailure;
    }

    nlohmann::json document = {{"keyword", keyword}, {"pages", nlohmann::json::array()}};
    std::string text;
    std::size_t hitCount = 0;
    const bool marked = !context.output.json() && PdfHitText::markingWanted();
    for (int page : pages) {
        const auto selections = manager->getPDFSelectionsForPage(page);
        nlohmann::json hits = nlohmann::json::array();
        text += fmt::format("page {}: {} {}\n", page, selections.size(),
                            selections.size() == 1 ? "hit" : "hits");
        for (const VXPDFSelection& selection : selections) {
            hits.push_back(PdfHitText::hitJson(selection.rect(), selection.transform()));
            text += fmt::format("  {} {}\n", PdfHitText::context(selection.description(), marked),
                                PdfHitText::pageRect(selection.description().pageSpaceRect));
        }
        hitCount += selections.size();
        document["pages"].push_back({{"page", page}, {"hits", std::move(hits)}});
    }
    if (pages.empty()) {
        text = fmt::format("\"{}\" was not found\n", TerminalText::escape(keyword));
    } else {
        text += fmt::format("{} {} on {} {}\n", hitCount, hitCount == 1 ? "hit" : "hits",
                            pages.size(), pages.size() == 1 ? "page" : "pages");
    }
    if (context.output.json()) {
        context.output.result(text, document);
    } else {
        // Printed as composed: the hit texts are already free of control characters (the
        // scanner replaces them), the keyword is escaped, and the match marks are the one
        // escape sequence meant.
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }
    return kExitSuccess;
}

}  // namespace pagewell::cli

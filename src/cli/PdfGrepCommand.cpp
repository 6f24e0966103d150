#include "cli/PdfGrepCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "cli/PdfHitText.h"
#include "cli/PdfPathList.h"
#include "cli/TerminalProgress.h"
#include "cli/TerminalText.h"
#include "pdfkit/PdfMultiFileSearch.h"
#include "platform/Clock.h"
#include "platform/MainQueue.h"

namespace pagewell::cli {

namespace {

// A bound for the whole run that no real folder reaches; each page has its own work bound.
constexpr auto kRunTimeout = std::chrono::hours(24 * 30);
// Runs shorter than this show no progress.
constexpr auto kProgressDelay = std::chrono::seconds(1);

// A path or message as one field of a line: control characters shown as escapes.
std::string oneLine(const std::string& text) {
    return TerminalText::escape(text);
}

// The files array of --json, written element by element so that results stream like the text.
class JsonFilesWriter {
  public:
    void begin() { std::fputs("{\n  \"files\": [", stdout); }
    void add(const nlohmann::json& file) {
        std::fputs(first_ ? "\n" : ",\n", stdout);
        first_ = false;
        const std::string dumped =
            file.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        std::string indented = "    ";
        for (char c : dumped) {
            indented.push_back(c);
            if (c == '\n') {
                indented += "    ";
            }
        }
        std::fputs(indented.c_str(), stdout);
    }
    void end() { std::fputs(first_ ? "]\n}\n" : "\n  ]\n}\n", stdout); }

  private:
    bool first_ = true;
};

nlohmann::json errorJson(const std::string& path, const std::string& message, const Error* error) {
    nlohmann::json document = {{"file", path}, {"error", {{"message", message}}}};
    if (error != nullptr) {
        document["error"]["domain"] = error->domain;
        document["error"]["code"] = error->code;
        document["error"]["description"] = error->description;
    }
    return document;
}

}  // namespace

void PdfGrepCommand::add(CLI::App& pdf, int& exitCode) {
    CLI::App* grep = pdf.add_subcommand(
        "grep", "Find a keyword in many PDF files at once, in the order they are named");
    grep->add_option("KEYWORD", options_.keyword, "The word or phrase to find")->required();
    grep->add_option("PATH", options_.paths, "PDF files, or folders with -r")->required();
    grep->add_flag("-r,--recursive", options_.recursive,
                   "Search the PDF files (named *.pdf) in folders and their subfolders");
    grep->add_flag("-c,--count", options_.count, "Print only the number of hits per file");
    grep->callback([this, &exitCode] { exitCode = run(context_, options_); });
}

int PdfGrepCommand::run(const CommandContext& context, const Options& options) {
    const std::vector<PdfPathList::Entry> entries =
        PdfPathList::expand(options.paths, options.recursive);
    // Like grep: file names are shown unless one file operand is all there is.
    const bool withNames = !(options.paths.size() == 1 && entries.size() == 1 &&
                             entries.front().path == options.paths.front());
    const bool json = context.output.json();
    const bool marked = !json && !options.count && PdfHitText::markingWanted();

    std::vector<std::string> searched;
    std::vector<std::size_t> entryOf;  // entry index of each searched file
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].error) {
            entryOf.push_back(i);
            searched.push_back(entries[i].path);
        }
    }

    JsonFilesWriter jsonFiles;
    if (json) {
        jsonFiles.begin();
    }
    std::size_t failed = 0;
    bool found = false;
    std::size_t nextEntry = 0;  // entries before it have been reported
    auto reportFailure = [&](const std::string& path, const std::string& message,
                             const Error* error) {
        ++failed;
        context.output.note(fmt::format("pagewell: {}: {}", oneLine(path), oneLine(message)));
        if (json) {
            jsonFiles.add(errorJson(path, message, error));
        }
    };
    auto reportWalkErrorsBefore = [&](std::size_t entry) {
        for (; nextEntry < entry; ++nextEntry) {
            if (entries[nextEntry].error) {
                reportFailure(entries[nextEntry].path, *entries[nextEntry].error, nullptr);
            }
        }
    };

    auto report = [&](const std::string& path, const PdfFileSearch::Findings& findings) {
        found = found || findings.hitCount > 0;
        const std::string prefix = withNames ? oneLine(path) + ":" : "";
        if (json) {
            nlohmann::json document = {{"file", path}, {"keyword", options.keyword}};
            if (options.count) {
                document["count"] = findings.hitCount;
            } else {
                nlohmann::json pages = nlohmann::json::array();
                for (const PdfFileSearch::Page& page : findings.pages) {
                    nlohmann::json hits = nlohmann::json::array();
                    for (const PdfFileSearch::Hit& hit : page.hits) {
                        hits.push_back(PdfHitText::hitJson(hit.rect, hit.transform));
                    }
                    pages.push_back({{"page", page.number}, {"hits", std::move(hits)}});
                }
                document["pages"] = std::move(pages);
            }
            jsonFiles.add(document);
            return;
        }
        if (options.count) {
            std::fprintf(stdout, "%s%zu\n", prefix.c_str(), findings.hitCount);
            return;
        }
        std::string text;
        for (const PdfFileSearch::Page& page : findings.pages) {
            for (const PdfFileSearch::Hit& hit : page.hits) {
                text += fmt::format("{}{}: {} {}\n", prefix, page.number,
                                    PdfHitText::context(hit.description, marked),
                                    PdfHitText::pageRect(hit.description.pageSpaceRect));
            }
        }
        std::fputs(text.c_str(), stdout);
    };

    PdfMultiFileSearch::Options searchOptions;
    searchOptions.file.countOnly = options.count;
    auto search = PdfMultiFileSearch::create(searched, options.keyword, searchOptions);
    TerminalProgress progress("files");
    const SystemTime started = Clock::shared().now();
    bool done = false;
    PdfMultiFileSearch::Callbacks callbacks;
    callbacks.fileDone = [&](std::size_t index, const Result<PdfFileSearch::Findings>& result) {
        progress.finish();
        const std::size_t entry = entryOf[index];
        reportWalkErrorsBefore(entry);
        nextEntry = entry + 1;
        if (result.ok()) {
            report(searched[index], result.value());
        } else {
            reportFailure(searched[index], result.error().description, &result.error());
        }
        std::fflush(stdout);
        if (Clock::shared().now() - started >= kProgressDelay) {
            progress.update(static_cast<long>(index + 1), static_cast<long>(searched.size()));
        }
    };
    callbacks.finished = [&] { done = true; };
    search->start(callbacks);
    if (!MainQueue::shared().runUntil([&] { return done; }, kRunTimeout)) {
        search->stop();
        progress.finish();
        context.output.note("pagewell: the search did not finish in time");
        return kExitFailure;
    }
    progress.finish();
    reportWalkErrorsBefore(entries.size());
    if (json) {
        jsonFiles.end();
    }
    std::fflush(stdout);
    if (failed > 0) {
        return kExitPartialFailure;
    }
    return found ? kExitSuccess : kExitNothingFound;
}

}  // namespace pagewell::cli

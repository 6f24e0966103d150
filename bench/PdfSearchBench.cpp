// Keyword search over the real-world corpus (the text and brochure files of
// ../shared/corpus/MANIFEST.tsv), in pages per second, against the peer pipeline
// `pdftotext FILE - | grep -ci KEYWORD` over the same files. Both are timed on the wall
// clock (the pipeline's work happens in child processes), and each reports a pages_per_second
// rate: the search's rate divided by the pipeline's is the figure to watch (aim: 1.0 or more).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfFontCache.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFScanner.h"

namespace {

constexpr const char* kKeyword = "the";

std::filesystem::path corpusDirectory() {
    if (const char* configured = std::getenv("PAGEWELL_CORPUS")) {
        return configured;
    }
    return PAGEWELL_SEARCH_BENCH_CORPUS;
}

struct CorpusFile {
    std::string path;
    int pages = 0;
};

// Text-bearing corpus files that open; the same list for both benchmarks.
const std::vector<CorpusFile>& searchCorpus() {
    static const std::vector<CorpusFile> files = [] {
        std::vector<CorpusFile> result;
        std::ifstream manifest(corpusDirectory() / "MANIFEST.tsv");
        std::string line;
        std::getline(manifest, line);  // header
        while (std::getline(manifest, line)) {
            std::vector<std::string> fields;
            std::stringstream stream(line);
            for (std::string field; std::getline(stream, field, '\t');) {
                fields.push_back(field);
            }
            if (fields.size() < 7 || (fields[6] != "text" && fields[6] != "brochure")) {
                continue;
            }
            const std::string path = (corpusDirectory() / fields[0]).string();
            auto document = pagewell::PdfDocumentHandle::createWithPath(path);
            if (document.ok() && document.value()->numberOfPages() > 0) {
                result.push_back({path, document.value()->numberOfPages()});
            }
        }
        return result;
    }();
    return files;
}

void BM_PdfSearchCorpusPages(benchmark::State& state) {
    const auto& files = searchCorpus();
    if (files.empty()) {
        state.SkipWithError("no corpus (set PAGEWELL_CORPUS)");
        return;
    }
    long pages = 0;
    std::size_t hits = 0;
    for (auto _ : state) {
        for (const CorpusFile& file : files) {
            auto document = pagewell::PdfDocumentHandle::createWithPath(file.path);
            if (!document.ok()) {
                continue;
            }
            auto fonts = std::make_shared<pagewell::PdfFontCache>();
            for (int number = 1; number <= file.pages; ++number) {
                if (auto page = document.value()->page(number)) {
                    pagewell::VXPDFScanner scanner(fonts);
                    scanner.setKeyword(kKeyword);
                    scanner.scanPage(*page);
                    hits += scanner.selectionsArray().size();
                }
                ++pages;
            }
        }
    }
    benchmark::DoNotOptimize(hits);
    state.counters["pages_per_second"] =
        benchmark::Counter(static_cast<double>(pages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PdfSearchCorpusPages)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_FloorPdftotextGrepCorpusPages(benchmark::State& state) {
    const auto& files = searchCorpus();
    if (files.empty()) {
        state.SkipWithError("no corpus (set PAGEWELL_CORPUS)");
        return;
    }
    long pages = 0;
    for (auto _ : state) {
        for (const CorpusFile& file : files) {
            const std::string command =
                "pdftotext -q '" + file.path + "' - | grep -ci '" + kKeyword + "' >/dev/null";
            benchmark::DoNotOptimize(std::system(command.c_str()));
            pages += file.pages;
        }
    }
    state.counters["pages_per_second"] =
        benchmark::Counter(static_cast<double>(pages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FloorPdftotextGrepCorpusPages)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace

// Runs the benchmarks and prints, for each one measured against a floor in the same run,
// how many times slower than the floor it is.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

// Pairs each benchmark with the floor it is compared to.
const std::map<std::string, std::string> kFloors = {
    {"BM_LogLineThroughFacadeAndRotatingFile", "BM_FloorFormattedLineWithStdio"},
    {"BM_FindOrCreateFilesInOneBatch", "BM_FloorPlainInsertsOfTheSameRows"},
    {"BM_FindOrCreateFilesWithStateSortingAndCategory", "BM_FloorPlainInsertsOfTheSameRows"},
    {"BM_PdfSearchCorpusPages", "BM_FloorPdftotextGrepCorpusPages"},
    {"BM_PdfRenderFirstPageToPng", "BM_FloorPdftoppmFirstPageToPng"},
    // Time ratio: 0.67 or less is 1.5 times as fast as pdfgrep.
    {"BM_PdfGrepCountCorpusOneProcess", "BM_FloorPdfgrepCountCorpusOneProcess"},
    {"BM_FirstImportOfSyntheticCatalogue", "BM_FloorFetchParseInsertSameRows"},
    // A sync with nothing to do, as a share of the first import.
    {"BM_SecondSyncWithNoChange", "BM_FirstImportOfSyntheticCatalogue"},
    // Time ratio: throughput relative to curl is its inverse.
    {"BM_DownloadAllFilesThroughSyncManager", "BM_FloorCurlParallelSameAddresses"},
    {"BM_CmsServesDownloadSetToCurl", "BM_FloorPythonServesDownloadSetToCurl"},
    {"BM_ShelfRefreshSearchAllFiles", "BM_FloorShelfRefreshRawSqlite"},
    {"BM_ShelfSearchAsYouType", "BM_FloorShelfSearchAsYouTypeRaw"},
    {"BM_StartupVersion", "BM_FloorPdftotextOnePage"},
    {"BM_StartupStatus", "BM_FloorPdftotextOnePage"},
    {"BM_StartupPdfSearchOnePage", "BM_FloorPdftotextOnePage"},
};

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            // Floors that run peer tools as child processes spend their time outside this
            // process, so such pairs are compared by wall-clock time (UseRealTime).
            const std::string name = run.benchmark_name();
            // Process-level pairs report the child's CPU time as manual time.
            const bool realTime = name.find("/real_time") != std::string::npos ||
                                  name.find("/manual_time") != std::string::npos;
            const std::string base = name.substr(0, name.find('/'));
            timePerIteration_[base] =
                realTime ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
            if (auto rate = run.counters.find("bytes_per_second"); rate != run.counters.end()) {
                megabytesPerSecond_[base] = rate->second.value / 1e6;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [name, floor] : kFloors) {
            auto measured = timePerIteration_.find(name);
            auto base = timePerIteration_.find(floor);
            if (measured != timePerIteration_.end() && base != timePerIteration_.end() &&
                base->second > 0) {
                std::printf("ratio %s / %s = %.2f", name.c_str(), floor.c_str(),
                            measured->second / base->second);
                // Throughput beside a time ratio shows when both sides were held back alike.
                auto rate = megabytesPerSecond_.find(name);
                auto floorRate = megabytesPerSecond_.find(floor);
                if (rate != megabytesPerSecond_.end() && floorRate != megabytesPerSecond_.end()) {
                    std::printf(" (%.1f MB/s against %.1f MB/s)", rate->second, floorRate->second);
                }
                std::printf("\n");
            }
        }
    }

  private:
    std::map<std::string, double> timePerIteration_;
    std::map<std::string, double> megabytesPerSecond_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

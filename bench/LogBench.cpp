// How much the log path costs per line: the facade, the line format and the rotating file
// sink together, against a floor of writing the same bytes with stdio in the same run.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "diag/RotatingFileLogSink.h"
#include "diag/VXLumberJackFormatter.h"
#include "platform/Logger.h"

namespace {

std::filesystem::path freshDirectory(const char* name) {
    std::string pattern = (std::filesystem::temp_directory_path() / name).string() + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    return pattern;
}

const std::string kText = "Import of category 4711 finished with 128 files in 0.2531 s";

void BM_LogLineThroughFacadeAndRotatingFile(benchmark::State& state) {
    auto directory = freshDirectory("pagewell-bench-log");
    auto sink = std::make_shared<pagewell::RotatingFileLogSink>(directory);
    pagewell::Logger::shared().addSink(sink);
    for (auto _ : state) {
        PW_LOG_INFO("{}", kText);
    }
    pagewell::Logger::shared().removeSink(sink);
    sink.reset();
    std::filesystem::remove_all(directory);
    state.SetItemsProcessed(state.iterations());
}

// The floor: the same formatted line appended with fputs, no rotation checks.
void BM_FloorFormattedLineWithStdio(benchmark::State& state) {
    auto directory = freshDirectory("pagewell-bench-floor");
    std::FILE* file = std::fopen((directory / "floor.log").c_str(), "a");
    pagewell::VXLumberJackFormatter formatter;
    pagewell::LogMessage message{pagewell::LogFlag::Info,
                                 pagewell::Clock::shared().now(),
                                 "LogBench",
                                 "BM_FloorFormattedLineWithStdio",
                                 42,
                                 kText};
    for (auto _ : state) {
        message.timestamp = pagewell::Clock::shared().now();
        std::string line = formatter.formatLogMessage(message);
        line.push_back('\n');
        std::fputs(line.c_str(), file);
        // Keep the floor's file from growing without bound, as rotation does for the sink.
        if (std::ftell(file) > 1'048'576) {
            std::freopen((directory / "floor.log").c_str(), "w", file);
        }
    }
    std::fclose(file);
    std::filesystem::remove_all(directory);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_FloorFormattedLineWithStdio);
BENCHMARK(BM_LogLineThroughFacadeAndRotatingFile);

}  // namespace

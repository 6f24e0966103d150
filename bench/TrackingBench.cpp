// What one usage event costs: the facade and three service trackers recording into the
// event log, against appending the same already serialised lines with write(2) in the same run.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tracking/EventLogAnalyticsClient.h"
#include "tracking/TrackEvent.h"
#include "tracking/TrackingManager.h"

namespace {

std::filesystem::path freshDirectory(const char* name) {
    std::string pattern = (std::filesystem::temp_directory_path() / name).string() + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    return pattern;
}

const nlohmann::json kConfig = {
    {"countly", {{"apiKey", "bench-key"}, {"url", "https://analytics.example.net"}}},
    {"google", {{"apiKey", "UA-0000-1"}}}};

void BM_TrackEventThroughFacadeAndThreeTrackers(benchmark::State& state) {
    auto directory = freshDirectory("pagewell-bench-tracking");
    pagewell::TrackingManager manager;
    auto client = std::make_shared<pagewell::EventLogAnalyticsClient>(directory / "events.jsonl");
    manager.configure(
        client, [] { return true; }, [] { return std::string("English"); }, true);
    manager.setupTrackingWithConfigDict(kConfig);
    pagewell::TrackEvent event(4, "ID - 4711, Title - Service manual", std::nullopt, "SyncView");
    for (auto _ : state) {
        manager.shouldTrackEvent(event);
    }
    std::filesystem::remove_all(directory);
    state.SetItemsProcessed(state.iterations());
}

// The floor: the four lines one event produces, serialised once, appended with write(2).
void BM_FloorSameLinesWithWrite(benchmark::State& state) {
    auto directory = freshDirectory("pagewell-bench-tracking-floor");
    const auto file = directory / "events.jsonl";
    std::vector<std::string> lines;
    {
        pagewell::TrackingManager manager;
        auto client = std::make_shared<pagewell::EventLogAnalyticsClient>(file);
        manager.configure(
            client, [] { return true; }, [] { return std::string("English"); }, true);
        manager.setupTrackingWithConfigDict(kConfig);
        manager.shouldTrackEvent(
            pagewell::TrackEvent(4, "ID - 4711, Title - Service manual", std::nullopt, "SyncView"));
        std::FILE* in = std::fopen(file.c_str(), "r");
        char buffer[4096];
        while (in && std::fgets(buffer, sizeof buffer, in))
            lines.emplace_back(buffer);
        if (in)
            std::fclose(in);
    }
    int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    for (auto _ : state) {
        for (const std::string& line : lines) {
            if (::write(fd, line.data(), line.size()) < 0)
                std::abort();
        }
        if (::lseek(fd, 0, SEEK_END) > 1'048'576) {
            if (::ftruncate(fd, 0) != 0)
                std::abort();
        }
    }
    ::close(fd);
    std::filesystem::remove_all(directory);
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_TrackEventThroughFacadeAndThreeTrackers);
BENCHMARK(BM_FloorSameLinesWithWrite);

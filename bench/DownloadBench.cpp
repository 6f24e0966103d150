// Downloading a whole catalogue for offline use: 200 files of 50 KB to 5 MB (about 150 MB,
// most files small) with their thumbnails, from pagewell-cms on a loopback port (a child
// process), against curl fetching the same addresses.
//
//   BM_DownloadAllFilesThroughSyncManager  a signed-in user with the catalogue imported (not
//                                          timed) downloads everything: SyncManager's
//                                          download-all (token renewal, category walk, queue of
//                                          4 FileDownloadOperations, store updates)
//   BM_FloorCurlParallelSameAddresses      `curl --parallel --parallel-max 4` fetching every
//                                          address the app fetched (read from the server's
//                                          request log) into files
//
// Both time wall-clock (real) time; `bytes_per_second` is the figure to compare (the printed
// ratio is the time ratio, so throughput relative to curl is its inverse; both throughputs are
// printed beside it in MB/s, so a floor that the server holds back shows); `client_cpu_ms` is
// the CPU time per run of the app's process, or of curl (ProcessCpu). `peak_MiB` and
// `growth_MiB` (PeakMemory) are the client's resident high-water mark during the downloads
// and how far above its start it went: downloads stream to disk, so neither should follow the
// file sizes.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchClient.h"
#include "CmsProcess.h"
#include "CurlParallel.h"
#include "DiskUsage.h"
#include "PeakMemory.h"
#include "ProcessCpu.h"
#include "library/CategoryFilterType.h"
#include "net/InterfaceManager.h"
#include "platform/MainQueue.h"
#include "sync/SyncManager.h"

namespace {

using pagewell::Status;
using pagewell::SyncManager;
using pagewell::bench::BenchClient;
using pagewell::bench::bytesBelow;
using pagewell::bench::CmsProcess;
using pagewell::bench::CurlParallel;
using pagewell::bench::PeakMemory;
using pagewell::bench::ProcessCpu;

constexpr int kFiles = 200;
constexpr const char* kSmallest = "50000";
constexpr const char* kLargest = "5000000";
constexpr const char* kUser = "demo";
constexpr const char* kPassword = "demo";
constexpr const char* kRedactedToken = "token=<redacted>";

// The server, started once for both benchmarks and stopped at exit.
CmsProcess* server(benchmark::State& state) {
    return CmsProcess::sharedServer(
        state, "sized-" + std::to_string(kFiles),
        {"--synthetic", std::to_string(kFiles), "--min-size", kSmallest, "--max-size", kLargest});
}

bool succeeded(benchmark::State& state, const Status& status) {
    if (!status.ok()) {
        state.SkipWithError(status.error().description.c_str());
    }
    return status.ok();
}

// What one download-all of a freshly imported catalogue did.
struct AppRun {
    double peakMiB = 0;
    double growthMiB = 0;
    double cpuMs = 0;
    std::size_t downloaded = 0;
    std::size_t failed = 0;
    std::uintmax_t bytes = 0;
    std::vector<std::string> addresses;  // the server's log of them, tokens redacted
};

// SyncManager's download-all of everything, to its end; counts what it downloaded.
Status downloadAll(AppRun& run) {
    bool done = false;
    std::optional<SyncManager::DownloadResult> result;
    SyncManager::sharedInstance().downloadAllFilesWithFilter(
        pagewell::CategoryFilterType::All,
        [&](const SyncManager::DownloadResult& ended) {
            result = ended;
            done = true;
        },
        [](const SyncManager::FileOutcome&) {});
    BenchClient::pump([&] { return done; });
    if (!result) {
        return pagewell::Error::make("DownloadBench", 1, "the download-all did not end");
    }
    if (result->ending != SyncManager::DownloadResult::Ending::Finished) {
        return result->error.value_or(
            pagewell::Error::make("DownloadBench", 2, "the download-all ended early"));
    }
    run.downloaded = result->summary.downloaded.size();
    run.failed = result->summary.failed.size();
    if (!result->summary.failed.empty()) {
        return result->summary.failed.front().second;
    }
    return {};
}

// The addresses of the last download-all, for the floor.
std::vector<std::string>& lastAddresses() {
    static std::vector<std::string> addresses;
    return addresses;
}

// Pauses the clock of a running benchmark loop around set-up and checks; outside the loop
// (`inLoop` false) there is no clock to pause.
struct LoopClock {
    benchmark::State& state;
    bool inLoop;
    void pause() const {
        if (inLoop) {
            state.PauseTiming();
        }
    }
    void resume() const {
        if (inLoop) {
            state.ResumeTiming();
        }
    }
};

// One signed-in client with the catalogue imported, then SyncManager's download-all, timed.
bool appRun(const LoopClock& clock, CmsProcess& cms, AppRun& run) {
    benchmark::State& state = clock.state;
    clock.pause();
    auto client = BenchClient::signIn(cms.baseUrl(), kUser, kPassword);
    if (!client.ok()) {
        state.SkipWithError(client.error().description.c_str());
        return false;
    }
    SyncManager::setShared(nullptr);
    if (!succeeded(state, client.value()->syncCatalogue()) ||
        !succeeded(state, cms.clearRequests())) {
        return false;
    }
    PeakMemory memory;
    memory.start();
    ProcessCpu cpu;
    cpu.start();
    clock.resume();

    const Status ran = downloadAll(run);

    clock.pause();
    run.cpuMs = cpu.elapsedMs();
    run.peakMiB = memory.peakMiB();
    run.growthMiB = memory.growthMiB();
    if (!succeeded(state, ran)) {
        return false;
    }
    run.bytes = bytesBelow(client.value()->dataDirectory() / "data" / "Documents");
    auto targets = cms.requestTargets();
    if (!succeeded(state, targets.ok() ? Status{} : Status(targets.error()))) {
        return false;
    }
    run.addresses.clear();
    for (const auto& target : targets.value()) {
        if (target.rfind("/media/", 0) == 0) {
            run.addresses.push_back(target);
        }
    }
    SyncManager::sharedInstance().stop();
    SyncManager::setShared(nullptr);
    client.value().reset();
    clock.resume();
    return true;
}

void BM_DownloadAllFilesThroughSyncManager(benchmark::State& state) {
    CmsProcess* cms = server(state);
    if (cms == nullptr) {
        return;
    }
    double peak = 0;
    double growth = 0;
    double cpuMs = 0;
    std::uintmax_t bytes = 0;
    for (auto _ : state) {
        AppRun run;
        if (!appRun({state, true}, *cms, run)) {
            return;
        }
        if (run.downloaded != kFiles) {
            state.SkipWithError(
                ("downloaded " + std::to_string(run.downloaded) + " files").c_str());
            return;
        }
        peak = std::max(peak, run.peakMiB);
        growth = std::max(growth, run.growthMiB);
        cpuMs += run.cpuMs;
        bytes += run.bytes;
        lastAddresses() = run.addresses;
    }
    state.counters["files"] = kFiles;
    state.counters["addresses"] = static_cast<double>(lastAddresses().size());
    state.counters["peak_MiB"] = peak;
    state.counters["growth_MiB"] = growth;
    state.counters["client_cpu_ms"] = cpuMs / static_cast<double>(state.iterations());
    state.counters["bytes_per_second"] =
        benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DownloadAllFilesThroughSyncManager)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// Every address the app fetched, with a valid token.
std::vector<std::string> curlUrls(const std::string& baseUrl, const std::string& token) {
    std::vector<std::string> urls;
    for (std::string address : lastAddresses()) {
        if (auto at = address.find(kRedactedToken); at != std::string::npos) {
            address.replace(at, std::string(kRedactedToken).size(), "token=" + token);
        }
        urls.push_back(baseUrl + address);
    }
    return urls;
}

void BM_FloorCurlParallelSameAddresses(benchmark::State& state) {
    CmsProcess* cms = server(state);
    if (cms == nullptr) {
        return;
    }
    if (lastAddresses().empty()) {
        // Run on its own: one untimed download-all tells the addresses.
        AppRun run;
        if (!appRun({state, false}, *cms, run)) {
            return;
        }
        lastAddresses() = run.addresses;
    }
    // A valid token for the addresses: a client signs in and keeps it until the end.
    auto client = BenchClient::signIn(cms->baseUrl(), kUser, kPassword);
    if (!client.ok()) {
        state.SkipWithError(client.error().description.c_str());
        return;
    }
    const std::string token = pagewell::InterfaceManager::percentEscape(client.value()->token());

    auto curl = CurlParallel::prepare(client.value()->dataDirectory() / "curl",
                                      curlUrls(cms->baseUrl(), token));
    if (!curl.ok()) {
        state.SkipWithError(curl.error().description.c_str());
        return;
    }
    std::uintmax_t bytes = 0;
    double cpuMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ProcessCpu cpu(ProcessCpu::Of::WaitedChildren);
        cpu.start();
        state.ResumeTiming();

        const bool fetched = curl.value().run();

        state.PauseTiming();
        cpuMs += cpu.elapsedMs();
        if (!fetched) {
            state.SkipWithError("curl failed");
            return;
        }
        bytes += curl.value().takeBytes();
        state.ResumeTiming();
    }
    state.counters["addresses"] = static_cast<double>(lastAddresses().size());
    state.counters["client_cpu_ms"] = cpuMs / static_cast<double>(state.iterations());
    state.counters["bytes_per_second"] =
        benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FloorCurlParallelSameAddresses)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

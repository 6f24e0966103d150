// Serving a catalogue's files: the 200-file download set of the download benchmark (50 KB to
// 5 MB, about 150 MB) fetched by `curl --parallel --parallel-max 4` from pagewell-cms, against
// the same command fetching the same files from `python3 -m http.server` serving the same
// directory. Both servers run as child processes on loopback ports; curl writes every file.
//
//   BM_CmsServesDownloadSetToCurl        from pagewell-cms, with a valid token
//   BM_FloorPythonServesDownloadSetToCurl from python3 -m http.server
//
// Both time wall-clock (real) time; `bytes_per_second` is the throughput, `server_cpu_ms` the
// server process's CPU time per run (what serving cost it), `client_cpu_ms` curl's.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchClient.h"
#include "CmsProcess.h"
#include "CurlParallel.h"
#include "PeerHttpServer.h"
#include "ProcessCpu.h"
#include "cms/Catalogue.h"
#include "net/InterfaceManager.h"

namespace {

using pagewell::Status;
using pagewell::bench::BenchClient;
using pagewell::bench::CmsProcess;
using pagewell::bench::CurlParallel;
using pagewell::bench::PeerHttpServer;
using pagewell::bench::ProcessCpu;

constexpr int kFiles = 200;
const std::vector<std::string> kCatalogueArguments = {
    "--synthetic", std::to_string(kFiles), "--min-size", "50000", "--max-size", "5000000"};
const std::string kCatalogueName = "sized-" + std::to_string(kFiles);

// The download set: per file its address on pagewell-cms and its path below the directory.
struct DownloadSet {
    std::filesystem::path directory;
    std::vector<std::string> addresses;
    std::vector<std::string> paths;
};

const DownloadSet* downloadSet(benchmark::State& state) {
    static std::unique_ptr<DownloadSet> set;
    if (set) {
        return set.get();
    }
    auto directory = CmsProcess::cachedCatalogue(kCatalogueName, kCatalogueArguments);
    if (!directory.ok()) {
        state.SkipWithError(directory.error().description.c_str());
        return nullptr;
    }
    auto catalogue = pagewell::cms::Catalogue::load(directory.value());
    if (!catalogue.ok()) {
        state.SkipWithError(catalogue.error().description.c_str());
        return nullptr;
    }
    set = std::make_unique<DownloadSet>();
    set->directory = directory.value();
    for (const auto& file : catalogue.value().files) {
        set->addresses.push_back(file.location.empty()
                                     ? pagewell::cms::Catalogue::defaultLocation(file.id, file.path)
                                     : file.location);
        set->paths.push_back(file.path);
    }
    return set.get();
}

// Times `curl --parallel --parallel-max 4` fetching `urls` into files, once per iteration, and
// sets the counters; `server` is the serving process.
void curlParallel(benchmark::State& state, const std::vector<std::string>& urls, pid_t server) {
    // Beside the cached catalogues; what a run wrote is removed after it.
    const auto work = std::filesystem::path(PAGEWELL_BENCH_DATA_DIR) / "serve-curl";
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    auto curl = CurlParallel::prepare(work, urls);
    if (!curl.ok()) {
        state.SkipWithError(curl.error().description.c_str());
        return;
    }
    std::uintmax_t bytes = 0;
    double clientMs = 0;
    double serverMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ProcessCpu client(ProcessCpu::Of::WaitedChildren);
        ProcessCpu serving(server);
        client.start();
        serving.start();
        state.ResumeTiming();

        const bool fetched = curl.value().run();

        state.PauseTiming();
        clientMs += client.elapsedMs();
        serverMs += serving.elapsedMs();
        if (!fetched) {
            state.SkipWithError("curl failed");
            return;
        }
        bytes += curl.value().takeBytes();
        state.ResumeTiming();
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["files"] = static_cast<double>(urls.size());
    state.counters["client_cpu_ms"] = clientMs / runs;
    state.counters["server_cpu_ms"] = serverMs / runs;
    state.counters["bytes_per_second"] =
        benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsRate);
    std::filesystem::remove_all(work, ignored);
}

void BM_CmsServesDownloadSetToCurl(benchmark::State& state) {
    const DownloadSet* set = downloadSet(state);
    CmsProcess* cms =
        set ? CmsProcess::sharedServer(state, kCatalogueName, kCatalogueArguments) : nullptr;
    if (cms == nullptr) {
        return;
    }
    auto client = BenchClient::signIn(cms->baseUrl(), "demo", "demo");
    if (!client.ok()) {
        state.SkipWithError(client.error().description.c_str());
        return;
    }
    const std::string token = pagewell::InterfaceManager::percentEscape(client.value()->token());
    std::vector<std::string> urls;
    for (const auto& address : set->addresses) {
        urls.push_back(cms->baseUrl() + address + "?token=" + token);
    }
    curlParallel(state, urls, cms->pid());
}
BENCHMARK(BM_CmsServesDownloadSetToCurl)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

void BM_FloorPythonServesDownloadSetToCurl(benchmark::State& state) {
    const DownloadSet* set = downloadSet(state);
    if (set == nullptr) {
        return;
    }
    auto python = PeerHttpServer::serve(set->directory);
    if (!python.ok()) {
        state.SkipWithError(python.error().description.c_str());
        return;
    }
    std::vector<std::string> urls;
    for (const auto& path : set->paths) {
        urls.push_back(python.value()->baseUrl() + "/" + path);
    }
    curlParallel(state, urls, python.value()->pid());
}
BENCHMARK(BM_FloorPythonServesDownloadSetToCurl)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

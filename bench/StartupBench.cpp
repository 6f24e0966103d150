// Start-up: whole `pagewell` processes timed from outside, against pdftotext on the same page.
//
//   BM_StartupVersion             pagewell --version
//   BM_StartupStatus              pagewell status, in a data directory a first untimed run made
//   BM_StartupPdfSearchOnePage    pagewell pdf search PAGE KEYWORD on a one-page corpus file
//   BM_FloorPdftotextOnePage      pdftotext PAGE /dev/null
//
// Each iteration starts the command once and waits for it. The time is the child's CPU time
// (user + system, from wait4), reported as manual time: for commands this short it is loading
// and relocating shared libraries plus set-up, and it moves less with the machine's load than
// the wall clock, which is the `wall_ms` counter beside it.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

// A one-page corpus file with plain text, and a word on it.
constexpr const char* kPage = "pypdf__crazyones-pdfa.pdf";
constexpr const char* kKeyword = "crazy";

struct ProcessRun {
    bool ok = false;
    double cpuSeconds = 0;
    double wallSeconds = 0;
};

// Runs `arguments` (the first one found on PATH when it has no slash) with stdout and stderr
// thrown away and PAGEWELL_HOME set to the benchmarks' own data directory.
ProcessRun run(std::vector<std::string> arguments) {
    static const std::string home =
        "PAGEWELL_HOME=" +
        (std::filesystem::path(PAGEWELL_BENCH_DATA_DIR) / "startup-home").string();
    std::vector<char*> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::string_view(*variable).rfind("PAGEWELL_HOME=", 0) != 0) {
            environment.push_back(*variable);
        }
    }
    environment.push_back(const_cast<char*>(home.c_str()));
    environment.push_back(nullptr);
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    ProcessRun result;
    const auto started = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int failed =
        posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        return result;
    }
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    result.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

void timeProcess(benchmark::State& state, const std::vector<std::string>& arguments) {
    // One untimed run: creates the data directory, warms the page cache.
    if (!run(arguments).ok) {
        state.SkipWithError(
            ("failed (is the corpus there? set PAGEWELL_CORPUS): " + arguments.front()).c_str());
        return;
    }
    double wall = 0;
    for (auto _ : state) {
        const ProcessRun measured = run(arguments);
        if (!measured.ok) {
            state.SkipWithError(("failed: " + arguments.front()).c_str());
            return;
        }
        state.SetIterationTime(measured.cpuSeconds);
        wall += measured.wallSeconds;
    }
    state.counters["wall_ms"] = wall * 1000.0 / static_cast<double>(state.iterations());
}

// In the corpus the search benchmark reads (PAGEWELL_CORPUS overrides its place).
std::string page() {
    const char* configured = std::getenv("PAGEWELL_CORPUS");
    return (std::filesystem::path(configured ? configured : PAGEWELL_SEARCH_BENCH_CORPUS) / kPage)
        .string();
}

void BM_StartupVersion(benchmark::State& state) {
    timeProcess(state, {PAGEWELL_CLI_BINARY, "--version"});
}
void BM_StartupStatus(benchmark::State& state) {
    timeProcess(state, {PAGEWELL_CLI_BINARY, "status"});
}
void BM_StartupPdfSearchOnePage(benchmark::State& state) {
    timeProcess(state, {PAGEWELL_CLI_BINARY, "pdf", "search", page(), kKeyword});
}
void BM_FloorPdftotextOnePage(benchmark::State& state) {
    timeProcess(state, {"pdftotext", page(), "/dev/null"});
}

BENCHMARK(BM_StartupVersion)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(40);
BENCHMARK(BM_StartupStatus)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(40);
BENCHMARK(BM_StartupPdfSearchOnePage)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(40);
BENCHMARK(BM_FloorPdftotextOnePage)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(40);

}  // namespace

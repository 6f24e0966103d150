// Counting a keyword over the real-world corpus in one process: `pagewell pdf grep -c the
// FILES...` against the peer `pdfgrep -i -c the FILES...` over the same files, both as child
// processes on the wall clock (the search spreads files over every processor; pdfgrep uses one).
// The files are the corpus PDFs that pdfgrep finishes within a few seconds (a decompression
// bomb keeps it busy for minutes). The time ratio is the figure to watch (aim: 0.67 or less,
// 1.5 times as fast). Before timing, the per-file counts of both are compared once and every
// file where they differ is listed on stderr, with the files only one of them can read.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kKeyword = "the";

std::filesystem::path corpusDirectory() {
    if (const char* configured = std::getenv("PAGEWELL_CORPUS")) {
        return configured;
    }
    return PAGEWELL_GREP_BENCH_CORPUS;
}

std::filesystem::path scratchFile() {
    return std::filesystem::temp_directory_path() / "pagewell-grep-bench.out";
}

// Runs `arguments` with stdout into `output` (or /dev/null) and stderr discarded; the exit
// code, or -1 when it could not run or was killed.
int run(const std::vector<std::string>& arguments, const std::string& output = "/dev/null") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    for (auto& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = 0;
    int code = -1;
    if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
        waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        code = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    return code;
}

// "path:count" lines into a map.
std::map<std::string, long> readCounts(const std::filesystem::path& file) {
    std::map<std::string, long> counts;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const auto colon = line.rfind(':');
        if (colon != std::string::npos) {
            counts[line.substr(0, colon)] = std::strtol(line.c_str() + colon + 1, nullptr, 10);
        }
    }
    return counts;
}

std::vector<std::string> grepCommand(const std::vector<std::string>& files) {
    std::vector<std::string> command = {PAGEWELL_CLI_BINARY, "pdf", "grep", "-c", kKeyword};
    command.insert(command.end(), files.begin(), files.end());
    return command;
}

std::vector<std::string> peerCommand(const std::vector<std::string>& files) {
    std::vector<std::string> command = {"pdfgrep", "-i", "-c", kKeyword};
    command.insert(command.end(), files.begin(), files.end());
    return command;
}

// The corpus PDFs pdfgrep finishes (exit 0: found, 1: not found, 2: could not read) within
// five seconds; the counts of both tools are compared once on the way.
const std::vector<std::string>& grepCorpus() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> result;
        std::vector<std::filesystem::path> paths;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(corpusDirectory(), ec)) {
            if (entry.path().extension() == ".pdf") {
                paths.push_back(entry.path());
            }
        }
        std::sort(paths.begin(), paths.end());
        for (const auto& path : paths) {
            const int code = run({"timeout", "5", "pdfgrep", "-i", "-c", kKeyword, path.string()});
            if (code >= 0 && code <= 2) {
                result.push_back(path.string());
            }
        }
        if (result.empty()) {
            return result;
        }
        run(grepCommand(result), scratchFile().string());
        const auto ours = readCounts(scratchFile());
        run(peerCommand(result), scratchFile().string());
        const auto theirs = readCounts(scratchFile());
        int differing = 0;
        for (const std::string& file : result) {
            auto mine = ours.find(file);
            auto peer = theirs.find(file);
            if (mine == ours.end() && peer == theirs.end()) {
                continue;
            }
            if (mine == ours.end() || peer == theirs.end() || mine->second != peer->second) {
                ++differing;
                std::fprintf(
                    stderr, "count differs: %s pagewell %s pdfgrep %s\n",
                    std::filesystem::path(file).filename().c_str(),
                    mine == ours.end() ? "unreadable" : std::to_string(mine->second).c_str(),
                    peer == theirs.end() ? "unreadable" : std::to_string(peer->second).c_str());
            }
        }
        std::fprintf(stderr, "%zu files, %d with different counts\n", result.size(), differing);
        return result;
    }();
    return files;
}

void BM_PdfGrepCountCorpusOneProcess(benchmark::State& state) {
    const auto& files = grepCorpus();
    if (files.empty()) {
        state.SkipWithError("no corpus (set PAGEWELL_CORPUS) or no pdfgrep");
        return;
    }
    const auto command = grepCommand(files);
    for (auto _ : state) {
        benchmark::DoNotOptimize(run(command));
    }
    state.counters["files_per_second"] = benchmark::Counter(
        static_cast<double>(files.size() * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PdfGrepCountCorpusOneProcess)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

void BM_FloorPdfgrepCountCorpusOneProcess(benchmark::State& state) {
    const auto& files = grepCorpus();
    if (files.empty()) {
        state.SkipWithError("no corpus (set PAGEWELL_CORPUS) or no pdfgrep");
        return;
    }
    const auto command = peerCommand(files);
    for (auto _ : state) {
        benchmark::DoNotOptimize(run(command));
    }
    state.counters["files_per_second"] = benchmark::Counter(
        static_cast<double>(files.size() * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FloorPdfgrepCountCorpusOneProcess)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace

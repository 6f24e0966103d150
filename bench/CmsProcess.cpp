#include "CmsProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>

#include "BenchHttp.h"

extern char** environ;

namespace pagewell::bench {

namespace {

constexpr const char* kDomain = "CmsProcess";
constexpr const char* kListening = "listening on ";
// Building a large synthetic catalogue writes tens of thousands of files.
constexpr int kStartTimeoutMs = 60'000;

// Starts the server binary with `arguments`; its stdout goes to `stdoutFd` when given, its
// stderr (one line per problem, nothing the benchmarks read) to /dev/null.
Result<pid_t> spawn(const std::vector<std::string>& arguments, int stdoutFd) {
    std::vector<std::string> all = {PAGEWELL_CMS_BINARY};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        return Error::make(kDomain, failed, std::string("cannot start ") + PAGEWELL_CMS_BINARY);
    }
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first line the server writes, or none when it ends or stays silent too long.
std::optional<std::string> firstLine(int fd) {
    std::string line;
    char c = 0;
    while (true) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, kStartTimeoutMs) <= 0 || ::read(fd, &c, 1) != 1) {
            return std::nullopt;
        }
        if (c == '\n') {
            return line;
        }
        line.push_back(c);
    }
}

}  // namespace

Status CmsProcess::buildCatalogue(const std::filesystem::path& directory,
                                  const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {"build-demo", directory.string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    auto pid = spawn(all, -1);
    if (!pid.ok()) {
        return pid.error();
    }
    if (const int code = waitFor(pid.value()); code != 0) {
        return Error::make(kDomain, code, "pagewell-cms build-demo failed");
    }
    return {};
}

Result<std::filesystem::path> CmsProcess::cachedCatalogue(
    const std::string& name, const std::vector<std::string>& arguments) {
    const std::filesystem::path directory = std::filesystem::path(PAGEWELL_BENCH_DATA_DIR) / name;
    // The manifest is written last, so a build that was cut short is simply done again.
    if (std::filesystem::exists(directory / "catalogue.json")) {
        return directory;
    }
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    if (Status built = buildCatalogue(directory, arguments); !built.ok()) {
        return built.error();
    }
    return directory;
}

CmsProcess* CmsProcess::sharedServer(benchmark::State& state, const std::string& name,
                                     const std::vector<std::string>& arguments) {
    static std::map<std::string, std::unique_ptr<CmsProcess>> running;
    auto found = running.find(name);
    if (found == running.end()) {
        std::unique_ptr<CmsProcess> started;
        if (auto catalogue = cachedCatalogue(name, arguments); !catalogue.ok()) {
            state.SkipWithError(catalogue.error().description.c_str());
        } else if (auto served = serve(catalogue.value()); !served.ok()) {
            state.SkipWithError(served.error().description.c_str());
        } else {
            started = std::move(served).value();
        }
        found = running.emplace(name, std::move(started)).first;
    }
    if (!found->second && !state.error_occurred()) {
        state.SkipWithError("pagewell-cms is not running");
    }
    return found->second.get();
}

Result<std::unique_ptr<CmsProcess>> CmsProcess::serve(const std::filesystem::path& catalogue) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return Error::make(kDomain, errno, "no pipe");
    }
    auto pid = spawn({"serve", "--catalogue", catalogue.string(), "--port", "0", "--test-hooks",
                      "--app-secret", kAppSecret},
                     pipeFds[1]);
    ::close(pipeFds[1]);
    if (!pid.ok()) {
        ::close(pipeFds[0]);
        return pid.error();
    }
    auto line = firstLine(pipeFds[0]);
    // The server writes nothing more on stdout; a closed pipe would only matter if it did.
    ::close(pipeFds[0]);
    if (!line || line->rfind(kListening, 0) != 0) {
        ::kill(pid.value(), SIGKILL);
        waitFor(pid.value());
        return Error::make(kDomain, 2, "pagewell-cms did not start");
    }
    return std::unique_ptr<CmsProcess>(
        new CmsProcess(pid.value(), line->substr(std::string(kListening).size())));
}

CmsProcess::~CmsProcess() {
    stop();
}

void CmsProcess::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        waitFor(pid_);
        pid_ = -1;
    }
}

Result<std::vector<std::string>> CmsProcess::requestTargets() const {
    BenchHttp http;
    auto answer = http.fetch(baseUrl_ + "/__test/requests");
    if (!answer.ok()) {
        return answer.error();
    }
    auto json = nlohmann::json::parse(answer.value(), nullptr, false);
    if (!json.is_object() || !json["items"].is_array()) {
        return Error::make(kDomain, 3, "unreadable request log");
    }
    std::vector<std::string> targets;
    for (const auto& item : json["items"]) {
        const std::string target = item.value("target", "");
        if (target.rfind("/__test/", 0) != 0) {
            targets.push_back(target);
        }
    }
    return targets;
}

Status CmsProcess::clearRequests() const {
    BenchHttp http;
    auto answer = http.fetch(baseUrl_ + "/__test/requests", "DELETE");
    if (!answer.ok()) {
        return answer.error();
    }
    return {};
}

}  // namespace pagewell::bench

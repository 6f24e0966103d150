#include "CliRunner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "TestSupport.h"

extern char** environ;

namespace pagewell {

namespace {
std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}
}  // namespace

CliRun runPagewell(const std::filesystem::path& dataDirectory, const std::vector<std::string>& args,
                   const std::vector<std::string>& environment,
                   const std::optional<std::string>& input) {
    TemporaryDirectory capture;
    const auto outPath = capture.path() / "out";
    const auto errPath = capture.path() / "err";
    std::filesystem::path inPath = "/dev/null";
    if (input) {
        inPath = capture.path() / "in";
        std::ofstream(inPath, std::ios::binary) << *input;
    }

    std::vector<std::string> argv{PAGEWELL_CLI_PATH};
    if (!dataDirectory.empty()) {
        argv.push_back("--data-dir");
        argv.push_back(dataDirectory.string());
    }
    argv.insert(argv.end(), args.begin(), args.end());

    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        // The runs must not pick up the developer's own data or configuration.
        if (text.rfind("PAGEWELL_", 0) != 0) {
            env.push_back(text);
        }
    }
    env.insert(env.end(), environment.begin(), environment.end());

    pid_t pid = ::fork();
    if (pid == 0) {
        int in = ::open(inPath.c_str(), O_RDONLY);
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> cargs;
        for (auto& a : argv) {
            cargs.push_back(a.data());
        }
        cargs.push_back(nullptr);
        std::vector<char*> cenv;
        for (auto& e : env) {
            cenv.push_back(e.data());
        }
        cenv.push_back(nullptr);
        ::execve(cargs[0], cargs.data(), cenv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    CliRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = slurp(outPath);
    run.err = slurp(errPath);
    return run;
}

}  // namespace pagewell

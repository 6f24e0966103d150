#include "PagewellProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

extern char** environ;

namespace pagewell {

PagewellProcess::PagewellProcess(const std::filesystem::path& dataDirectory,
                                 const std::vector<std::string>& args,
                                 const std::vector<std::string>& environment) {
    std::vector<std::string> argv{PAGEWELL_CLI_PATH, "--data-dir", dataDirectory.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        // The run must not pick up the developer's own data or configuration.
        if (text.rfind("PAGEWELL_", 0) != 0) {
            env.push_back(text);
        }
    }
    env.insert(env.end(), environment.begin(), environment.end());

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        int in = ::open("/dev/null", O_RDONLY);
        int out = ::open("/dev/null", O_WRONLY);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(pipeFds[1], 2);
        std::vector<char*> cargs;
        for (auto& arg : argv) {
            cargs.push_back(arg.data());
        }
        cargs.push_back(nullptr);
        std::vector<char*> cenv;
        for (auto& entry : env) {
            cenv.push_back(entry.data());
        }
        cenv.push_back(nullptr);
        ::execve(cargs[0], cargs.data(), cenv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    errFd_ = pipeFds[0];
}

PagewellProcess::~PagewellProcess() {
    if (pid_ > 0 && exitCode_ < 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (errFd_ >= 0) {
        ::close(errFd_);
    }
}

bool PagewellProcess::waitForLine(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        if (std::size_t found = err_.find(text, scanned_); found != std::string::npos) {
            scanned_ = found + text.size();
            return true;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (errFd_ < 0 || left.count() <= 0) {
            return false;
        }
        pollfd ready{errFd_, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[4096];
        ssize_t count = ::read(errFd_, buffer, sizeof buffer);
        if (count <= 0) {
            ::close(errFd_);
            errFd_ = -1;
            continue;  // one last look at what arrived
        }
        err_.append(buffer, static_cast<std::size_t>(count));
    }
}

void PagewellProcess::signal(int signalNumber) {
    if (pid_ > 0 && exitCode_ < 0) {
        ::kill(pid_, signalNumber);
    }
}

int PagewellProcess::wait() {
    if (pid_ <= 0) {
        return -1;
    }
    if (exitCode_ >= 0) {
        return exitCode_;
    }
    while (errFd_ >= 0) {
        char buffer[4096];
        ssize_t count = ::read(errFd_, buffer, sizeof buffer);
        if (count <= 0) {
            ::close(errFd_);
            errFd_ = -1;
        } else {
            err_.append(buffer, static_cast<std::size_t>(count));
        }
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return exitCode_;
}

}  // namespace pagewell

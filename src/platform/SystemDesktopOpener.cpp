#include "platform/SystemDesktopOpener.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

extern char** environ;

namespace pagewell {
namespace {

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The full path of `program`: itself when it names a path, else the first executable of that
// name in PATH. Resolved before forking so the child only has to exec.
std::optional<std::string> resolveProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return isExecutableFile(program) ? std::optional<std::string>(program) : std::nullopt;
    }
    const char* pathVariable = std::getenv("PATH");
    std::string searchPath = pathVariable ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string::npos) {
            end = searchPath.size();
        }
        std::string candidate(end > start ? std::string_view(searchPath).substr(start, end - start)
                                          : std::string_view("."));
        candidate.push_back('/');
        candidate.append(program);
        if (isExecutableFile(candidate)) {
            return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace

SystemDesktopOpener::SystemDesktopOpener(std::optional<std::string> program)
    : program_(std::move(program)) {}

std::string SystemDesktopOpener::program() const {
    if (program_ && !program_->empty()) {
        return *program_;
    }
    const char* chosen = std::getenv("PAGEWELL_OPENER");
    if (chosen != nullptr && *chosen != '\0') {
        return chosen;
    }
    return "xdg-open";
}

Status SystemDesktopOpener::open(const std::string& path) {
    const std::string name = program();
    std::string startFailure = "Could not start ";
    startFailure.append(name);
    std::optional<std::string> executable = resolveProgram(name);
    if (!executable) {
        std::string message = "No program to open files with: \"";
        message.append(name).append("\" was not found (set PAGEWELL_OPENER to choose one)");
        return Error::make(kPosixErrorDomain, ENOENT, std::move(message));
    }
    // A pipe closed on exec tells whether the program started: EOF means it did, an errno
    // value means exec failed.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return Error::fromErrno(errno, startFailure);
    }
    std::vector<char*> argv{executable->data(), const_cast<char*>(path.c_str()), nullptr};
    pid_t child = ::fork();
    if (child < 0) {
        int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return Error::fromErrno(error, startFailure);
    }
    if (child == 0) {
        // The intermediate child starts the program in a grandchild and leaves at once, so
        // the program is adopted by init and never becomes our zombie. Only async-signal-safe
        // calls here.
        ::close(report[0]);
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ::execve(argv[0], argv.data(), environ);
            int error = errno;
            (void)!::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        if (grandchild < 0) {
            int error = errno;
            (void)!::write(report[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int execError = 0;
    ssize_t got = 0;
    do {
        got = ::read(report[0], &execError, sizeof execError);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof execError)) {
        return Error::fromErrno(execError, startFailure);
    }
    return {};
}

}  // namespace pagewell

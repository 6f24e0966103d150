#include "PeerHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

extern char** environ;

namespace pagewell::bench {

namespace {

constexpr const char* kDomain = "PeerHttpServer";
constexpr auto kStartTimeout = std::chrono::seconds(20);

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port nobody listens on now; the server binds it a moment later.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    int port = -1;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(port);
    const bool connected =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return connected;
}

void endProcess(pid_t pid) {
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

Result<std::unique_ptr<PeerHttpServer>> PeerHttpServer::serve(
    const std::filesystem::path& directory) {
    const int port = freePort();
    if (port <= 0) {
        return Error::make(kDomain, 1, "no free loopback port");
    }
    std::vector<std::string> arguments = {
        "python3", "-m",        "http.server", std::to_string(port),
        "--bind",  "127.0.0.1", "--directory", directory.string()};
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        return Error::make(kDomain, failed, "cannot start python3 -m http.server");
    }
    // The server says nothing useful on its own; it is ready once it accepts a connection.
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (!accepts(port)) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return Error::make(kDomain, 2, "python3 -m http.server ended at start");
        }
        if (std::chrono::steady_clock::now() > deadline) {
            endProcess(pid);
            return Error::make(kDomain, 3, "python3 -m http.server did not start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::unique_ptr<PeerHttpServer>(
        new PeerHttpServer(pid, "http://127.0.0.1:" + std::to_string(port)));
}

PeerHttpServer::~PeerHttpServer() {
    stop();
}

void PeerHttpServer::stop() {
    if (pid_ > 0) {
        endProcess(pid_);
        pid_ = -1;
    }
}

}  // namespace pagewell::bench

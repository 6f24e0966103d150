#pragma once
// An in-process HTTP server on a loopback port chosen by the system, for the HTTP session and
// reachability tests. Routes are added on server() before start(). Handlers that must hang (a
// stalled server, a slow download) wait on gate(), which the server opens when it is destroyed,
// so no test ever waits for a hanging handler to give up by itself.

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace pagewell::test {

// A latch that hanging handlers wait on.
class Gate {
  public:
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    // Waits until open() or `limit` passes; returns whether it was opened.
    bool wait(std::chrono::milliseconds limit = std::chrono::seconds{30}) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

class HttpTestServer {
  public:
    HttpTestServer() = default;
    ~HttpTestServer() { stop(); }
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    httplib::Server& server() { return server_; }
    Gate& gate() { return gate_; }

    // Binds (and so already accepts connections into the backlog) before returning.
    void start() {
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    void stop() {
        gate_.open();
        if (thread_.joinable()) {
            // stop() only ends a loop that has started; one that starts afterwards would wait
            // in accept() for ever, so give the thread its moment to start it.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!server_.is_running() && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
            server_.stop();
            thread_.join();
        }
    }

    int port() const { return port_; }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

  private:
    httplib::Server server_;
    Gate gate_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace pagewell::test

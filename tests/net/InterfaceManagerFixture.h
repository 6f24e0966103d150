#pragma once
// The request layer's test environment: a data directory of its own with settings, user
// defaults, a file keychain and a store, a scripted presenter, a fresh main queue, a log sink
// that keeps every line (the traffic log at its full level included), and an application
// configuration with a known login secret (the shared part comes from NetFixture). TearDown puts
// every shared instance back.
//
// ScriptedHttpServer is an in-process server for answers the reference server never gives:
// each test sets one handler and reads back what arrived.

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "NetFixture.h"
#include "app/SettingsManager.h"
#include "diag/AFNetworkLumberjackLogger.h"
#include "net/AccountManager.h"
#include "net/InterfaceManager.h"
#include "platform/MainQueue.h"
#include "platform/PropertyList.h"

namespace pagewell::test {

inline constexpr const char* kAppSecret = "test-app-secret";

// One request as the server saw it.
struct ReceivedRequest {
    std::string method;
    std::string target;  // path and query exactly as sent
    std::string path;    // httplib's decoded path
    std::string body;
    httplib::Headers headers;
};

class ScriptedHttpServer {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    ScriptedHttpServer() {
        auto route = [this](const httplib::Request& request, httplib::Response& response) {
            Handler handler;
            {
                std::lock_guard lock(mutex_);
                received_.push_back(
                    {request.method, request.target, request.path, request.body, request.headers});
                handler = handler_;
            }
            if (handler) {
                handler(request, response);
            }
        };
        const char* pattern = R"(/.*)";
        server_.Get(pattern, route);
        server_.Post(pattern, route);
        server_.Put(pattern, route);
        server_.Delete(pattern, route);
        // httplib answers HEAD through the GET handlers.
        // Connections are answered at once and not kept, so ending a test never waits for an
        // idle connection to time out.
        server_.set_keep_alive_max_count(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        // The socket listens once bound: connections wait in its backlog until the loop runs.
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~ScriptedHttpServer() {
        // stop() only ends a loop that has started; give the thread its moment to start it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!server_.is_running() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        server_.stop();
        thread_.join();
    }

    void setHandler(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }
    std::vector<ReceivedRequest> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    void clearReceived() {
        std::lock_guard lock(mutex_);
        received_.clear();
    }
    int port() const { return port_; }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_) + "/api2"; }

  private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    Handler handler_;                        // guarded by mutex_
    std::vector<ReceivedRequest> received_;  // guarded by mutex_
};

// What a framed request or a login reported.
struct Outcome {
    int calls = 0;
    std::optional<nlohmann::json> answer;
    std::optional<std::string> token;
    std::optional<std::string> secret;
    std::optional<Error> error;
};

class InterfaceManagerFixture : public NetFixture {
  protected:
    void SetUp() override {
        setUpEnvironment();
        if (HasFatalFailure()) {
            return;
        }
        traffic_ = std::make_shared<AFNetworkLumberjackLogger>();
        traffic_->setLevel(AFNetworkLumberjackLogger::kLevelFull);
        traffic_->startLogging();
        AFNetworkLumberjackLogger::setSharedLogger(traffic_);
        writeAppSettings("http://127.0.0.1:1");
    }

    void TearDown() override {
        manager_.reset();
        InterfaceManager::setShared(nullptr);
        MainQueue::shared().poll();
        AFNetworkLumberjackLogger::setSharedLogger(nullptr);
        AccountManager::_forgetKeptUser();
        tearDownEnvironment();
    }

    void writeAppSettings(const std::string& cmsUrl) { writeAppConfiguration(cmsUrl, kAppSecret); }

    // A manager whose transfers give up after a second without progress, so a stalled server
    // ends a test quickly.
    InterfaceManager& makeManager(const std::string& baseURL) {
        HttpSessionOptions options;
        options.connectTimeout = std::chrono::seconds(5);
        options.lowSpeedTime = std::chrono::seconds(1);
        manager_ = std::make_unique<InterfaceManager>(baseURL, options);
        return *manager_;
    }

    static bool pump(const std::function<bool()>& done) {
        return MainQueue::shared().runUntil(done, std::chrono::seconds(20));
    }

    // Sends a framed request and waits for its one callback; handlers already queued after it
    // run too, so a second callback would be counted.
    Outcome framed(const std::string& path, InterfaceManager::RequestOptions options = {}) {
        auto outcome = std::make_shared<Outcome>();
        manager_->sendRequest(
            path,
            [outcome](const nlohmann::json& answer) {
                ++outcome->calls;
                outcome->answer = answer;
            },
            [outcome](const Error& error) {
                ++outcome->calls;
                outcome->error = error;
            },
            std::move(options));
        EXPECT_TRUE(pump([&] { return outcome->calls > 0; })) << path;
        MainQueue::shared().poll();
        return *outcome;
    }

    Outcome login(const std::string& user, const std::string& password) {
        auto outcome = std::make_shared<Outcome>();
        manager_->getTokenWithUsername(
            user, password,
            [outcome](std::optional<std::string> token, std::optional<std::string> secret) {
                ++outcome->calls;
                outcome->token = std::move(token);
                outcome->secret = std::move(secret);
            },
            [outcome](const Error& error) {
                ++outcome->calls;
                outcome->error = error;
            });
        EXPECT_TRUE(pump([&] { return outcome->calls > 0; }));
        MainQueue::shared().poll();
        return *outcome;
    }

    void setOfflineMode(bool on) {
        ASSERT_TRUE(SettingsManager::sharedInstance()
                        .writeSettingInGroup("OFFLINE_SETTINGS", "OFFLINEMODE", PlistValue(on))
                        .ok());
    }

    // Every captured line that holds one of `secrets`.
    std::vector<std::string> linesHolding(const std::vector<std::string>& secrets) const {
        std::vector<std::string> found;
        for (const auto& line : logs_->lines()) {
            for (const auto& secret : secrets) {
                if (!secret.empty() && line.find(secret) != std::string::npos) {
                    found.push_back(line);
                    break;
                }
            }
        }
        return found;
    }

    std::shared_ptr<AFNetworkLumberjackLogger> traffic_;
    std::unique_ptr<InterfaceManager> manager_;
};

}  // namespace pagewell::test

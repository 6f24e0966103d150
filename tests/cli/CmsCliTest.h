#pragma once
// The base of the tests that run `pagewell` the way a user does against pagewell-cms on a
// loopback port: the server, the app settings naming it, a data directory and the file keychain,
// all in one temporary home.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "PagewellProcess.h"
#include "TestSupport.h"
#include "cms/CmsServer.h"
#include "platform/PropertyList.h"

namespace pagewell {

class CmsCliTest : public ::testing::Test {
  protected:
    void TearDown() override { stopServer(); }

    // Serves `catalogue` with `options` (its catalogue and app secret are set here) and writes
    // app settings that name the server. A server already running is stopped first.
    ::testing::AssertionResult serve(const std::filesystem::path& catalogue,
                                     const std::string& appSecret,
                                     cms::CmsServerOptions options = {});
    // Writes the app settings: the server address, the app secret and `extra` entries.
    ::testing::AssertionResult writeConfig(const std::string& cmsUrl, PlistDict extra = {});
    // Stops the server, clearing its faults; idempotent.
    void stopServer();

    std::filesystem::path data() const { return home.path() / "data"; }
    std::filesystem::path config() const { return home.path() / "AppSettings.plist"; }
    std::filesystem::path storePath() const {
        return data() / "Library" / "Database" / "Database.sqlite";
    }

    // `--config CONFIG args...`
    std::vector<std::string> withConfig(const std::vector<std::string>& args) const;
    // `pagewell --data-dir DATA --config CONFIG args...` with the file keychain, the extra
    // environment entries (after `environment`) and `input` on stdin (closed without it).
    CliRun run(const std::vector<std::string>& args, std::vector<std::string> extraEnvironment = {},
               const std::optional<std::string>& input = std::nullopt) const;
    // `pagewell --json args...`, expecting `expectedExit`; a discarded value when the output is
    // no JSON document.
    nlohmann::json json(const std::vector<std::string>& args, int expectedExit = 0,
                        std::vector<std::string> extraEnvironment = {}) const;
    // The same command left running (`pagewell run`, a download to interrupt).
    std::unique_ptr<PagewellProcess> start(const std::vector<std::string>& args,
                                           std::vector<std::string> extraEnvironment = {}) const;

    // `pagewell login --user USER --password-stdin` with the password on stdin.
    CliRun login(const std::string& user, const std::string& password) const;
    // Signs `user` in and makes English (locale 1) current.
    void signIn(const std::string& user = "demo", const std::string& password = "demo") const;

    TemporaryDirectory home;
    std::unique_ptr<cms::CmsServer> server;
    // Added to every command's environment.
    std::vector<std::string> environment = {"PAGEWELL_KEYCHAIN=file"};

  private:
    std::vector<std::string> withEnvironment(std::vector<std::string> extra) const;

    std::string appSecret_;
};

}  // namespace pagewell

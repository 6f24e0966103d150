#pragma once
// A running pagewell-cms for the API tests beyond the catalogue: the test catalogue with the
// sections a test adds, a state file in the same temporary directory, restart() to check what
// survives, and small request helpers that sign in and keep the token.

#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "TestSupport.h"
#include "cms/CmsServer.h"
#include "platform/Clock.h"

namespace pagewell::cms::test {

inline constexpr const char* kApiAppSecret = "app-secret";

class CmsApiFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The manifest the server starts with; tests add sections before start().
    nlohmann::json manifest_;
    CmsServerOptions options_;

    // Writes the catalogue (first call only) and starts the server with options_.
    void start();
    // Stops the server and starts a new one on the same catalogue and state file.
    void restart();
    // Signs in with the header login and returns the token.
    std::string signIn(const std::string& user = "demo", const std::string& password = "demo");

    httplib::Result get(const std::string& path);
    httplib::Result send(const std::string& method, const std::string& path,
                         const std::string& body,
                         const std::string& contentType = "application/json");
    // The answer's body as JSON, after checking the status.
    nlohmann::json answer(const httplib::Result& result, int status = 200);
    // A refused request: the status and a short JSON error.
    void expectRefused(const httplib::Result& result, int status, const std::string& what);

    // Appends "?token=" or "&token=" with the demo user's token.
    std::string withToken(const std::string& path, const std::string& token = {});

    std::filesystem::path stateFile() const { return dir_.path() / "state" / "cms-state.json"; }
    const std::filesystem::path& catalogueDir() const { return dir_.path(); }
    httplib::Client& client() { return *client_; }

    std::shared_ptr<ManualClock> clock_;
    std::unique_ptr<CmsServer> server_;

  private:
    TemporaryDirectory dir_;
    std::unique_ptr<httplib::Client> client_;
    std::string demoToken_;
    bool written_ = false;
};

}  // namespace pagewell::cms::test

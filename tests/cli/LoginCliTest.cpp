#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CmsCliTest.h"
#include "TestCatalogue.h"
#include "TestSupport.h"
#include "TlsTestServer.h"
#include "cms/CmsServer.h"
#include "cms/FaultInjector.h"
#include "cms/RequestLog.h"
#include "platform/RefusingPort.h"

namespace pagewell {
namespace {

constexpr const char* kAppSecret = "cli-login-secret";

// `pagewell login`, `status` and `logout` as a user runs them, against pagewell-cms serving
// the small test catalogue on a loopback port, with the credentials in the file keychain.
class LoginCliTest : public CmsCliTest {
  protected:
    void SetUp() override {
        std::filesystem::path catalogue = home.path() / "catalogue";
        cms::test::writeTestCatalogue(catalogue);
        ASSERT_TRUE(serve(catalogue, kAppSecret));
    }

    void configure(const std::string& cmsUrl, bool passwordReset = false) {
        ASSERT_TRUE(writeConfig(cmsUrl, {{"PasswordResetEnabled", passwordReset}}));
    }

    nlohmann::json status() {
        CliRun shown = run({"--json", "status"});
        EXPECT_EQ(shown.exitCode, 0) << shown.err;
        return nlohmann::json::parse(shown.out, nullptr, false);
    }
};

TEST_F(LoginCliTest, LoginThenStatusShowsTheSession) {
    nlohmann::json before = status();
    EXPECT_TRUE(before["user"].is_null());
    EXPECT_FALSE(before["loggedIn"].get<bool>());
    EXPECT_TRUE(before["sessionValidUntil"].is_null());
    EXPECT_FALSE(before["offline"].get<bool>());
    EXPECT_EQ(before["server"], server->baseUrl());
    EXPECT_TRUE(before.contains("locale"));

    CliRun signedIn = login("demo", "demo");
    ASSERT_EQ(signedIn.exitCode, 0) << signedIn.err;
    EXPECT_NE(signedIn.out.find("Signed in as demo"), std::string::npos) << signedIn.out;

    nlohmann::json after = status();
    EXPECT_EQ(after["user"], "demo");
    EXPECT_TRUE(after["loggedIn"].get<bool>());
    ASSERT_TRUE(after["sessionValidUntil"].is_string());
    EXPECT_EQ(after["sessionValidUntil"].get<std::string>().size(), 20u);  // ...THH:MM:SSZ
    EXPECT_FALSE(after["offline"].get<bool>());

    // The credential file is owner-only and no secret reached the log files.
    std::filesystem::path keychain = data() / "Library" / "Keychain" / "Pagewell_login.json";
    ASSERT_TRUE(std::filesystem::exists(keychain));
    EXPECT_EQ(std::filesystem::status(keychain).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::string token = nlohmann::json::parse(std::ifstream(keychain))["token"];
    ASSERT_FALSE(token.empty());
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(data() / "Library" / "Logs")) {
        std::ostringstream text;
        text << std::ifstream(entry.path()).rdbuf();
        EXPECT_EQ(text.str().find(token), std::string::npos) << entry.path();
        EXPECT_EQ(text.str().find(kAppSecret), std::string::npos) << entry.path();
    }
}

TEST_F(LoginCliTest, RefusedAndEmptyLoginsSayWhy) {
    CliRun wrong = login("demo", "nope");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("Login failed."), std::string::npos) << wrong.err;
    EXPECT_NE(wrong.err.find("Please check your username and password."), std::string::npos)
        << wrong.err;

    CliRun empty = run({"login"});  // no terminal, nothing given
    EXPECT_EQ(empty.exitCode, 4);
    EXPECT_NE(empty.err.find("Please type in your credentials"), std::string::npos) << empty.err;
    EXPECT_FALSE(status()["loggedIn"].get<bool>());
}

// Signed in once online; with the server gone, --offline signs in against the stored hash and
// a wrong password is still refused.
TEST_F(LoginCliTest, OfflineLoginUsesTheStoredPassword) {
    ASSERT_EQ(login("demo", "demo").exitCode, 0);
    server.reset();

    CliRun wrong = run({"login", "--offline", "--user", "demo", "--password-stdin"}, {}, "nope\n");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("The connection to the server could not be established."),
              std::string::npos)
        << wrong.err;

    CliRun right = run({"login", "--offline", "--user", "demo", "--password-stdin"}, {}, "demo\n");
    EXPECT_EQ(right.exitCode, 0) << right.err;
    nlohmann::json shown = status();
    EXPECT_TRUE(shown["offline"].get<bool>());
    EXPECT_EQ(shown["user"], "demo");
}

TEST_F(LoginCliTest, LogoutAsksFirstAndEndsTheSession) {
    ASSERT_EQ(login("demo", "demo").exitCode, 0);

    CliRun declined = run({"logout"});  // no terminal: the "No" answer
    EXPECT_EQ(declined.exitCode, 1);
    EXPECT_NE(declined.err.find("Do you really want to logout?"), std::string::npos);
    EXPECT_TRUE(status()["loggedIn"].get<bool>());

    CliRun confirmed = run({"--yes", "logout"});
    EXPECT_EQ(confirmed.exitCode, 0) << confirmed.err;
    nlohmann::json shown = status();
    EXPECT_FALSE(shown["loggedIn"].get<bool>());
    EXPECT_TRUE(shown["sessionValidUntil"].is_null());
}

TEST_F(LoginCliTest, ForgottenPasswordAsksTheServer) {
    configure(server->baseUrl(), true);
    CliRun sent = run({"login", "--forgot", "  demo \n"});
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_NE(sent.err.find("Your password was reset successfully."), std::string::npos)
        << sent.err;

    CliRun blank = run({"login", "--forgot", "   "});
    EXPECT_EQ(blank.exitCode, 2);

    configure(server->baseUrl(), false);
    EXPECT_EQ(run({"login", "--forgot", "demo"}).exitCode, 1);
}

TEST_F(LoginCliTest, HelpCarriesTheOfflineInfoText) {
    CliRun help = run({"login", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Activate offline mode if you have a slow or no internet connection."),
              std::string::npos)
        << help.out;
}

// A sign-in that cannot get through says why, with an exit code that tells an unreachable or
// untrusted server (5) from one that answered with a failure (1); only an authority the user
// names in PAGEWELL_CA_BUNDLE makes the self-signed server trusted.
TEST_F(LoginCliTest, ASignInThatCannotGetThroughSaysWhy) {
    TemporaryDirectory certificates;
    test::TestAuthority authority(certificates.path());
    auto answering = [](int status, std::string body) {
        return [status, body](const httplib::Request& request, httplib::Response& response) {
            if (request.path != "/api2/auth/loginv2") {
                response.status = 404;
            } else if (request.method != "HEAD") {
                response.status = status;
                response.set_content(body, "application/json");
            }
        };
    };
    test::TlsTestServer tls(authority.issue("loopback", "IP:127.0.0.1"),
                            answering(200, R"({"success": true, "token": "t", "userId": "1"})"));
    test::TlsTestServer maintenance(authority.issue("maintenance", "IP:127.0.0.1"),
                                    answering(503, R"({"message": "Down for maintenance"})"));
    ASSERT_TRUE(tls.valid() && maintenance.valid());
    const std::string trusted = "PAGEWELL_CA_BUNDLE=" + authority.certificatePath().string();
    test::RefusingPort refusing;
    cms::Fault refusedProbe;
    refusedProbe.prefix = "/api2/auth/";
    refusedProbe.remaining = 1;
    refusedProbe.status = 500;
    server->services().faults.arm(refusedProbe);
    struct Case {
        const char* name;
        std::string server;
        std::string environment;  // one "NAME=value" entry, or none
        int exitCode;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {"self-signed authority",
         tls.origin(),
         "",
         5,
         {"Login failed.", "The server's certificate is not trusted (127.0.0.1: "}},
        {"authority named by PAGEWELL_CA_BUNDLE", tls.origin(), trusted, 0, {"Signed in as demo"}},
        {"nobody listening",
         "http://127.0.0.1:" + std::to_string(refusing.port()),
         "",
         5,
         {"Login failed.", "The server cannot be reached: Could not connect to the server."}},
        {"maintenance",
         maintenance.origin(),
         trusted,
         1,
         {"Login failed.", "Request failed: service unavailable (503)",
          "The server says: Down for maintenance"}},
        {"failing probe",
         server->baseUrl(),
         "",
         1,
         {"Login failed.", "Request failed: internal server error (500)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(data());
        configure(c.server);
        CliRun login = run({"login", "--user", "demo", "--password-stdin"},
                           c.environment.empty() ? std::vector<std::string>{}
                                                 : std::vector<std::string>{c.environment},
                           "demo\n");
        EXPECT_EQ(login.exitCode, c.exitCode) << login.err;
        const std::string shown = login.out + login.err;
        std::size_t at = 0;
        for (const auto& text : c.said) {
            at = shown.find(text, at);
            ASSERT_NE(at, std::string::npos) << text << "\nin:\n" << shown;
        }
        EXPECT_EQ(shown.find("Please check your username and password"), std::string::npos);
    }
    // No server was given the password in a path: the trusted one offered the header sign-in,
    // and the others failed the probe or never got past the handshake.
    const std::vector<std::string> received = tls.received();
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[0], "HEAD /api2/auth/loginv2");
    EXPECT_EQ(received[1], "GET /api2/auth/loginv2");
    for (const auto& request : received) {
        EXPECT_EQ(request.find("/auth/login/"), std::string::npos) << request;
    }
    for (const auto& entry : server->services().requestLog.entries()) {
        EXPECT_EQ(entry.target.find("/auth/login/"), std::string::npos) << entry.target;
    }
}
}  // namespace
}  // namespace pagewell

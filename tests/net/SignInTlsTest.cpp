// Sign-in over https against a loopback TLS listener whose certificates the test makes: a
// certificate the client cannot trust ends the sign-in with its own error before any request
// (no path sign-in with the password, no offline sign-in instead), and the authority named by
// PAGEWELL_CA_BUNDLE is trusted in addition to the system's.

#include <cstdlib>

#include "InterfaceManagerFixture.h"
#include "TlsTestServer.h"
#include "app/AppSettings.h"
#include "net/LoginManager.h"
#include "platform/HttpResponse.h"

namespace pagewell::test {
namespace {

void answerSignIn(const httplib::Request&, httplib::Response& response) {
    response.status = 200;
    response.set_content(R"({"success": true, "token": "tls-token", "userId": "7"})",
                         "application/json");
}

class SignInTlsTest : public InterfaceManagerFixture {
  protected:
    void SetUp() override {
        InterfaceManagerFixture::SetUp();
        authority_ = std::make_unique<TestAuthority>(dir_.path());
    }
    void TearDown() override {
        ::unsetenv(AppSettings::kCABundleVariable);
        InterfaceManagerFixture::TearDown();
    }

    std::unique_ptr<TestAuthority> authority_;
};

TEST_F(SignInTlsTest, OnlyATrustedCertificateLetsTheSignInSpeak) {
    struct Case {
        const char* name;
        const char* serverName;  // the certificate's subject alternative name
        std::string bundle;      // PAGEWELL_CA_BUNDLE, none when empty
        int code;                // 0: signed in
        const char* description;
    };
    const std::string trusted = authority_->certificatePath().string();
    const Case cases[] = {
        {"authority not trusted", "IP:127.0.0.1", "", HttpErrors::kServerCertificateUntrusted,
         "The server's certificate is not trusted (127.0.0.1: SSL certificate problem"},
        {"certificate for another host", "DNS:other.example", trusted,
         HttpErrors::kServerCertificateUntrusted,
         "The server's certificate is not trusted (127.0.0.1: SSL: no alternative certificate "
         "subject name matches"},
        {"authority from PAGEWELL_CA_BUNDLE", "IP:127.0.0.1", trusted, 0, ""},
        {"bundle that cannot be read", "IP:127.0.0.1", (dir_.path() / "missing.pem").string(),
         HttpErrors::kSecureConnectionFailed, "The certificate bundle "},
    };
    int serial = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bundle.empty()) {
            ::unsetenv(AppSettings::kCABundleVariable);
        } else {
            ::setenv(AppSettings::kCABundleVariable, c.bundle.c_str(), 1);
        }
        TlsTestServer server(authority_->issue("server" + std::to_string(++serial), c.serverName),
                             answerSignIn);
        ASSERT_TRUE(server.valid());
        // The application's own construction: its options come from the configuration.
        auto manager = std::make_shared<InterfaceManager>(server.origin() + "/api2");
        EXPECT_EQ(manager->sessionOptions().caBundlePath, c.bundle);
        InterfaceManager::setShared(manager);

        std::optional<Error> failure;
        bool succeeded = false;
        const std::size_t alerts = presenter_->shown.size();
        LoginManager::shared().loginWithUserName(
            "demo", "pw", [&] { succeeded = true; }, [&](const Error& error) { failure = error; });
        ASSERT_TRUE(pump([&] { return succeeded || failure.has_value(); }));
        if (c.code == 0) {
            EXPECT_TRUE(succeeded) << (failure ? failure->description : "");
            EXPECT_EQ(keychain_->token(), "tls-token");
            EXPECT_EQ(server.received(), (std::vector<std::string>{"HEAD /api2/auth/loginv2",
                                                                   "GET /api2/auth/loginv2"}));
        } else {
            ASSERT_TRUE(failure);
            EXPECT_EQ(failure->domain, HttpErrors::kNetworkDomain);
            EXPECT_EQ(failure->code, c.code);
            EXPECT_EQ(failure->description.rfind(c.description, 0), 0u) << failure->description;
            // Nothing got through: not the probe, let alone the path sign-in with the password.
            EXPECT_TRUE(server.received().empty());
            // Nor was the user offered the offline sign-in in its place.
            EXPECT_EQ(presenter_->shown.size(), alerts);
        }
        InterfaceManager::setShared(nullptr);
        MainQueue::shared().poll();
    }
}

}  // namespace
}  // namespace pagewell::test

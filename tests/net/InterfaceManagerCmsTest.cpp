// The request layer against the reference server: real sign-ins, the framing the server's
// routes expect, an expired token renewed on the fly, and the server's stall and drop faults.
#include "InterfaceManagerFixture.h"
#include "TestCatalogue.h"
#include "cms/CmsServer.h"
#include "cms/FaultInjector.h"
#include "cms/TokenStore.h"

namespace pagewell::test {
namespace {

using nlohmann::json;

class InterfaceManagerCmsTest : public InterfaceManagerFixture {
  protected:
    void SetUp() override {
        InterfaceManagerFixture::SetUp();
        cms::test::writeTestCatalogue(catalogue_.path());
        cms::CmsServerOptions options;
        options.catalogue = catalogue_.path();
        options.appSecret = kAppSecret;
        auto created = cms::CmsServer::create(options);
        ASSERT_TRUE(created.ok()) << created.error().description;
        server_ = std::move(created).value();
        auto port = server_->start();
        ASSERT_TRUE(port.ok()) << port.error().description;
        writeAppSettings(server_->baseUrl());
        makeManager(InterfaceManager::defaultBaseURL());
    }
    void TearDown() override {
        manager_.reset();
        if (server_) {
            server_->stop();
        }
        InterfaceManagerFixture::TearDown();
    }

    // Signs in through the request layer and keeps the credentials as the login flow would.
    std::string signIn(const std::string& user = "demo", const std::string& password = "demo") {
        Outcome outcome = login(user, password);
        EXPECT_TRUE(outcome.token) << (outcome.error ? outcome.error->description : "");
        return outcome.token.value_or("");
    }

    TemporaryDirectory catalogue_;
    std::unique_ptr<cms::CmsServer> server_;
};

TEST_F(InterfaceManagerCmsTest, SignInRecordsUserKeychainAndSecret) {
    Outcome outcome = login("demo", "demo");
    EXPECT_EQ(outcome.calls, 1);
    ASSERT_TRUE(outcome.token);
    EXPECT_EQ(outcome.secret, "secret-1");
    EXPECT_EQ(keychain_->token(), *outcome.token);
    EXPECT_EQ(keychain_->username(), "demo");
    auto user = AccountManager::currentUser();
    ASSERT_TRUE(user);
    EXPECT_EQ(user->cmsID, 1);
    EXPECT_EQ(user->username, "demo");

    Outcome refused = login("demo", "wrong");
    EXPECT_EQ(refused.calls, 1);
    EXPECT_FALSE(refused.error);
    EXPECT_FALSE(refused.token);
}

TEST_F(InterfaceManagerCmsTest, FramedRequestsReachTheServersRoutes) {
    signIn();
    Outcome locales = framed(manager_->pathForRestMethod("list", "locale"));
    ASSERT_TRUE(locales.answer) << (locales.error ? locales.error->description : "");
    EXPECT_FALSE(locales.answer->empty());

    Outcome categories = framed(manager_->pathForRestMethod("list", "category", {"1"}) +
                                "&timestamp=" + InterfaceManager::percentEscape("0"));
    ASSERT_TRUE(categories.answer) << (categories.error ? categories.error->description : "");
    EXPECT_TRUE(categories.answer->is_object());
}

TEST_F(InterfaceManagerCmsTest, ExpiredTokenIsRenewedOnceAndTheRequestRepeated) {
    const std::string first = signIn();
    server_->services().tokens.expireAll();
    logs_->clear();

    Outcome outcome = framed(manager_->pathForRestMethod("list", "locale"));
    ASSERT_TRUE(outcome.answer) << (outcome.error ? outcome.error->description : "");
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_EQ(logs_->count(InterfaceManager::kLogInvalidToken), 1);
    EXPECT_FALSE(keychain_->token().empty());
    EXPECT_NE(keychain_->token(), first);
    EXPECT_EQ(keychain_->username(), "demo");
}

TEST_F(InterfaceManagerCmsTest, ServerFaultsReachTheCallerAsOneErrorEach) {
    struct Case {
        const char* name;
        cms::Fault::Kind kind;
        int count;
        std::optional<Error> expected;
    };
    const Case cases[] = {
        {"stall", cms::Fault::Kind::Stall, 1, std::nullopt},
        {"drop", cms::Fault::Kind::Drop, 1, std::nullopt},
        {"status", cms::Fault::Kind::Status, 1, std::nullopt},
        {"empty twice", cms::Fault::Kind::Empty, 2, InterfaceManager::tokenRefreshError()},
    };
    signIn();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cms::Fault fault;
        fault.kind = c.kind;
        fault.prefix = "/api2/locale";
        fault.remaining = c.count;
        fault.status = 503;
        fault.stall = std::chrono::seconds(10);
        server_->services().faults.arm(fault);
        logs_->clear();

        Outcome outcome = framed(manager_->pathForRestMethod("list", "locale"));
        server_->services().faults.clear();
        EXPECT_EQ(outcome.calls, 1);
        ASSERT_TRUE(outcome.error);
        EXPECT_FALSE(outcome.error->description.empty());
        if (c.expected) {
            EXPECT_EQ(*outcome.error, *c.expected);
        } else {
            // Failures are never retried.
            EXPECT_EQ(logs_->count(InterfaceManager::kLogInvalidToken), 0);
        }
        EXPECT_EQ(logs_->count("Error while requesting: "), 1);
    }
}

}  // namespace
}  // namespace pagewell::test

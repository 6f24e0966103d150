// The request layer against an in-process server that answers whatever each test needs: path
// framing, the one token renewal, the two sign-in methods, bad answers and broken transports,
// offline mode, and what reaches the logs.
#include <gmock/gmock.h>

#include "InterfaceManagerFixture.h"
#include "platform/HttpResponse.h"
#include "platform/ReachabilityWatcher.h"
#include "platform/RefusingPort.h"
#include "store/User.h"

namespace pagewell::test {
namespace {

using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string base64(const std::string& in) {
    static const char* kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < in.size(); i += 3) {
        unsigned n = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size())
            n |= static_cast<unsigned char>(in[i + 1]) << 8;
        if (i + 2 < in.size())
            n |= static_cast<unsigned char>(in[i + 2]);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < in.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += i + 2 < in.size() ? kAlphabet[n & 63] : '=';
    }
    return out;
}

void answerJson(httplib::Response& response, const json& body, int status = 200) {
    response.status = status;
    response.set_content(body.dump(), "application/json");
}

// A small server model: sign-in answers, and an endpoint that accepts one token only.
struct LoginServer {
    std::string validToken = "new-token";
    int probeStatus = 200;  // the answer to the header sign-in probe
    int loginStatus = 200;
    json loginAnswer = {{"success", true}, {"token", "new-token"}, {"userId", "7"}};
    // The endpoint answers empty while the token is not validToken, or always when set.
    bool alwaysEmpty = false;

    void operator()(const httplib::Request& request, httplib::Response& response) const {
        if (request.path == "/api2/auth/loginv2") {
            if (request.method == "HEAD") {
                response.status = probeStatus;
                return;
            }
            answerJson(response, loginAnswer, loginStatus);
            return;
        }
        if (request.path.rfind("/api2/auth/login/", 0) == 0) {
            answerJson(response, loginAnswer, loginStatus);
            return;
        }
        if (alwaysEmpty || request.get_param_value("token") != validToken) {
            response.status = 200;  // a refused token: an empty answer
            return;
        }
        answerJson(response, {{"method", request.method},
                              {"body", request.body.empty() ? json() : json::parse(request.body)}});
    }
};

class InterfaceManagerTest : public InterfaceManagerFixture {
  protected:
    void SetUp() override {
        InterfaceManagerFixture::SetUp();
        makeManager(server_.baseURL());
        keychain_->saveUsername("demo", "demo-password", "old-token");
    }

    std::vector<std::string> targets() const {
        std::vector<std::string> out;
        for (const auto& request : server_.received()) {
            out.push_back(request.method + " " + request.target);
        }
        return out;
    }

    ScriptedHttpServer server_;
};

// ---- framing

TEST_F(InterfaceManagerTest, FramesTheCategoryListWithTokenAndTimestamp) {
    server_.setHandler([](const httplib::Request&, httplib::Response& response) {
        answerJson(response, {{"items", json::array()}});
    });
    const std::string path = manager_->pathForRestMethod("list", "category", {"5"}) +
                             "&timestamp=" + InterfaceManager::percentEscape("2024-01-02 10:00:00");
    EXPECT_EQ(path, "category/list/5?token=old-token&timestamp=2024-01-02%2010%3A00%3A00");

    Outcome outcome = framed(path);
    ASSERT_TRUE(outcome.answer) << (outcome.error ? outcome.error->description : "");
    EXPECT_EQ(*outcome.answer, (json{{"items", json::array()}}));
    EXPECT_EQ(outcome.calls, 1);
    auto received = server_.received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].method, "GET");
    EXPECT_EQ(received[0].target,
              "/api2/category/list/5?token=old-token&timestamp=2024-01-02%2010%3A00%3A00");
    EXPECT_TRUE(received[0].body.empty());
    EXPECT_EQ(manager_->absoluteURL(path), server_.baseURL() + "/" + path);
}

// No text can add a segment or a query parameter: each part stays one escaped segment, the
// token stays the only token.
TEST_F(InterfaceManagerTest, EscapesEveryReservedCharacterOfEachPart) {
    struct Case {
        std::string text;
        std::string escaped;
    };
    const Case cases[] = {
        {"a/b", "a%2Fb"},           {"x&token=evil", "x%26token%3Devil"},
        {"what?", "what%3F"},       {"#frag", "%23frag"},
        {"100%", "100%25"},         {"a+b c", "a%2Bb%20c"},
        {"k=v", "k%3Dv"},           {"Grüße", "Gr%C3%BC%C3%9Fe"},
        {"plain-._~", "plain-._~"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(InterfaceManager::percentEscape(c.text), c.escaped) << c.text;
        EXPECT_EQ(manager_->pathForRestMethod("search", "file", {c.text, "2"}),
                  "file/search/" + c.escaped + "/2?token=old-token")
            << c.text;
    }

    // Over the wire: the server sees one segment and one token.
    server_.setHandler([](const httplib::Request& request, httplib::Response& response) {
        answerJson(response, {{"tokens", request.get_param_value_count("token")},
                              {"token", request.get_param_value("token")},
                              {"params", request.params.size()}});
    });
    keychain_->saveUsername({}, {}, "tok/en&x=1");
    Outcome outcome = framed(manager_->pathForRestMethod("search", "file", {"a/b&token=evil#x"}));
    ASSERT_TRUE(outcome.answer);
    EXPECT_EQ((*outcome.answer)["tokens"], 1);
    EXPECT_EQ((*outcome.answer)["token"], "tok/en&x=1");
    EXPECT_EQ((*outcome.answer)["params"], 1);
    ASSERT_EQ(server_.received().size(), 1u);
    EXPECT_EQ(server_.received()[0].target,
              "/api2/file/search/a%2Fb%26token%3Devil%23x?token=tok%2Fen%26x%3D1");
}

// ---- the token renewal

struct RetryCase {
    const char* name;
    std::optional<json> postData;
    std::string method;
    std::string expectedMethod;
};

class InterfaceManagerRetryTest : public InterfaceManagerTest,
                                  public ::testing::WithParamInterface<RetryCase> {};

// The retry repeats the method and body: a POST resent as a bare GET would report success for
// work that never reached the server.
TEST_P(InterfaceManagerRetryTest, EmptyAnswerRenewsTheTokenAndRepeatsTheRequest) {
    const RetryCase& c = GetParam();
    server_.setHandler(LoginServer{});
    Outcome outcome = framed(manager_->pathForRestMethod("confirm", "read", {"12"}),
                             {.postData = c.postData, .method = c.method});
    ASSERT_TRUE(outcome.answer) << (outcome.error ? outcome.error->description : "");
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_EQ((*outcome.answer)["method"], c.expectedMethod);
    EXPECT_EQ((*outcome.answer)["body"], c.postData ? *c.postData : json());

    EXPECT_THAT(targets(),
                ElementsAre(c.expectedMethod + " /api2/read/confirm/12?token=old-token",
                            "HEAD /api2/auth/loginv2", "GET /api2/auth/loginv2",
                            c.expectedMethod + " /api2/read/confirm/12?token=new-token"));
    EXPECT_EQ(keychain_->token(), "new-token");
    EXPECT_EQ(keychain_->username(), "demo");
    EXPECT_EQ(keychain_->password(), "demo-password");
    EXPECT_EQ(logs_->count(InterfaceManager::kLogInvalidToken), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, InterfaceManagerRetryTest,
    ::testing::Values(RetryCase{"Get", std::nullopt, "", "GET"},
                      RetryCase{"Post", json{{"confirm_date", "2024-01-02 10:00:00"}}, "", "POST"},
                      RetryCase{"Put", json{{"id", 3}, {"name", "x"}}, "PUT", "PUT"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(InterfaceManagerTest, SecondEmptyAnswerGivesTheRefreshError) {
    LoginServer model;
    model.alwaysEmpty = true;
    server_.setHandler(model);
    Outcome outcome = framed(manager_->pathForRestMethod("list", "locale"));
    EXPECT_EQ(outcome.calls, 1);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(*outcome.error, Error::make("VX", 503, "It was not possible to refresh the token."));
    EXPECT_THAT(targets(),
                ElementsAre("GET /api2/locale/list?token=old-token", "HEAD /api2/auth/loginv2",
                            "GET /api2/auth/loginv2", "GET /api2/locale/list?token=new-token"));
}

// A failed renewal ends the waiting operation with an error besides the sign-in hand-over;
// nothing may end without a callback.
TEST_F(InterfaceManagerTest, FailedRenewalGivesSessionExpiredAndHandsOverToSignIn) {
    struct Case {
        const char* name;
        int loginStatus;
        json loginAnswer;
        bool credentialsStored;
        int expectedRequests;
    };
    const Case cases[] = {
        {"refused", 401, {{"success", false}}, true, 3},
        {"server error", 500, {{"message", "down"}}, true, 3},
        {"no token in answer", 200, {{"success", true}}, true, 3},
        {"no stored password", 200, {{"success", true}, {"token", "new-token"}}, false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        makeManager(server.baseURL());
        keychain_->deleteCredentials();
        keychain_->saveUsername("demo", c.credentialsStored ? "pw" : "", "old-token");
        LoginServer model;
        model.loginStatus = c.loginStatus;
        model.loginAnswer = c.loginAnswer;
        server.setHandler(model);
        int expired = 0;
        int notified = 0;
        manager_->setHooks({.sessionExpired = [&] { ++expired; }});
        auto token =
            NotificationCenter::shared().addObserver(InterfaceManager::kSessionExpiredNotification,
                                                     [&](const Notification&) { ++notified; });

        Outcome outcome = framed(manager_->pathForRestMethod("list", "locale"));
        NotificationCenter::shared().removeObserver(token);
        EXPECT_EQ(outcome.calls, 1);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(*outcome.error, Error::make("VX", 401, "Session expired. Please sign in again."));
        EXPECT_EQ(expired, 1);
        EXPECT_EQ(notified, 1);
        EXPECT_EQ(static_cast<int>(server.received().size()), c.expectedRequests);
        EXPECT_EQ(keychain_->token(), "old-token");
    }
}

TEST_F(InterfaceManagerTest, RequestsMeetingTheSameExpiredTokenShareOneRenewal) {
    server_.setHandler(LoginServer{});
    auto outcomes = std::make_shared<std::vector<Outcome>>(3);
    for (int i = 0; i < 3; ++i) {
        manager_->sendRequest(
            manager_->pathForRestMethod("list", "locale", {std::to_string(i)}),
            [outcomes, i](const json& answer) {
                ++(*outcomes)[i].calls;
                (*outcomes)[i].answer = answer;
            },
            [outcomes, i](const Error& error) {
                ++(*outcomes)[i].calls;
                (*outcomes)[i].error = error;
            });
    }
    ASSERT_TRUE(pump([&] {
        return std::all_of(outcomes->begin(), outcomes->end(),
                           [](const Outcome& o) { return o.calls > 0; });
    }));
    MainQueue::shared().poll();
    int logins = 0;
    for (const auto& request : server_.received()) {
        logins += request.target == "/api2/auth/loginv2" && request.method == "GET" ? 1 : 0;
    }
    EXPECT_EQ(logins, 1);
    for (const auto& outcome : *outcomes) {
        EXPECT_EQ(outcome.calls, 1);
        EXPECT_TRUE(outcome.answer);
    }
}

// ---- sign-in

TEST_F(InterfaceManagerTest, CurrentSignInSendsHeadersAndRecordsTheUser) {
    LoginServer model;
    model.loginAnswer = {
        {"success", true}, {"token", "tok-1"}, {"secret", "sec-1"}, {"userId", "42"}};
    server_.setHandler(model);
    keychain_->deleteCredentials();

    Outcome outcome = login("alice", "pa:ss");
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(outcome.token, "tok-1");
    EXPECT_EQ(outcome.secret, "sec-1");

    auto received = server_.received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].method, "HEAD");
    EXPECT_EQ(received[0].headers.count("Authorization"), 0u);
    EXPECT_EQ(received[1].method, "GET");
    const auto& headers = received[1].headers;
    auto value = [&](const char* name) {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    };
    EXPECT_EQ(value("X-Uid"), AccountManager::UID());
    EXPECT_EQ(value("X-App-Secret"), kAppSecret);
    EXPECT_EQ(value("Authorization"), "Basic " + base64("alice:pa:ss"));

    EXPECT_EQ(keychain_->username(), "alice");
    EXPECT_EQ(keychain_->password(), "pa:ss");
    EXPECT_EQ(keychain_->token(), "tok-1");
    auto user = AccountManager::currentUser();
    ASSERT_TRUE(user);
    EXPECT_EQ(user->cmsID, 42);
    EXPECT_EQ(user->username, "alice");
}

TEST_F(InterfaceManagerTest, RefusedSignInGivesNoTokenAndNoError) {
    for (int status : {401, 403}) {
        LoginServer model;
        model.loginStatus = status;
        model.loginAnswer = {{"success", false}};
        server_.setHandler(model);
        Outcome outcome = login("alice", "wrong");
        EXPECT_EQ(outcome.calls, 1) << status;
        EXPECT_FALSE(outcome.error) << status;
        EXPECT_FALSE(outcome.token) << status;
        EXPECT_FALSE(outcome.secret) << status;
        EXPECT_FALSE(AccountManager::currentUser()) << status;
    }
}

TEST_F(InterfaceManagerTest, FailingProbeSelectsThePathSignInWithEscapedParts) {
    LoginServer model;
    model.probeStatus = 404;
    model.loginAnswer = {
        {"success", true}, {"token", "tok-2"}, {"secret", "ignored"}, {"userId", "9"}};
    server_.setHandler(model);

    Outcome outcome = login("a/b", "p&token=x/y");
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_EQ(outcome.token, "tok-2");
    EXPECT_FALSE(outcome.secret);

    auto received = server_.received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].target, "/api2/auth/login/a%2Fb/p%26token%3Dx%2Fy/" +
                                      AccountManager::UID() + "/" + kAppSecret);
    EXPECT_EQ(received[1].headers.count("Authorization"), 0u);
    // The path sign-in records nobody.
    EXPECT_FALSE(AccountManager::currentUser());
    EXPECT_EQ(keychain_->token(), "old-token");
}

// The path sign-in puts the password into the address, so only a server that says it does not
// know the header sign-in gets it; a failing or unreachable server ends the sign-in instead.
TEST_F(InterfaceManagerTest, OnlyA404Or405ProbeSelectsThePathSignIn) {
    struct Case {
        int probeStatus;
        const char* signIn;  // the second request, none when the sign-in ends at the probe
    };
    const Case cases[] = {
        {404, "/api2/auth/login/"},
        {405, "/api2/auth/login/"},
        {200, "/api2/auth/loginv2"},
        {401, "/api2/auth/loginv2"},
        {500, nullptr},
        {503, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.probeStatus);
        LoginServer model;
        model.probeStatus = c.probeStatus;
        server_.setHandler(model);
        server_.clearReceived();
        Outcome outcome = login("alice", "pw");
        EXPECT_EQ(outcome.calls, 1);
        auto received = server_.received();
        ASSERT_GE(received.size(), 1u);
        EXPECT_EQ(received[0].method, "HEAD");
        if (c.signIn) {
            ASSERT_EQ(received.size(), 2u);
            EXPECT_EQ(received[1].target.rfind(c.signIn, 0), 0u) << received[1].target;
            EXPECT_EQ(outcome.token, "new-token");
        } else {
            EXPECT_EQ(received.size(), 1u);
            ASSERT_TRUE(outcome.error);
            EXPECT_EQ(outcome.error->domain, HttpErrors::kHttpDomain);
            EXPECT_EQ(outcome.error->code, c.probeStatus);
            EXPECT_FALSE(outcome.token);
        }
    }

    // A server that cannot be reached gets no second request either.
    test::RefusingPort refusing;
    makeManager("http://127.0.0.1:" + std::to_string(refusing.port()) + "/api2");
    Outcome unreachable = login("alice", "pw");
    ASSERT_TRUE(unreachable.error);
    EXPECT_EQ(unreachable.error->domain, HttpErrors::kNetworkDomain);
    EXPECT_EQ(unreachable.error->code, HttpErrors::kCannotConnectToHost);
}

TEST_F(InterfaceManagerTest, LoginAnswerRules) {
    struct Case {
        const char* name;
        json answer;
        std::optional<std::string> token;
        std::optional<std::string> secret;
        bool unreadable;
    };
    const Case cases[] = {
        {"success", {{"success", true}, {"token", "t"}, {"secret", "s"}}, "t", "s", false},
        {"null secret", {{"success", true}, {"token", "t"}, {"secret", nullptr}}, "t", {}, false},
        {"refused", {{"success", false}, {"token", "t"}, {"secret", "s"}}, {}, {}, false},
        {"no token", {{"success", true}}, {}, {}, false},
        {"no success", {{"token", "t"}}, {}, {}, true},
        {"success as text", {{"success", "true"}, {"token", "t"}}, {}, {}, true},
        {"list", json::array({1}), {}, {}, true},
        {"text", "token", {}, {}, true},
        {"null", nullptr, {}, {}, true},
    };
    for (const auto& c : cases) {
        logs_->clear();
        EXPECT_EQ(InterfaceManager::tokenFromLoginResponse(c.answer), c.token) << c.name;
        EXPECT_EQ(InterfaceManager::secretFromLoginResponse(c.answer), c.secret) << c.name;
        EXPECT_EQ(logs_->count(InterfaceManager::kLogNoTokenInJson), c.unreadable ? 2 : 0)
            << c.name;
    }
}

// A sign-in answer that cannot be judged is an error, not a silent "no token".
TEST_F(InterfaceManagerTest, UnreadableSignInAnswerIsAnError) {
    for (bool probe : {true, false}) {
        server_.setHandler([probe](const httplib::Request& request, httplib::Response& response) {
            if (request.method == "HEAD") {
                response.status = probe ? 200 : 404;
                return;
            }
            answerJson(response, {{"token", "t"}});
        });
        logs_->clear();
        Outcome outcome = login("alice", "pw");
        EXPECT_EQ(outcome.calls, 1);
        ASSERT_TRUE(outcome.error) << probe;
        EXPECT_EQ(outcome.error->domain, InterfaceManager::kResponseErrorDomain);
        EXPECT_FALSE(outcome.error->description.empty());
        EXPECT_EQ(logs_->count(InterfaceManager::kLogNoTokenInJson), 1) << probe;
    }
}

// ---- bad answers and broken transports

TEST_F(InterfaceManagerTest, BadAnswersReachTheCallerAsOneLoggedErrorWithoutRetry) {
    struct Case {
        const char* name;
        int status;
        std::string body;
        std::string contentType;
    };
    const Case cases[] = {
        {"html page", 200, "<html><body>Maintenance</body></html>", "text/html"},
        {"html error page", 500, "<html><body>Internal error</body></html>", "text/html"},
        {"not json", 200, "{\"items\": [", "application/json"},
        {"json scalar", 200, "42", "application/json"},
        {"json text", 200, "\"done\"", "application/json"},
        {"not found", 404, "{\"error\": \"no such thing\"}", "application/json"},
        {"unauthorised", 401, "{\"success\": false}", "application/json"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        makeManager(server.baseURL());
        server.setHandler([c](const httplib::Request&, httplib::Response& response) {
            response.status = c.status;
            response.set_content(c.body, c.contentType.c_str());
        });
        logs_->clear();
        Outcome outcome = framed(manager_->pathForRestMethod("list", "locale"));
        EXPECT_EQ(outcome.calls, 1);
        ASSERT_TRUE(outcome.error);
        EXPECT_FALSE(outcome.error->description.empty());
        EXPECT_EQ(server.received().size(), 1u);
        EXPECT_EQ(logs_->count("Error while requesting: "), 1);
    }
}

TEST_F(InterfaceManagerTest, BrokenTransportsReachTheCallerAsOneLoggedError) {
    // A port nobody listens on any more.
    int closedPort = 0;
    {
        ScriptedHttpServer gone;
        closedPort = gone.port();
    }
    struct Case {
        const char* name;
        std::string baseURL;
    };
    const Case cases[] = {
        {"refused", "http://127.0.0.1:" + std::to_string(closedPort) + "/api2"},
        {"unresolvable", "http://pagewell-no-such-host.invalid/api2"},
        {"tls to a plain server", "https://127.0.0.1:" + std::to_string(server_.port()) + "/api2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        makeManager(c.baseURL);
        logs_->clear();
        Outcome outcome = framed(manager_->pathForRestMethod("list", "locale"));
        EXPECT_EQ(outcome.calls, 1);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->domain, "Network");
        EXPECT_FALSE(outcome.error->description.empty());
        EXPECT_EQ(logs_->count("Error while requesting: "), 1);
        EXPECT_EQ(logs_->count(InterfaceManager::kLogInvalidToken), 0);
    }
}

// ---- offline mode

TEST_F(InterfaceManagerTest, OfflineModeSendsNothing) {
    server_.setHandler(LoginServer{});
    setOfflineMode(true);
    EXPECT_TRUE(manager_->isInOfflineMode());
    EXPECT_FALSE(manager_->isReachable());
    EXPECT_FALSE(manager_->isReachableViaWLAN());

    Outcome outcome =
        framed(manager_->pathForRestMethod("list", "locale"), {.postData = json{{"a", 1}}});
    EXPECT_EQ(outcome.calls, 1);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(*outcome.error, Error::make("Unreachable", 100, "Server is unreachable"));
    EXPECT_THAT(server_.received(), IsEmpty());

    setOfflineMode(false);
    EXPECT_TRUE(manager_->isReachable());
    EXPECT_TRUE(manager_->isReachableViaWLAN());
}

// ---- plain requests

TEST_F(InterfaceManagerTest, PlainRequestKeepsItsOwnRulesAndReportsStatusAndBody) {
    server_.setHandler([](const httplib::Request& request, httplib::Response& response) {
        if (request.path == "/api2/check/clientversion") {
            response.status = 426;
            response.set_content("3.2.0", "text/plain");
            return;
        }
        response.status = 200;  // an empty answer is no token problem here
    });
    auto outcome = std::make_shared<std::pair<int, InterfaceManager::RawResponse>>();
    std::optional<Error> failure;
    manager_->send(
        {.method = "POST", .path = "check/clientversion", .jsonBody = json{{"version", "1.0"}}},
        [outcome](const InterfaceManager::RawResponse& response) {
            ++outcome->first;
            outcome->second = response;
        },
        [outcome, &failure](const Error& error, const InterfaceManager::RawResponse& response) {
            ++outcome->first;
            outcome->second = response;
            failure = error;
        });
    ASSERT_TRUE(pump([&] { return outcome->first > 0; }));
    ASSERT_TRUE(failure);
    EXPECT_EQ(outcome->second.status, 426);
    EXPECT_EQ(outcome->second.body, "3.2.0");

    outcome->first = 0;
    failure.reset();
    manager_->send(
        {.path = "check/maintenance"},
        [outcome](const InterfaceManager::RawResponse& response) {
            ++outcome->first;
            outcome->second = response;
        },
        [outcome, &failure](const Error& error, const InterfaceManager::RawResponse&) {
            ++outcome->first;
            failure = error;
        });
    ASSERT_TRUE(pump([&] { return outcome->first > 0; }));
    EXPECT_FALSE(failure);
    EXPECT_EQ(outcome->second.status, 200);
    EXPECT_FALSE(outcome->second.json);
    EXPECT_EQ(logs_->count(InterfaceManager::kLogInvalidToken), 0);
    ASSERT_EQ(server_.received().size(), 2u);
    EXPECT_EQ(server_.received()[0].body, R"({"version":"1.0"})");
}

// ---- logs

// Tokens, passwords, Basic credentials and the deployment secret never reach a log line: the
// URL lines, the traffic log at its full level, failures and both sign-in paths.
TEST_F(InterfaceManagerTest, NoSecretReachesAnyLogLine) {
    const std::string password = "pw SECRET/2&x";
    keychain_->saveUsername("demo", password, "tokSECRET1");
    LoginServer model;
    model.probeStatus = 404;  // the path sign-in carries the password in its path
    model.validToken = "tokSECRET3";
    model.loginAnswer = {
        {"success", true}, {"token", "tokSECRET3"}, {"secret", "userSECRET4"}, {"userId", "5"}};
    server_.setHandler(model);

    Outcome renewed = framed(manager_->pathForRestMethod("confirm", "read", {"1"}),
                             {.postData = json{{"password", "bodySECRET5"}}});
    ASSERT_TRUE(renewed.answer) << (renewed.error ? renewed.error->description : "");

    model.probeStatus = 200;
    server_.setHandler(model);
    Outcome current = login("demo", password);
    EXPECT_EQ(current.token, "tokSECRET3");

    server_.setHandler([](const httplib::Request&, httplib::Response& response) {
        response.status = 500;
        response.set_content("<html>boom</html>", "text/html");
    });
    Outcome failed = framed(manager_->pathForRestMethod("list", "locale"));
    ASSERT_TRUE(failed.error);

    EXPECT_GT(logs_->count("URL: "), 0);
    EXPECT_GT(logs_->count("auth/login/demo/"), 0);  // the traffic log did see the path sign-in
    const std::vector<std::string> secrets = {
        "tokSECRET1",  "tokSECRET3",
        "userSECRET4", "bodySECRET5",
        password,      InterfaceManager::percentEscape(password),
        kAppSecret,    base64("demo:" + password)};
    EXPECT_THAT(linesHolding(secrets), IsEmpty());
}

// ---- base address and reachability

TEST_F(InterfaceManagerTest, BaseAddressComesFromTheConfigurationAndCanBeReplaced) {
    writeAppSettings("https://cms.example.test/");
    EXPECT_EQ(InterfaceManager::defaultBaseURL(), "https://cms.example.test/api2");
    writeAppSettings("");
    EXPECT_EQ(InterfaceManager::defaultBaseURL(), "");

    ScriptedHttpServer other;
    other.setHandler([](const httplib::Request&, httplib::Response& response) {
        answerJson(response, {{"server", "other"}});
    });
    manager_->setBaseURL(other.baseURL());
    EXPECT_EQ(manager_->baseURL(), other.baseURL() + "/");
    Outcome outcome = framed(manager_->pathForRestMethod("list", "locale"));
    ASSERT_TRUE(outcome.answer);
    EXPECT_EQ((*outcome.answer)["server"], "other");
    EXPECT_THAT(server_.received(), IsEmpty());
}

TEST_F(InterfaceManagerTest, ReachableServerSendsTheCollectedReadConfirmations) {
    int sent = 0;
    manager_->setHooks({.sendUnsyncedReadConfirmations = [&] { ++sent; }});
    EXPECT_EQ(manager_->reachabilityWatcher(), nullptr);
    manager_->setupReachabilityNotifications();
    ASSERT_NE(manager_->reachabilityWatcher(), nullptr);
    EXPECT_TRUE(manager_->reachabilityWatcher()->watchesByAddress());
    EXPECT_EQ(logs_->count("SETUP REACHABILITY FOR HOST: 127.0.0.1"), 1);
    ASSERT_TRUE(pump([&] { return sent > 0; }));
    EXPECT_EQ(logs_->count("started from reachability change"), 1);

    // A new base address watches the new host.
    manager_->setBaseURL("http://localhost:" + std::to_string(server_.port()) + "/api2");
    ASSERT_NE(manager_->reachabilityWatcher(), nullptr);
    EXPECT_EQ(manager_->reachabilityWatcher()->host(), "localhost");
    EXPECT_EQ(logs_->count("SETUP REACHABILITY FOR HOST: localhost"), 1);
}

}  // namespace
}  // namespace pagewell::test

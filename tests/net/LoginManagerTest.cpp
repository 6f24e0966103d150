#include "net/LoginManager.h"

#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "net/PasswordHash.h"
#include "net/SHA1Generator.h"
#include "platform/HttpResponse.h"

namespace pagewell::test {
namespace {

using namespace std::chrono_literals;

// What a login reported.
struct LoginOutcome {
    int calls = 0;
    bool succeeded = false;
    std::optional<Error> error;
};

class LoginManagerTest : public SessionFixture {
  protected:
    LoginOutcome login(const std::string& user, const std::string& password) {
        auto outcome = std::make_shared<LoginOutcome>();
        LoginManager::shared().loginWithUserName(
            user, password,
            [outcome] {
                ++outcome->calls;
                outcome->succeeded = true;
            },
            [outcome](const Error& error) {
                ++outcome->calls;
                outcome->error = error;
            });
        EXPECT_TRUE(pumpUntil([&] { return outcome->calls > 0; }));
        MainQueue::shared().poll();  // a second call would show here
        return *outcome;
    }

    // Starts an offline login and leaves it running (it may be waiting for the question).
    std::shared_ptr<LoginOutcome> startOffline(const std::string& user,
                                               const std::string& password) {
        auto outcome = std::make_shared<LoginOutcome>();
        LoginManager::shared().loginOfflineUserWithName(
            user, password,
            [outcome] {
                ++outcome->calls;
                outcome->succeeded = true;
            },
            [outcome](const Error& error) {
                ++outcome->calls;
                outcome->error = error;
            });
        return outcome;
    }

    std::optional<User> storedUser(const std::string& name) {
        return AccountManager::findUserNamed(main(), name);
    }

    // Signs "demo" in online, then takes the server away.
    void signInOnlineThenLoseTheServer() {
        startServer();
        ASSERT_TRUE(login("demo", "demo").succeeded);
        stopServer();
    }

    void expectNoSecretInLogs(const std::vector<std::string>& secrets) {
        for (const std::string& line : logs_->lines()) {
            for (const std::string& secret : secrets) {
                EXPECT_EQ(line.find(secret), std::string::npos) << line;
            }
        }
    }
};

TEST_F(LoginManagerTest, OnlineLoginStoresTokenUserAndSession) {
    startServer();
    LoginOutcome outcome = login("demo", "demo");
    ASSERT_TRUE(outcome.succeeded) << (outcome.error ? outcome.error->description : "");
    EXPECT_EQ(outcome.calls, 1);

    EXPECT_EQ(keychain_->username(), "demo");
    EXPECT_EQ(keychain_->password(), "demo");
    EXPECT_FALSE(keychain_->token().empty());
    EXPECT_EQ(LoginManager::shared().lastLoginDate(), clock_->now());
    EXPECT_TRUE(LoginManager::shared().isLoggedIn());

    std::optional<User> user = storedUser("demo");
    ASSERT_TRUE(user);
    EXPECT_EQ(user->cmsID, 1);
    EXPECT_EQ(user->secret, "secret-1");
    ASSERT_TRUE(user->passwordHash);
    EXPECT_EQ(user->passwordHash->rfind("pbkdf2-sha256$", 0), 0u);
    EXPECT_EQ(PasswordHash::verify("demo", *user->passwordHash), PasswordHash::Match::Yes);
    EXPECT_EQ(AccountManager::currentUsername(), "demo");
    EXPECT_EQ(UserDefaults::shared().stringValue(AccountManager::kCurrentUserKey), "demo");

    expectNoSecretInLogs({keychain_->token(), kSessionAppSecret, "secret-1"});
}

TEST_F(LoginManagerTest, InputAndRefusalErrorsCarryTheirTexts) {
    startServer();
    struct Case {
        const char* why;
        std::string user;
        std::string password;
        Error expected;
    };
    const Case cases[] = {
        {"no user name", "", "demo",
         Error::make("VXErrorDomain", -100, "Cannot login without username")},
        {"no password", "demo", "",
         Error::make("VXErrorDomain", -100, "Cannot login without password")},
        {"wrong password", "demo", "wrong",
         Error::make("Pagewell", 0, "Please check your username and password.")},
        {"unknown user", "nobody", "demo",
         Error::make("Pagewell", 0, "Please check your username and password.")},
    };
    for (const Case& c : cases) {
        LoginOutcome outcome = login(c.user, c.password);
        EXPECT_EQ(outcome.calls, 1) << c.why;
        ASSERT_TRUE(outcome.error) << c.why;
        EXPECT_EQ(*outcome.error, c.expected) << c.why;
    }
    EXPECT_TRUE(logs_->contains("Cannot login without username"));
    EXPECT_TRUE(logs_->contains("Cannot login without password"));
    EXPECT_EQ(keychain_->token(), "");
    EXPECT_FALSE(LoginManager::shared().isLoggedIn());
    expectNoSecretInLogs({kSessionAppSecret, "wrong"});
}

// Server gone, offline mode off: the right password asks about offline mode and signs in with
// either answer; only "Yes" switches offline mode on. The stored token stays.
TEST_F(LoginManagerTest, UnreachableServerWithTheRightPasswordAsksAboutOfflineMode) {
    signInOnlineThenLoseTheServer();
    const std::string token = keychain_->token();
    for (bool yes : {false, true}) {
        setOfflineMode(false);
        std::size_t before = presenter_->shown.size();
        auto outcome = std::make_shared<LoginOutcome>();
        LoginManager::shared().loginWithUserName(
            "demo", "demo", [outcome] { ++outcome->calls, outcome->succeeded = true; },
            [outcome](const Error& error) { ++outcome->calls, outcome->error = error; });
        Presenter::AlertId id = waitForAlert(before + 1);
        ASSERT_NE(id, 0);
        const Alert& alert = presenter_->shown.back().alert;
        EXPECT_EQ(alert.title, "Offline mode");
        EXPECT_EQ(alert.message,
                  "Connection to the server could not be established. Do you want to activate "
                  "offline mode?");
        EXPECT_EQ(alert.cancelButtonTitle, "No");
        EXPECT_EQ(alert.otherButtonTitles, std::vector<std::string>{"Yes"});
        EXPECT_EQ(outcome->calls, 0);  // waits for the answer

        presenter_->answer(id, yes ? alert.firstOtherButtonIndex() : alert.cancelButtonIndex());
        ASSERT_TRUE(pumpUntil([&] { return outcome->calls > 0; }));
        EXPECT_TRUE(outcome->succeeded) << yes;
        EXPECT_EQ(offlineMode(), yes);
        EXPECT_EQ(keychain_->token(), token);
        EXPECT_EQ(AccountManager::currentUsername(), "demo");
    }
}

TEST_F(LoginManagerTest, UnreachableServerWithAWrongPasswordFailsWithTheOfflineTexts) {
    signInOnlineThenLoseTheServer();
    struct Case {
        bool offline;
        const char* description;
    };
    const Case cases[] = {
        {false,
         "Please check your username and password, that your account has been activated and "
         "has sufficient rights."},
        {true, "The connection to the server could not be established."},
    };
    for (const Case& c : cases) {
        setOfflineMode(c.offline);
        std::size_t alerts = presenter_->shown.size();
        LoginOutcome outcome =
            c.offline ? [&] {
                auto running = startOffline("demo", "wrong");
                EXPECT_TRUE(pumpUntil([&] { return running->calls > 0; }));
                return *running;
            }()
                      : login("demo", "wrong");
        EXPECT_EQ(outcome.calls, 1);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(*outcome.error, Error::make("Pagewell", 0, c.description));
        EXPECT_EQ(presenter_->shown.size(), alerts);  // nothing asked
    }
}

TEST_F(LoginManagerTest, OfflineModeOnSignsInWithoutTouchingKeychainOrSession) {
    signInOnlineThenLoseTheServer();
    setOfflineMode(true);
    ASSERT_TRUE(UserDefaults::shared().remove(LoginManager::kLastLoginKey).ok());
    keychain_->saveUsername(std::nullopt, std::nullopt, "kept-token");
    AccountManager::_forgetKeptUser();

    auto outcome = startOffline("demo", "demo");
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls > 0; }));
    EXPECT_TRUE(outcome->succeeded);
    EXPECT_TRUE(presenter_->shown.empty());
    EXPECT_EQ(AccountManager::currentUsername(), "demo");
    EXPECT_EQ(keychain_->token(), "kept-token");
    EXPECT_FALSE(LoginManager::shared().lastLoginDate());
}

// Stores of earlier releases hold a bare SHA-1: it is accepted once and replaced by the salted
// form on that login; the password still works afterwards and a wrong one still fails.
TEST_F(LoginManagerTest, ALegacySha1HashIsAcceptedOnceAndReplaced) {
    User user;
    user.username = "demo";
    user.passwordHash = SHA1Generator::getSHA1Hash("demo");
    ASSERT_TRUE(main().beginWrite().ok());
    ASSERT_TRUE(user.update(main()).ok());
    ASSERT_TRUE(main().save().ok());
    setOfflineMode(true);

    auto first = startOffline("demo", "demo");
    ASSERT_TRUE(pumpUntil([&] { return first->calls > 0; }));
    EXPECT_TRUE(first->succeeded);
    std::optional<User> stored = storedUser("demo");
    ASSERT_TRUE(stored && stored->passwordHash);
    EXPECT_EQ(stored->passwordHash->rfind("pbkdf2-sha256$100000$", 0), 0u);
    EXPECT_EQ(PasswordHash::verify("demo", *stored->passwordHash), PasswordHash::Match::Yes);

    auto wrong = startOffline("demo", "nope");
    ASSERT_TRUE(pumpUntil([&] { return wrong->calls > 0; }));
    EXPECT_TRUE(wrong->error);
    auto again = startOffline("demo", "demo");
    ASSERT_TRUE(pumpUntil([&] { return again->calls > 0; }));
    EXPECT_TRUE(again->succeeded);
}

// "LOGOUT_INTERVAL" is 60 minutes in the shipped settings.
TEST_F(LoginManagerTest, SessionIsValidFor59MinutesButNot61) {
    ASSERT_EQ(LoginManager::logoutIntervalMinutes(), 60);
    startServer();
    ASSERT_TRUE(login("demo", "demo").succeeded);
    const SystemTime signedIn = clock_->now();
    struct Case {
        std::chrono::minutes after;
        bool valid;
    };
    for (Case c : {Case{0min, true}, Case{59min, true}, Case{60min, false}, Case{61min, false}}) {
        clock_->set(signedIn + c.after);
        EXPECT_EQ(LoginManager::shared().isLoggedIn(), c.valid) << c.after.count();
        EXPECT_EQ(LoginManager::shared()._checkLastLoginDate(), c.valid) << c.after.count();
    }
    EXPECT_EQ(LoginManager::shared().sessionValidUntil(), signedIn + 60min);

    // Without a token the session is over even within the time.
    clock_->set(signedIn + 1min);
    keychain_->deleteCredentials();
    EXPECT_FALSE(LoginManager::shared().isLoggedIn());
    EXPECT_TRUE(LoginManager::shared()._checkLastLoginDate());
}

TEST_F(LoginManagerTest, CheckLoginSignsInAgainOnlyWithinTheTime) {
    startServer();
    ASSERT_TRUE(login("demo", "demo").succeeded);
    const SystemTime signedIn = clock_->now();

    struct Answer {
        int calls = 0;
        bool valid = false;
        std::optional<Error> error;
    };
    auto check = [] {
        auto answer = std::make_shared<Answer>();
        LoginManager::shared().checkLoginWithBlock(
            [answer](bool valid, std::optional<Error> error) {
                ++answer->calls;
                answer->valid = valid;
                answer->error = std::move(error);
            });
        EXPECT_TRUE(pumpUntil([&] { return answer->calls > 0; }));
        return *answer;
    };

    clock_->set(signedIn + 30min);
    Answer fresh = check();
    EXPECT_TRUE(fresh.valid);
    EXPECT_FALSE(fresh.error);
    EXPECT_EQ(LoginManager::shared().lastLoginDate(), signedIn + 30min);  // renewed

    clock_->set(signedIn + 30min + 61min);
    Answer expired = check();
    EXPECT_FALSE(expired.valid);
    EXPECT_FALSE(expired.error);
}

TEST_F(LoginManagerTest, LogoutEndsTheSessionButKeepsKeychainAndUser) {
    startServer();
    ASSERT_TRUE(login("demo", "demo").succeeded);
    std::vector<std::string> calls;
    LoginManager::shared().setHooks(
        LoginManager::Hooks{[&] { calls.push_back("stop sync"); },
                            [&](int type, const std::string& label, const std::string& screen) {
                                calls.push_back(fmt::format("track {} {} {}", type, label, screen));
                            },
                            [&] { calls.push_back("server logout"); }});

    LoginManager::shared().logout();
    EXPECT_EQ(calls,
              (std::vector<std::string>{"stop sync", "track 2 logout PLX", "server logout"}));
    EXPECT_FALSE(LoginManager::shared().lastLoginDate());
    EXPECT_FALSE(LoginManager::shared().isLoggedIn());
    EXPECT_EQ(keychain_->username(), "demo");
    EXPECT_FALSE(keychain_->token().empty());
    EXPECT_EQ(AccountManager::currentUsername(), "demo");
}

// A second user signing in online replaces the first in the keychain and becomes current; a
// direct switch back without logout is refused.
TEST_F(LoginManagerTest, TwoUsersOnOneInstallation) {
    startServer();
    ASSERT_TRUE(login("demo", "demo").succeeded);
    ASSERT_TRUE(login("other", "pw2").succeeded);
    EXPECT_EQ(keychain_->username(), "other");
    EXPECT_EQ(AccountManager::currentUsername(), "other");
    std::optional<User> demo = storedUser("demo");
    ASSERT_TRUE(demo);
    EXPECT_FALSE(AccountManager::setCurrentUser(demo));
    EXPECT_EQ(AccountManager::currentUsername(), "other");
}

// The managed-device login shares the token handling of the online login, but a request error
// ends it: no offline fallback and no question.
TEST_F(LoginManagerTest, ManagedLoginSignsInAndFailsWithoutOfflineFallback) {
    auto managed = [](const std::string& user, const std::string& password) {
        auto outcome = std::make_shared<LoginOutcome>();
        LoginManager::shared().appConnectLoginWithUsername(
            user, password,
            [outcome] {
                ++outcome->calls;
                outcome->succeeded = true;
            },
            [outcome](const Error& error) {
                ++outcome->calls;
                outcome->error = error;
            });
        EXPECT_TRUE(pumpUntil([&] { return outcome->calls > 0; }));
        return *outcome;
    };
    startServer();
    LoginOutcome empty = managed("", "demo");
    ASSERT_TRUE(empty.error);
    EXPECT_EQ(empty.error->description, "Cannot login without username");
    LoginOutcome signedIn = managed("demo", "demo");
    ASSERT_TRUE(signedIn.succeeded) << (signedIn.error ? signedIn.error->description : "");
    EXPECT_FALSE(keychain_->token().empty());
    EXPECT_TRUE(LoginManager::shared().isLoggedIn());
    EXPECT_EQ(AccountManager::currentUsername(), "demo");

    stopServer();
    LoginOutcome unreachable = managed("demo", "demo");
    EXPECT_EQ(unreachable.calls, 1);
    ASSERT_TRUE(unreachable.error);
    EXPECT_EQ(unreachable.error->domain, HttpErrors::kNetworkDomain);
    EXPECT_TRUE(presenter_->shown.empty());
}

}  // namespace
}  // namespace pagewell::test

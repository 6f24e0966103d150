#include "net/AccountManager.h"

#include <gtest/gtest.h>

#include <regex>

#include "SessionFixture.h"

namespace pagewell::test {
namespace {

class AccountManagerTest : public SessionFixture {
  protected:
    User addUser(const std::string& name) {
        User user;
        user.username = name;
        EXPECT_TRUE(main().beginWrite().ok());
        EXPECT_TRUE(user.update(main()).ok());
        EXPECT_TRUE(main().save().ok());
        return user;
    }
};

TEST_F(AccountManagerTest, UIDIsAnUpperCaseUUIDMadeOnceAndKept) {
    std::string uid = AccountManager::UID();
    EXPECT_TRUE(std::regex_match(
        uid, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
        << uid;
    EXPECT_EQ(AccountManager::UID(), uid);
    // A later run reads it back from the user defaults file.
    UserDefaults later(areas_->userDefaultsFile());
    EXPECT_EQ(later.stringValue(AccountManager::kUIDKey), uid);
}

TEST_F(AccountManagerTest, PushTokenIsStoredAndItsAbsenceLogged) {
    EXPECT_EQ(AccountManager::pushToken(), std::nullopt);
    EXPECT_TRUE(logs_->contains(AccountManager::kNoPushTokenMessage));
    AccountManager::setPushToken("device-token");
    EXPECT_EQ(AccountManager::pushToken(), "device-token");
    AccountManager::setPushToken(std::nullopt);
    EXPECT_FALSE(UserDefaults::shared().contains(AccountManager::kPushTokenKey));
}

TEST_F(AccountManagerTest, SetCurrentUserWithNoneIsRefused) {
    EXPECT_FALSE(AccountManager::setCurrentUser(std::nullopt));
    EXPECT_TRUE(logs_->contains(AccountManager::kNilUserMessage));
    EXPECT_EQ(AccountManager::currentUsername(), "");
}

// The two-users rule: a second user cannot become current while the keychain still holds the
// first one; with the keychain empty or naming the user, the user is accepted and remembered.
TEST_F(AccountManagerTest, ASecondUserIsRefusedWhileTheFirstIsInTheKeychain) {
    User alice = addUser("alice");
    User bob = addUser("bob");
    EXPECT_TRUE(AccountManager::setCurrentUser(alice));  // empty keychain
    keychain_->saveUsername("alice", "pw", "token");
    EXPECT_TRUE(AccountManager::setCurrentUser(alice));

    EXPECT_FALSE(AccountManager::setCurrentUser(bob));
    EXPECT_TRUE(logs_->contains(
        "Cannot set current user because 'alice' is still logged in. Use logout method before."));
    EXPECT_EQ(AccountManager::currentUsername(), "alice");
    EXPECT_EQ(UserDefaults::shared().stringValue(AccountManager::kCurrentUserKey), "alice");
    ASSERT_TRUE(AccountManager::currentUser());
    EXPECT_EQ(AccountManager::currentUser()->pk, alice.pk);

    keychain_->deleteCredentials();
    EXPECT_TRUE(AccountManager::setCurrentUser(bob));
    EXPECT_EQ(AccountManager::currentUsername(), "bob");
    EXPECT_EQ(UserDefaults::shared().stringValue(AccountManager::kCurrentUserKey), "bob");
}

// A new run knows only "CURRENT_USER": the user is resolved from it when the keychain names the
// same user, and forgotten when it names someone else or nobody.
TEST_F(AccountManagerTest, ANewRunResolvesTheCurrentUserOnlyWhenTheKeychainAgrees) {
    struct Case {
        const char* why;
        std::string keychainName;
        bool resolved;
    };
    const Case cases[] = {
        {"keychain names the user", "alice", true},
        {"keychain names another user", "bob", false},
        {"keychain is empty", "", false},
    };
    User alice = addUser("alice");
    for (const Case& c : cases) {
        keychain_->deleteCredentials();
        keychain_->saveUsername(c.keychainName, "pw", "token");
        ASSERT_TRUE(UserDefaults::shared().set(AccountManager::kCurrentUserKey, "alice").ok());
        AccountManager::_forgetKeptUser();  // a new process

        std::optional<User> current = AccountManager::currentUserInContext(main());
        EXPECT_EQ(current.has_value(), c.resolved) << c.why;
        if (c.resolved) {
            EXPECT_EQ(current->pk, alice.pk) << c.why;
            EXPECT_EQ(CurrentSelection::userKey(), alice.pk) << c.why;
        } else {
            EXPECT_EQ(AccountManager::currentUsername(), "") << c.why;
        }
    }
}

TEST_F(AccountManagerTest, AnUnknownNameResolvesToNobody) {
    keychain_->saveUsername("ghost", "pw", "token");
    ASSERT_TRUE(UserDefaults::shared().set(AccountManager::kCurrentUserKey, "ghost").ok());
    EXPECT_FALSE(AccountManager::currentUserInContext(main()).has_value());
    EXPECT_EQ(CurrentSelection::userName(), std::nullopt);
}

}  // namespace
}  // namespace pagewell::test

#include "net/KeychainBridge.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "TestSupport.h"
#include "platform/FileSystem.h"

namespace pagewell {
namespace {

class KeychainBridgeTest : public ::testing::Test {
  protected:
    std::filesystem::path file() const { return dir_.path() / "Keychain" / "Pagewell_login.json"; }
    std::unique_ptr<KeychainBridge> bridge() {
        return std::make_unique<KeychainBridge>(KeychainBridge::Backend::File, file());
    }
    static ino_t inode(const std::filesystem::path& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
    }

    TemporaryDirectory dir_;
};

TEST_F(KeychainBridgeTest, StoresAllThreeFieldsOwnerOnlyAndReadsThemInALaterRun) {
    bridge()->saveUsername("demo", "pa55 wörd", "token-1");

    struct stat info {};
    ASSERT_EQ(::stat(file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    auto later = bridge();  // a new process reads the file
    EXPECT_EQ(later->username(), "demo");
    EXPECT_EQ(later->password(), "pa55 wörd");
    EXPECT_EQ(later->token(), "token-1");
    EXPECT_EQ(later->backendName(), "file");
}

TEST_F(KeychainBridgeTest, AnEmptyOrAbsentFieldKeepsTheStoredValue) {
    auto keychain = bridge();
    keychain->saveUsername("demo", "secret", "token-1");
    keychain->saveUsername(std::nullopt, "", "token-2");  // a token refresh
    EXPECT_EQ(keychain->username(), "demo");
    EXPECT_EQ(keychain->password(), "secret");
    EXPECT_EQ(keychain->token(), "token-2");
    EXPECT_EQ(bridge()->token(), "token-2");
    EXPECT_EQ(bridge()->password(), "secret");
}

TEST_F(KeychainBridgeTest, EqualValuesDoNotRewriteTheItem) {
    auto keychain = bridge();
    keychain->saveUsername("demo", "secret", "token-1");
    ino_t before = inode(file());
    keychain->saveUsername("demo", "secret", "token-1");
    keychain->saveUsername(std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(inode(file()), before);  // an atomic rewrite would give a new inode
    keychain->saveUsername("demo", "secret", "token-2");
    EXPECT_NE(inode(file()), before);
}

TEST_F(KeychainBridgeTest, DeleteRemovesTheWholeItem) {
    auto keychain = bridge();
    keychain->saveUsername("demo", "secret", "token-1");
    keychain->deleteCredentials();
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(keychain->username(), "");
    EXPECT_EQ(keychain->token(), "");
    EXPECT_EQ(bridge()->password(), "");
}

TEST_F(KeychainBridgeTest, AFileOpenedToOthersIsMadeOwnerOnlyAgain) {
    bridge()->saveUsername("demo", "secret", "token-1");
    ASSERT_EQ(::chmod(file().c_str(), 0644), 0);
    EXPECT_EQ(bridge()->password(), "secret");
    struct stat info {};
    ASSERT_EQ(::stat(file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(KeychainBridgeTest, ADamagedFileReadsAsEmptyAndIsReplacedOnTheNextWrite) {
    ASSERT_TRUE(FileSystem::createDirectories(file().parent_path()).ok());
    ASSERT_TRUE(FileSystem::writeFileAtomically(file(), "{not json").ok());
    auto keychain = bridge();
    EXPECT_EQ(keychain->username(), "");
    keychain->saveUsername("demo", "secret", "token-1");
    EXPECT_EQ(bridge()->username(), "demo");
}

// Without a session bus no Secret Service can answer: the bridge must fall back to the file
// at once instead of trying to start a bus or waiting.
TEST_F(KeychainBridgeTest, FallsBackToTheFileWhenNoSecretServiceAnswers) {
    const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    std::string previous = saved != nullptr ? saved : "";
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    KeychainBridge keychain(KeychainBridge::Backend::SecretService, file());
    keychain.saveUsername("demo", "secret", "token-1");
    EXPECT_EQ(keychain.backendName(), "file");
    EXPECT_TRUE(std::filesystem::exists(file()));
    if (saved != nullptr) {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", previous.c_str(), 1);
    }
}

TEST_F(KeychainBridgeTest, TheEnvironmentChoosesTheFile) {
    ::setenv(KeychainBridge::kBackendVariable, "file", 1);
    KeychainBridge keychain(KeychainBridge::Backend::Automatic, file());
    keychain.saveUsername("demo", "secret", "token-1");
    EXPECT_EQ(keychain.backendName(), "file");
    EXPECT_TRUE(std::filesystem::exists(file()));
    ::unsetenv(KeychainBridge::kBackendVariable);
}

}  // namespace
}  // namespace pagewell

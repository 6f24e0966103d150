#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <thread>

#include "TestSupport.h"
#include "platform/FileSystem.h"
#include "platform/Logger.h"

namespace pagewell {
namespace {

class CapturingSink : public LogSink {
  public:
    void write(const LogMessage& message) override {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    }
    std::vector<LogMessage> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }

  private:
    std::mutex mutex_;
    std::vector<LogMessage> messages_;
};

class UserDefaultsTest : public ::testing::Test {
  protected:
    TemporaryDirectory dir_;
    // A directory that does not exist yet: the first write must create it.
    std::filesystem::path file_ = dir_.path() / "Library" / "Preferences" / "pagewell.plist";
};

TEST_F(UserDefaultsTest, EveryChangeIsWrittenThroughForTheNextReader) {
    UserDefaults writer(file_);
    ASSERT_TRUE(writer.set("UID", "3F2A").ok());
    ASSERT_TRUE(writer.set("TRACKING_OPT_IN_ACCEPTED", true).ok());
    ASSERT_TRUE(writer.set("count", std::int64_t{-7}).ok());
    ASSERT_TRUE(writer.set("ratio", 0.25).ok());
    ASSERT_TRUE(writer.set("bookmark_x", PlistArray{PlistValue(1), PlistValue("two")}).ok());

    UserDefaults reader(file_);
    EXPECT_EQ(reader.stringValue("UID"), "3F2A");
    EXPECT_TRUE(reader.boolValue("TRACKING_OPT_IN_ACCEPTED"));
    EXPECT_EQ(reader.integerValue("count"), -7);
    EXPECT_DOUBLE_EQ(reader.realValue("ratio"), 0.25);
    EXPECT_EQ(reader.get("bookmark_x"), PlistValue(PlistArray{PlistValue(1), PlistValue("two")}));
    EXPECT_EQ(reader.allKeys(), (std::vector<std::string>{"TRACKING_OPT_IN_ACCEPTED", "UID",
                                                          "bookmark_x", "count", "ratio"}));

    ASSERT_TRUE(writer.remove("UID").ok());
    UserDefaults afterRemoval(file_);
    EXPECT_FALSE(afterRemoval.contains("UID"));
    EXPECT_FALSE(afterRemoval.get("UID").has_value());
    EXPECT_TRUE(afterRemoval.contains("count"));
}

TEST_F(UserDefaultsTest, MissingKeysGiveTheFallbackAndAMissingFileIsNotCreatedByReading) {
    UserDefaults defaults(file_);
    EXPECT_TRUE(defaults.allKeys().empty());
    EXPECT_EQ(defaults.stringValue("absent", "fallback"), "fallback");
    EXPECT_TRUE(defaults.boolValue("absent", true));
    EXPECT_EQ(defaults.integerValue("absent", 42), 42);
    EXPECT_DOUBLE_EQ(defaults.realValue("absent", 1.5), 1.5);
    EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(UserDefaultsTest, CorruptFileIsLoggedReadAsEmptyAndKeptUntilTheNextChange) {
    ASSERT_TRUE(FileSystem::createDirectories(file_.parent_path()).ok());
    ASSERT_TRUE(
        FileSystem::writeFileAtomically(file_, "<?xml version=\"1.0\"?><plist><dict>").ok());
    auto sink = std::make_shared<CapturingSink>();
    Logger::shared().addSink(sink);
    UserDefaults defaults(file_);
    Logger::shared().removeSink(sink);

    EXPECT_TRUE(defaults.allKeys().empty());
    auto messages = sink->messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().flag, LogFlag::Error);
    EXPECT_NE(messages.front().message.find(file_.string()), std::string::npos);
    EXPECT_EQ(FileSystem::readFile(file_).value(), "<?xml version=\"1.0\"?><plist><dict>");

    ASSERT_TRUE(defaults.set("REDLINING_MIGRATION_DONE", true).ok());
    auto stored = PropertyList::readFile(file_.string());
    ASSERT_TRUE(stored.ok());
    EXPECT_EQ(stored.value(), PlistValue(PlistDict{{"REDLINING_MIGRATION_DONE", true}}));
}

TEST_F(UserDefaultsTest, APropertyListThatIsNotADictionaryCountsAsCorrupt) {
    ASSERT_TRUE(FileSystem::createDirectories(file_.parent_path()).ok());
    ASSERT_TRUE(PropertyList::writeFile(file_.string(), PlistArray{PlistValue("x")}).ok());
    UserDefaults defaults(file_);
    EXPECT_TRUE(defaults.allKeys().empty());
    ASSERT_TRUE(defaults.set("k", 1).ok());
    EXPECT_EQ(UserDefaults(file_).integerValue("k"), 1);
}

TEST_F(UserDefaultsTest, ConcurrentWritersLoseNoKey) {
    UserDefaults defaults(file_);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&defaults, t] {
            for (int i = 0; i < 25; ++i) {
                EXPECT_TRUE(
                    defaults.set("key_" + std::to_string(t) + "_" + std::to_string(i), t * 100 + i)
                        .ok());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    UserDefaults reader(file_);
    ASSERT_EQ(reader.allKeys().size(), 100u);
    EXPECT_EQ(reader.integerValue("key_3_24"), 324);
}

TEST_F(UserDefaultsTest, AFailedWriteIsReportedAndTheValueIsStoredByTheNextWrite) {
    // The file's place is taken by a directory, so the rename onto it fails.
    ASSERT_TRUE(FileSystem::createDirectories(file_).ok());
    UserDefaults defaults(file_);
    auto failed = defaults.set("theme_color", "blue");
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().domain, kPosixErrorDomain);
    EXPECT_EQ(defaults.stringValue("theme_color"), "blue");

    std::filesystem::remove(file_);
    ASSERT_TRUE(defaults.synchronize().ok());
    EXPECT_EQ(UserDefaults(file_).stringValue("theme_color"), "blue");
}

TEST_F(UserDefaultsTest, SharedInstanceIsReplaceable) {
    auto replacement = std::make_shared<UserDefaults>(file_);
    UserDefaults::setShared(replacement);
    EXPECT_EQ(&UserDefaults::shared(), replacement.get());
    ASSERT_TRUE(UserDefaults::shared().set("text_shadow", false).ok());
    EXPECT_TRUE(UserDefaults(file_).contains("text_shadow"));
    UserDefaults::setShared(nullptr);
}

}  // namespace
}  // namespace pagewell

#include "app/Application.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/AppSettings.h"
#include "app/SettingsManager.h"
#include "diag/AFNetworkLumberjackLogger.h"
#include "diag/LogSetup.h"
#include "diag/RotatingFileLogSink.h"
#include "platform/FileAreas.h"
#include "platform/FileSystem.h"
#include "platform/NotificationCenter.h"
#include "store/PersistentStore.h"
#include "sync/VXProtectedFileManager.h"

namespace pagewell {
namespace {

class ApplicationTest : public ::testing::Test {
  protected:
    void SetUp() override { resetShared(); }
    void TearDown() override {
        LogSetup::shared().tearDown();
        resetShared();
        FileAreas::setShared(nullptr);
        AppSettings::_setSettingsPath({});
    }
    static void resetShared() {
        SettingsManager::setSharedInstance(nullptr);
        AFNetworkLumberjackLogger::setSharedLogger(nullptr);
        NotificationCenter::setShared(nullptr);
        VXProtectedFileManager::setSharedInstance(nullptr);
        PersistentStore::setShared(nullptr);
    }
    std::filesystem::path data() const { return home.path() / "data"; }

    TemporaryDirectory home;
};

TEST_F(ApplicationTest, StartCreatesTheAreasLogsAndOpensTheSettings) {
    Application application({data(), std::nullopt, false});
    ASSERT_TRUE(application.start().ok());

    const FileAreas& areas = FileAreas::shared();
    EXPECT_EQ(areas.dataDirectory(), data());
    for (const auto& dir : {areas.documents(), areas.temporary(), areas.caches(), areas.logs()}) {
        EXPECT_TRUE(std::filesystem::is_directory(dir)) << dir;
    }
    EXPECT_TRUE(std::filesystem::exists(areas.documents() / "Default.plist"));
    ASSERT_NE(PersistentStore::shared(), nullptr);
    EXPECT_EQ(PersistentStore::shared()->path(),
              data() / "Library" / "Database" / "Database.sqlite");
    EXPECT_EQ(application.startup().completedSteps().size(), StartupSequence::kOrder.size());

    Logger::shared().flush();
    auto files = RotatingFileLogSink::logFilesIn(areas.logs());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_NE(FileSystem::readFile(files[0]).value().find("[I][Application "), std::string::npos);
}

TEST_F(ApplicationTest, HttpTrafficLogFollowsItsSwitchAtStartAndOnChange) {
    Application application({data(), std::nullopt, false});
    ASSERT_TRUE(application.start().ok());
    EXPECT_EQ(AFNetworkLumberjackLogger::sharedLogger()->level(),
              AFNetworkLumberjackLogger::kLevelOff);

    ASSERT_TRUE(SettingsManager::sharedInstance()
                    .writeSettingInGroup("LOG", "LOG_HTTP_TRAFFIC", true)
                    .ok());
    Application::applySettingChange("LOG", "LOG_HTTP_TRAFFIC");
    EXPECT_EQ(AFNetworkLumberjackLogger::sharedLogger()->level(),
              AFNetworkLumberjackLogger::kLevelFull);
}

TEST_F(ApplicationTest, ProtectedDataFlagFollowsThePlatformNotifications) {
    Application application({data(), std::nullopt, false});
    ASSERT_TRUE(application.start().ok());
    auto& files = VXProtectedFileManager::sharedInstance();
    NotificationCenter::shared().post(Application::kProtectedDataWillBecomeUnavailable);
    EXPECT_FALSE(files.protectedDataAvailable());
    NotificationCenter::shared().post(Application::kProtectedDataDidBecomeAvailable);
    EXPECT_TRUE(files.protectedDataAvailable());
}

TEST_F(ApplicationTest, ADataDirectoryThatCannotBeCreatedStopsTheStartWithAClearError) {
    ASSERT_TRUE(FileSystem::writeFileAtomically(home.path() / "file", "x").ok());
    Application application({home.path() / "file" / "data", std::nullopt, false});
    Status started = application.start();
    ASSERT_FALSE(started.ok());
    EXPECT_NE(started.error().description.find("cannot use the data directory"), std::string::npos);
    EXPECT_TRUE(application.startup().completedSteps().empty());
}

}  // namespace
}  // namespace pagewell

#include "platform/DeviceInfo.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

namespace pagewell {
namespace {

TEST(DeviceInfoTest, SystemValuesComeFromTheRunningKernelAndDefaultToTablet) {
    struct utsname system {};
    ASSERT_EQ(::uname(&system), 0);
    DeviceInfo info;
    EXPECT_EQ(info.systemName(), system.sysname);
    EXPECT_EQ(info.systemVersion(), system.release);
    EXPECT_EQ(info.hardwareIdentifier(), system.machine);
    EXPECT_FALSE(info.name().empty());
    EXPECT_FALSE(info.model().empty());
    EXPECT_EQ(info.idiom(), DeviceIdiom::Tablet);
    EXPECT_TRUE(info.isTablet());
}

TEST(DeviceInfoTest, OverriddenValuesReplaceTheSharedInstance) {
    auto values = DeviceInfo::systemValues();
    values.idiom = DeviceIdiom::Phone;
    values.name = "Field laptop 7";
    values.model = "Test model";
    DeviceInfo::setShared(std::make_shared<const DeviceInfo>(values));
    EXPECT_FALSE(DeviceInfo::shared().isTablet());
    EXPECT_EQ(DeviceInfo::shared().name(), "Field laptop 7");
    EXPECT_EQ(DeviceInfo::shared().model(), "Test model");
    DeviceInfo::setShared(nullptr);
    EXPECT_TRUE(DeviceInfo::shared().isTablet());
    EXPECT_NE(DeviceInfo::shared().name(), "Field laptop 7");
}

}  // namespace
}  // namespace pagewell

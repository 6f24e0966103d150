#include "cms/RequestLog.h"

#include <gtest/gtest.h>

namespace pagewell::cms {
namespace {

TEST(RequestLogTest, TargetsLoseEverySecretAndKeepTheRest) {
    const std::string r = RequestLog::kRedacted;
    struct Case {
        const char* target;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/media/files/1/a.pdf?token=abc123", "/media/files/1/a.pdf?token=" + r},
        {"/api2/x?locale=1&token=abc&timestamp=5", "/api2/x?locale=1&token=" + r + "&timestamp=5"},
        {"/api2/x?TOKEN=abc#frag", "/api2/x?TOKEN=" + r + "#frag"},
        {"/api2/x?password=p&secret=s", "/api2/x?password=" + r + "&secret=" + r},
        {"/api2/x?token=", "/api2/x?token=" + r},
        // Only whole names count: "mytoken" is not "token".
        {"/api2/x?mytoken=abc&tokens=2", "/api2/x?mytoken=abc&tokens=2"},
        {"/api2/locale/list", "/api2/locale/list"},
        {"/api2/auth/login/demo/pw/install-1/app-secret?x=1",
         "/api2/auth/login/demo/" + r + "/install-1/" + r + "?x=1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RequestLog::redactTarget(c.target), c.expected) << c.target;
    }
}

}  // namespace
}  // namespace pagewell::cms

#include "platform/MainQueue.h"
#include "platform/RecordingDesktopOpener.h"
#include "platform/SystemDesktopOpener.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace pagewell {
namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SystemDesktopOpenerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* previous = std::getenv("PAGEWELL_OPENER");
        previous_ = previous ? std::optional<std::string>(previous) : std::nullopt;
        // The stand-in opener writes each argument on its own line, then renames the
        // record into place so a reader never sees half of it.
        script_ = dir_.path() / "opener";
        record_ = dir_.path() / "record";
        std::ofstream out(script_);
        out << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << record_.string()
            << ".tmp'\necho \"$#\" >> '" << record_.string() << ".tmp'\nmv '" << record_.string()
            << ".tmp' '" << record_.string() << "'\n";
        out.close();
        ::chmod(script_.c_str(), 0755);
    }
    void TearDown() override {
        if (previous_) {
            ::setenv("PAGEWELL_OPENER", previous_->c_str(), 1);
        } else {
            ::unsetenv("PAGEWELL_OPENER");
        }
    }
    bool waitForRecord() {
        return MainQueue::shared().runUntil([&] { return std::filesystem::exists(record_); },
                                            std::chrono::seconds(10));
    }

    TemporaryDirectory dir_;
    std::filesystem::path script_;
    std::filesystem::path record_;
    std::optional<std::string> previous_;
};

TEST_F(SystemDesktopOpenerTest, PassesThePathAsOneArgumentWithoutAShell) {
    ::setenv("PAGEWELL_OPENER", script_.c_str(), 1);
    SystemDesktopOpener opener;
    EXPECT_EQ(opener.program(), script_.string());
    // Spaces, quotes and shell syntax must reach the program untouched, as one argument.
    std::string path = "/tmp/a file; rm -rf \"$HOME\" 'x' $(id) `id`.pdf";
    ASSERT_TRUE(opener.open(path).ok());
    ASSERT_TRUE(waitForRecord());
    EXPECT_EQ(readAll(record_), path + "\n1\n");
}

TEST_F(SystemDesktopOpenerTest, ReturnsWithoutWaitingForTheProgram) {
    auto slow = dir_.path() / "slow";
    {
        std::ofstream out(slow);
        out << "#!/bin/sh\nsleep 5\n";
    }
    ::chmod(slow.c_str(), 0755);
    SystemDesktopOpener opener(slow.string());
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(opener.open("/tmp/x.mp4").ok());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
}

TEST_F(SystemDesktopOpenerTest, AMissingOrUnusableProgramIsAClearError) {
    auto notExecutable = dir_.path() / "plain";
    std::ofstream(notExecutable) << "not a program\n";
    for (const std::string& program : {std::string("pagewell-no-such-opener"),
                                       (dir_.path() / "absent").string(), notExecutable.string()}) {
        SCOPED_TRACE(program);
        ::setenv("PAGEWELL_OPENER", program.c_str(), 1);
        auto status = SystemDesktopOpener().open("/tmp/x.mp4");
        ASSERT_FALSE(status.ok());
        EXPECT_NE(status.error().description.find(program), std::string::npos);
        EXPECT_NE(status.error().description.find("not found"), std::string::npos);
    }
}

TEST_F(SystemDesktopOpenerTest, FallsBackToXdgOpenWhenNothingIsChosen) {
    ::unsetenv("PAGEWELL_OPENER");
    EXPECT_EQ(SystemDesktopOpener().program(), "xdg-open");
    ::setenv("PAGEWELL_OPENER", "", 1);
    EXPECT_EQ(SystemDesktopOpener().program(), "xdg-open");
}

TEST(RecordingDesktopOpenerTest, RecordsPathsAndFailsWhenToldTo) {
    RecordingDesktopOpener opener;
    ASSERT_TRUE(opener.open("/a/b.mp4").ok());
    opener.setFailure(Error::make(kAppErrorDomain, -1, "No opener"));
    auto failed = opener.open("/a/c.html");
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().description, "No opener");
    EXPECT_EQ(opener.openedPaths(), std::vector<std::string>{"/a/b.mp4"});
}

}  // namespace
}  // namespace pagewell

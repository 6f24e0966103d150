#include "diag/RotatingFileLogSink.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DiagTestSupport.h"
#include "TestSupport.h"
#include "platform/FileSystem.h"

namespace pagewell {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    auto bytes = FileSystem::readFile(path);
    return bytes.ok() ? bytes.value() : std::string();
}

std::vector<std::string> names(const std::vector<fs::path>& paths) {
    std::vector<std::string> result;
    for (const auto& path : paths) {
        result.push_back(path.filename().string());
    }
    return result;
}

// The text of every log file in creation order, split into message texts.
std::vector<std::string> messagesInOrder(const std::vector<fs::path>& files) {
    std::vector<std::string> texts;
    for (const auto& file : files) {
        std::istringstream lines(readAll(file));
        for (std::string line; std::getline(lines, line);) {
            texts.push_back(line.substr(line.rfind("] ") + 2));
        }
    }
    return texts;
}

class RotatingFileLogSinkTest : public ManualClockTest {
  protected:
    fs::path logs() const { return directory_.path() / "Library" / "Logs"; }

    TemporaryDirectory directory_;
    const VXLumberJackFormatter formatter_;
};

TEST_F(RotatingFileLogSinkTest, AppendsFormattedLinesToAnOwnerOnlyFile) {
    RotatingFileLogSink sink(logs());
    EXPECT_FALSE(sink.currentFile());
    sink.write(makeMessage("first"));
    sink.write(makeMessage("second", LogFlag::Error));

    auto files = sink.logFiles();
    ASSERT_EQ(names(files), std::vector<std::string>{"pagewell 2023-11-14--22-13-20-000.log"});
    EXPECT_EQ(sink.currentFile(), files[0]);
    EXPECT_EQ(readAll(files[0]),
              formatter_.formatLogMessage(makeMessage("first")) + "\n" +
                  formatter_.formatLogMessage(makeMessage("second", LogFlag::Error)) + "\n");
    struct stat info {};
    ASSERT_EQ(::stat(files[0].c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(logs().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u);
    EXPECT_FALSE(sink.lastError());
}

TEST_F(RotatingFileLogSinkTest, StartsANewFileBeforeTheCurrentOneWouldExceedOneMebibyte) {
    RotatingFileLogSink sink(logs());
    const std::string text(1000, 'x');
    const std::size_t lineSize = formatter_.formatLogMessage(makeMessage(text)).size() + 1;
    std::size_t written = 0;
    while (sink.logFiles().size() < 2) {
        sink.write(makeMessage(text));
        written += lineSize;
        ASSERT_LT(written, 2'000'000u) << "no second file";
    }
    auto files = sink.logFiles();
    const auto firstSize = fs::file_size(files[0]);
    EXPECT_LE(firstSize, 1'048'576u);
    EXPECT_GT(firstSize + lineSize, 1'048'576u);
    EXPECT_EQ(firstSize % lineSize, 0u) << "a line was split between files";
    EXPECT_EQ(fs::file_size(files[1]), lineSize);
    EXPECT_EQ(sink.currentFile(), files[1]);
}

TEST_F(RotatingFileLogSinkTest, StartsANewFileWhenTheCurrentOneIsOneDayOld) {
    RotatingFileLogSink sink(logs());
    sink.write(makeMessage("day one"));
    clock_->advance(86'399s);
    sink.write(makeMessage("still day one"));
    EXPECT_EQ(sink.logFiles().size(), 1u);

    clock_->advance(2s);  // 86,401 s after the file was created
    sink.write(makeMessage("day two"));
    auto files = sink.logFiles();
    ASSERT_EQ(names(files), (std::vector<std::string>{"pagewell 2023-11-14--22-13-20-000.log",
                                                      "pagewell 2023-11-15--22-13-21-000.log"}));
    EXPECT_EQ(messagesInOrder({files[1]}), std::vector<std::string>{"day two"});
}

TEST_F(RotatingFileLogSinkTest, KeepsTheSevenNewestFiles) {
    RotatingFileLogSink sink(logs());
    std::vector<std::string> created;
    for (int day = 0; day < 9; ++day) {
        sink.write(makeMessage("day " + std::to_string(day)));
        created.push_back(sink.currentFile()->filename().string());
        clock_->advance(86'401s);
    }
    EXPECT_EQ(names(sink.logFiles()), std::vector<std::string>(created.begin() + 2, created.end()));
    EXPECT_EQ(messagesInOrder(sink.logFiles()).front(), "day 2");
}

TEST_F(RotatingFileLogSinkTest, LeavesOtherFilesInTheDirectoryAlone) {
    ASSERT_TRUE(FileSystem::createDirectories(logs()).ok());
    for (const char* name : {"notes.txt", "pagewell.log", "pagewell 2020-01-01.log"}) {
        ASSERT_TRUE(FileSystem::writeFileAtomically(logs() / name, "keep").ok());
    }
    RotatingFileLogSink sink(
        logs(),
        {.maximumFileSize = 1'048'576, .rollingFrequency = 86'400s, .maximumNumberOfLogFiles = 2});
    for (int day = 0; day < 4; ++day) {
        sink.write(makeMessage("line"));
        clock_->advance(86'401s);
    }
    EXPECT_EQ(sink.logFiles().size(), 2u);
    for (const char* name : {"notes.txt", "pagewell.log", "pagewell 2020-01-01.log"}) {
        EXPECT_EQ(readAll(logs() / name), "keep") << name;
    }
}

TEST_F(RotatingFileLogSinkTest, FilesSortInCreationOrderWhenNamesCollideOrTheClockGoesBack) {
    // Tiny files: every line starts a new file within the same millisecond.
    const RotatingFileLogSink::Limits limits{
        .maximumFileSize = 10, .rollingFrequency = 86'400s, .maximumNumberOfLogFiles = 100};
    RotatingFileLogSink sink(logs(), limits);
    std::vector<std::string> expected;
    for (int i = 0; i < 14; ++i) {
        if (i == 12) {
            clock_->advance(-3'600'000ms);  // the system clock was set back an hour
        }
        expected.push_back("line " + std::to_string(i));
        sink.write(makeMessage(expected.back()));
    }
    auto files = sink.logFiles();
    EXPECT_EQ(files.size(), 14u);
    EXPECT_EQ(messagesInOrder(files), expected);
    EXPECT_EQ(files[1].filename(), "pagewell 2023-11-14--22-13-20-000_001.log");
}

TEST_F(RotatingFileLogSinkTest, AfterARestartContinuesTheNewestFile) {
    {
        RotatingFileLogSink sink(logs());
        sink.write(makeMessage("before restart"));
    }
    clock_->advance(3'600s);
    RotatingFileLogSink sink(logs());
    sink.write(makeMessage("after restart"));
    auto files = sink.logFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(messagesInOrder(files),
              (std::vector<std::string>{"before restart", "after restart"}));
}

TEST_F(RotatingFileLogSinkTest, AfterARestartStartsANewFileWhenTheNewestIsTooOldOrTooBig) {
    const RotatingFileLogSink::Limits limits{
        .maximumFileSize = 300, .rollingFrequency = 86'400s, .maximumNumberOfLogFiles = 7};
    const struct {
        const char* reason;
        std::chrono::milliseconds pause;
        std::size_t textSize;  // two lines of 200 bytes do not fit in 300
    } cases[] = {
        {"too old", 86'401s, 10},
        {"too big", 1s, 200},
    };
    for (const auto& c : cases) {
        TemporaryDirectory directory;
        {
            RotatingFileLogSink sink(directory.path(), limits);
            sink.write(makeMessage(std::string(c.textSize, 'y')));
        }
        clock_->advance(c.pause);
        RotatingFileLogSink sink(directory.path(), limits);
        sink.write(makeMessage(std::string(c.textSize, 'z')));
        auto files = sink.logFiles();
        ASSERT_EQ(files.size(), 2u) << c.reason;
        EXPECT_EQ(messagesInOrder({files.back()}),
                  std::vector<std::string>{std::string(c.textSize, 'z')})
            << c.reason;
    }
}

TEST_F(RotatingFileLogSinkTest, KeepsTheFailureWhenNoFileCanBeCreated) {
    ASSERT_TRUE(FileSystem::writeFileAtomically(directory_.path() / "plain", "not a folder").ok());
    RotatingFileLogSink sink(directory_.path() / "plain" / "Logs");
    sink.write(makeMessage("lost"));
    ASSERT_TRUE(sink.lastError());
    EXPECT_EQ(sink.lastError()->domain, kPosixErrorDomain);
    EXPECT_FALSE(sink.currentFile());
}

}  // namespace
}  // namespace pagewell

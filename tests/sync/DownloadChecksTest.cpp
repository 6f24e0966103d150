// What the downloads check before and after a transfer: whether an answer is the file its type
// promises (DownloadedContentCheck), and which partial files a killed run left to sweep
// (LeftoverDownloads).

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/FileAreas.h"
#include "platform/FileSystem.h"
#include "sync/DownloadedContentCheck.h"
#include "sync/LeftoverDownloads.h"
#include "sync/VXProtectedFileManager.h"

namespace pagewell {
namespace {

namespace fs = std::filesystem;
using Check = DownloadedContentCheck;
using Expected = Check::Expected;
using Finding = Check::Finding;

// A real JPEG of 2 x 2 grey pixels, after `metadata` bytes of an application segment.
std::string jpeg(std::size_t metadata = 0) {
    std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    const unsigned char pixels[4] = {90, 120, 150, 180};
    unsigned char* out = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(
        tjCompress2(encoder.get(), pixels, 2, 0, 2, TJPF_GRAY, &out, &size, TJSAMP_GRAY, 90, 0), 0);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    tjFree(out);
    std::string segments;
    for (std::size_t left = metadata; left > 0;) {
        const std::size_t chunk = std::min<std::size_t>(left, 65000);
        segments += "\xFF\xE1";
        segments.push_back(static_cast<char>((chunk + 2) >> 8));
        segments.push_back(static_cast<char>((chunk + 2) & 0xFF));
        segments.append(chunk, 'x');
        left -= chunk;
    }
    return bytes.substr(0, 2) + segments + bytes.substr(2);
}

TEST(DownloadedContentCheckTest, TheExpectedTypeComesFromTheMimeTypeElseTheExtension) {
    struct Case {
        std::optional<std::string_view> mimeType;
        const char* url;
        Expected expected;
    };
    const std::vector<Case> cases = {
        {"application/pdf", "/media/files/1/brochure", Expected::Pdf},
        {std::nullopt, "/media/files/1/Brochure.PDF?token=x", Expected::Pdf},
        {"application/octet-stream", "/media/files/1/a.pdf", Expected::Pdf},
        {"image/jpeg", "/media/files/1/a.bin", Expected::Image},
        {std::nullopt, "/media/thumbs/1/300/a.png", Expected::Image},
        {"video/mp4", "/media/files/1/clip", Expected::Binary},
        {std::nullopt, "/media/files/1/offer.docx", Expected::Binary},
        // A web page, JSON or text may hold anything; an unknown kind cannot be judged.
        {"text/html", "/media/files/1/a.pdf", Expected::Text},
        {std::nullopt, "/media/files/1/notes.txt", Expected::Text},
        {"application/vnd.api+json", "/media/files/1/x", Expected::Text},
        {std::nullopt, "/media/files/1/drawing.dxf2", Expected::Unknown},
        {std::nullopt, "/media/files/1/noextension", Expected::Unknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Check::expectedFor(c.mimeType, c.url), c.expected) << c.url;
    }
}

TEST(DownloadedContentCheckTest, AnswersAreJudgedOnlyWhereTheTypeAllowsIt) {
    const std::string pdf = "%PDF-1.7\n1 0 obj\n";
    struct Case {
        const char* name;
        Expected expected;
        const char* contentType;
        std::string head;
        bool complete;
        Finding finding;
    };
    const std::vector<Case> cases = {
        {"a PDF", Expected::Pdf, "application/pdf", pdf, true, Finding::Ok},
        {"a PDF after leading junk", Expected::Pdf, "", std::string(900, ' ') + pdf, true,
         Finding::Ok},
        {"a PDF whose signature comes too late", Expected::Pdf, "", std::string(1100, ' ') + pdf,
         true, Finding::NotPdf},
        {"a PDF sent as a web page", Expected::Pdf, "text/html; charset=utf-8", pdf, true,
         Finding::WebPage},
        {"a portal page with a byte-order mark", Expected::Pdf, "application/octet-stream",
         "\xEF\xBB\xBF\r\n<!DOCTYPE HTML><html>", true, Finding::WebPage},
        {"JSON", Expected::Pdf, "", " {\"success\": false}", true, Finding::Json},
        {"a JPEG", Expected::Image, "image/jpeg", jpeg(), true, Finding::Ok},
        // A header beyond what was read cannot be judged, within it it must decode.
        {"a JPEG with long metadata, read in part", Expected::Image, "",
         jpeg(200000).substr(0, 1024), false, Finding::Ok},
        {"a JPEG cut before its header", Expected::Image, "", jpeg().substr(0, 20), true,
         Finding::NotImage},
        {"a PNG", Expected::Image, "image/png", "\x89PNG\r\n\x1a\nrest", true, Finding::Ok},
        {"no image at all", Expected::Image, "image/png", "GIF88 is no image", true,
         Finding::NotImage},
        {"a video that is a web page", Expected::Binary, "video/mp4", "<html><body>", true,
         Finding::WebPage},
        {"a video", Expected::Binary, "video/mp4",
         std::string("\0\0\0\x18"
                     "ftypmp42",
                     12),
         true, Finding::Ok},
        {"a web page expected", Expected::Text, "text/html", "<html>", true, Finding::Ok},
        {"an unknown kind sent as JSON", Expected::Unknown, "application/json", "[1]", true,
         Finding::Ok},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Check::judge(c.expected, c.contentType, c.head, c.complete), c.finding) << c.name;
    }
}

class LeftoverDownloadsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(areas_.createAll().ok());
        VXProtectedFileManager::setSharedInstance(std::make_shared<VXProtectedFileManager>(areas_));
    }
    void TearDown() override { VXProtectedFileManager::setSharedInstance(nullptr); }

    // A file written `age` before `startedAt_` (negative: after it).
    fs::path plant(const fs::path& relative, std::chrono::seconds age) {
        const fs::path path = areas_.documents() / relative;
        fs::create_directories(path.parent_path());
        EXPECT_TRUE(FileSystem::writeFileAtomically(path, "bytes").ok());
        fs::last_write_time(path, std::chrono::file_clock::from_sys(startedAt_ - age));
        return path;
    }

    TemporaryDirectory dir_;
    FileAreas areas_{dir_.path() / "data"};
    const SystemTime startedAt_ = SystemTime{std::chrono::seconds{1'700'000'000}};
};

TEST_F(LeftoverDownloadsTest, OnlyPartialFilesOfItemDirectoriesFromBeforeTheStartGo) {
    using namespace std::chrono_literals;
    const std::vector<fs::path> leftovers = {plant("100/ABC.pdf.partial.x7Gq2a", 1h),
                                             plant("100/ABC.pdf.partial", 1h),
                                             plant("-3/DEF.partial.Zz0912", 10s)};
    const std::vector<fs::path> kept = {
        plant("100/ABC.pdf", 1h),                   // a copy
        plant("101/GHI.png.partial.a1b2c3", -1s),   // a transfer of this run
        plant("Default.plist.partial.q1w2e3", 1h),  // not in an item directory
        plant("settings/x.partial.q1w2e3", 1h),     // not an item directory
        plant("102/.partial", 1h),                  // no name before the mark
        plant("102/partially.pdf", 1h),
    };

    EXPECT_EQ(LeftoverDownloads::removeOlderThan(startedAt_), leftovers.size());
    for (const fs::path& path : leftovers) {
        EXPECT_FALSE(fs::exists(path)) << path;
    }
    for (const fs::path& path : kept) {
        EXPECT_TRUE(fs::exists(path)) << path;
    }
}

}  // namespace
}  // namespace pagewell

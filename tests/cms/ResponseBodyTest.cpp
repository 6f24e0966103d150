#include "cms/ResponseBody.h"

#include <gtest/gtest.h>

#include <optional>

#include "TestSupport.h"
#include "platform/FileSystem.h"

namespace pagewell::cms {
namespace {

using Range = ResponseBody::Range;
constexpr auto none = std::nullopt;

TEST(ResponseBodyTest, RangesResolveAgainstTheBodySize) {
    struct Case {
        const char* what;
        std::optional<std::uint64_t> first, last;
        std::uint64_t size;
        std::optional<Range> expected;
    };
    const std::vector<Case> cases = {
        {"inside", 5, 8, 100, Range{5, 8}},
        {"to the end", 90, none, 100, Range{90, 99}},
        {"past the end is cut", 90, 5000, 100, Range{90, 99}},
        {"last byte", 99, 99, 100, Range{99, 99}},
        {"suffix", none, 10, 100, Range{90, 99}},
        {"suffix longer than the body", none, 500, 100, Range{0, 99}},
        {"starts at the end", 100, none, 100, none},
        {"starts past the end", 200, 300, 100, none},
        {"empty suffix", none, 0, 100, none},
        {"backwards", 9, 3, 100, none},
        {"empty body", 0, none, 0, none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResponseBody::resolve(c.first, c.last, c.size), c.expected) << c.what;
    }
}

// Reads a body the way the server's writer does: from `offset`, block after block.
std::string readAll(ResponseBody& body, std::uint64_t offset, std::uint64_t length) {
    std::string out;
    while (out.size() < length) {
        auto bytes = body.read(offset + out.size(), length - out.size());
        EXPECT_TRUE(bytes.ok());
        if (!bytes.ok() || bytes.value().empty()) {
            break;
        }
        EXPECT_LE(bytes.value().size(), ResponseBody::kBlockBytes);
        out.append(bytes.value());
    }
    return out;
}

TEST(ResponseBodyTest, AFileIsReadInBlocksFromAnyOffset) {
    TemporaryDirectory dir;
    std::string content(ResponseBody::kBlockBytes * 2 + 77, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i % 251);
    }
    const auto path = dir.path() / "file.bin";
    ASSERT_TRUE(FileSystem::writeFileAtomically(path, content).ok());

    auto body = ResponseBody::open(path);
    ASSERT_TRUE(body.ok()) << body.error().description;
    EXPECT_EQ(body.value()->size(), content.size());
    EXPECT_TRUE(readAll(*body.value(), 0, content.size()) == content);
    EXPECT_TRUE(readAll(*body.value(), ResponseBody::kBlockBytes - 5, 10) ==
                content.substr(ResponseBody::kBlockBytes - 5, 10));
    EXPECT_TRUE(body.value()->read(content.size(), 10).value().empty());

    ResponseBody text("0123456789");
    EXPECT_EQ(readAll(text, 3, 4), "3456");
}

TEST(ResponseBodyTest, FailsForWhatCannotBeSent) {
    TemporaryDirectory dir;
    EXPECT_FALSE(ResponseBody::open(dir.path() / "missing").ok());
    EXPECT_FALSE(ResponseBody::open(dir.path()).ok());

    // A file cut short after it was opened cannot keep the promised length.
    const auto path = dir.path() / "shrinks.bin";
    ASSERT_TRUE(FileSystem::writeFileAtomically(path, std::string(1000, 'x')).ok());
    auto body = ResponseBody::open(path);
    ASSERT_TRUE(body.ok());
    std::filesystem::resize_file(path, 100);
    EXPECT_TRUE(body.value()->read(0, 50).ok());
    EXPECT_FALSE(body.value()->read(500, 50).ok());
}

}  // namespace
}  // namespace pagewell::cms

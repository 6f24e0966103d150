#include <gtest/gtest.h>

#include "platform/BinaryPlistCheck.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace pagewell {
namespace {

// A binary property list from raw object encodings, with one-byte offsets and references.
std::string binaryPlist(const std::vector<std::string>& objects, std::uint8_t top = 0) {
    std::string out = "bplist00";
    std::vector<std::uint8_t> offsets;
    for (const auto& object : objects) {
        offsets.push_back(static_cast<std::uint8_t>(out.size()));
        out += object;
    }
    std::size_t tableOffset = out.size();
    for (auto offset : offsets) {
        out += static_cast<char>(offset);
    }
    std::string trailer(32, '\0');
    trailer[6] = 1;
    trailer[7] = 1;
    trailer[15] = static_cast<char>(objects.size());
    trailer[23] = static_cast<char>(top);
    trailer[31] = static_cast<char>(tableOffset);
    return out + trailer;
}

std::string arrayOf(std::initializer_list<int> refs) {
    std::string out(1, static_cast<char>(0xA0 | refs.size()));
    for (int ref : refs) {
        out += static_cast<char>(ref);
    }
    return out;
}

TEST(KeyedArchiverTest, RoundTripsObjectsStringsDataAndSharedReferences) {
    KeyedArchiver archiver;
    archiver.beginObject({"Colour", "NSObject"});
    archiver.encodeDouble("red", 0.25);
    archiver.encodeInteger("count", 4);
    KeyedArchiver::Ref colour = archiver.endObject();
    archiver.beginObject({"Shape", "NSObject"});
    archiver.encodeReference("stroke", colour);
    archiver.encodeReference("fill", colour);
    archiver.encodeString("frame", "{{1, 2}, {3, 4}}");
    archiver.encodeData("path", std::string("\x00\x01\x02", 3));
    archiver.encodeBool("selected", true);
    archiver.encodeReferences("dash", {archiver.addDouble(14), archiver.addDouble(7)});
    archiver.setRoot(archiver.endObject());
    std::string bytes = archiver.finish();
    ASSERT_TRUE(BinaryPlistCheck::looksBinary(bytes));

    auto decoded = KeyedUnarchiver::fromBytes(bytes);
    ASSERT_TRUE(decoded.ok()) << decoded.error().toString();
    const KeyedUnarchiver& archive = *decoded.value();
    KeyedUnarchiver::Ref root = archive.root();
    EXPECT_EQ(archive.classesOf(root), (std::vector<std::string>{"Shape", "NSObject"}));
    EXPECT_TRUE(archive.isKindOf(root, "NSObject"));
    auto stroke = archive.decodeReference(root, "stroke");
    ASSERT_TRUE(stroke);
    EXPECT_EQ(archive.decodeReference(root, "fill"), stroke);  // stored once, referenced twice
    EXPECT_EQ(archive.decodeDouble(*stroke, "red"), 0.25);
    EXPECT_EQ(archive.decodeDouble(*stroke, "count"), 4.0);
    EXPECT_EQ(archive.decodeString(root, "frame"), "{{1, 2}, {3, 4}}");
    EXPECT_EQ(archive.decodeData(root, "path"), std::string("\x00\x01\x02", 3));
    EXPECT_EQ(archive.decodeBool(root, "selected"), true);
    auto dash = archive.decodeReferences(root, "dash");
    ASSERT_TRUE(dash && dash->size() == 2);
    EXPECT_EQ(archive.doubleAt((*dash)[0]), 14.0);
    // Wrong types and missing keys answer "none" instead of failing.
    EXPECT_FALSE(archive.decodeDouble(root, "frame"));
    EXPECT_FALSE(archive.decodeString(root, "missing"));
    EXPECT_FALSE(archive.decodeReferences(root, "stroke"));
    EXPECT_TRUE(archive.classesOf(*stroke + 1000).empty());
}

TEST(KeyedArchiverTest, RefusesDamagedAndHostileFiles) {
    KeyedArchiver archiver;
    archiver.beginObject({"Thing"});
    archiver.setRoot(archiver.endObject());
    std::string good = archiver.finish();

    // Forty arrays each holding the next one twice: tiny on disk, 2^40 nodes once expanded.
    std::vector<std::string> doubling;
    for (int i = 0; i < 40; ++i) {
        doubling.push_back(arrayOf({i + 1, i + 1}));
    }
    doubling.push_back("\x10\x01");
    std::vector<std::string> deep;
    for (int i = 0; i < 70; ++i) {
        deep.push_back(arrayOf({i + 1}));
    }
    deep.push_back("\x10\x01");

    struct Case {
        const char* why;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"not a property list", "hello, this is text and not a plist at all......."},
        {"truncated", good.substr(0, good.size() / 2)},
        {"cut trailer", good.substr(0, good.size() - 1)},
        {"array holding itself", binaryPlist({arrayOf({0})})},
        {"loop through two arrays", binaryPlist({arrayOf({1}), arrayOf({0})})},
        {"reference out of range", binaryPlist({arrayOf({5})})},
        {"exponential sharing", binaryPlist(doubling)},
        {"nested too deeply", binaryPlist(deep)},
        {"string longer than the file", binaryPlist({"\x5f\x10\xff"})},
        {"unknown marker", binaryPlist({"\xe0"})},
        {"top beyond the objects", binaryPlist({"\x10\x01"}, 3)},
        {"valid plist but no archive", binaryPlist({"\x10\x01"})},
    };
    for (const auto& c : cases) {
        auto decoded = KeyedUnarchiver::fromBytes(c.bytes);
        EXPECT_FALSE(decoded.ok()) << c.why;
    }

    // Sharing stays legal while the expansion is small.
    std::vector<std::string> shallow(doubling.end() - 6, doubling.end());
    for (int i = 0; i < 5; ++i) {
        shallow[i] = arrayOf({i + 1, i + 1});
    }
    EXPECT_TRUE(BinaryPlistCheck::check(binaryPlist(shallow)).ok());
    BinaryPlistCheck::Limits tight;
    tight.maxNodes = 20;
    EXPECT_FALSE(BinaryPlistCheck::check(binaryPlist(shallow), tight).ok());
}

}  // namespace
}  // namespace pagewell

#include "platform/PropertyList.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TestSupport.h"

namespace pagewell {
namespace {

using std::chrono::seconds;

// plistlib.dumps({"name": "Pagewell", "count": 42, "ok": True}, fmt=plistlib.FMT_BINARY)
// from Python's standard library.
const unsigned char kBinaryDictionary[] = {
    0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd3, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x55,
    0x63, 0x6f, 0x75, 0x6e, 0x74, 0x54, 0x6e, 0x61, 0x6d, 0x65, 0x52, 0x6f, 0x6b, 0x10, 0x2a, 0x58,
    0x50, 0x61, 0x67, 0x65, 0x77, 0x65, 0x6c, 0x6c, 0x09, 0x08, 0x0f, 0x15, 0x1a, 0x1d, 0x1f, 0x28,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x29};

std::string binaryDictionary() {
    return std::string(reinterpret_cast<const char*>(kBinaryDictionary), sizeof kBinaryDictionary);
}

PlistValue everyKindOfValue() {
    return PlistDict{
        {"flag", true},
        {"off", false},
        {"count", std::int64_t{1} << 40},
        {"negative", -12},
        {"ratio", 0.125},
        {"text", "Gr\u00fc\u00dfe & <tags>"},
        {"empty", ""},
        {"list", PlistArray{PlistValue(1), PlistValue("two"), PlistValue(PlistDict{})}},
        {"nested", PlistDict{{"inner", PlistArray{}}}},
        // XML dates carry whole seconds; one lies before the 2001 reference date, where the
        // offset from it is negative.
        {"date", SystemTime(seconds{1'700'000'003})},
        {"before", SystemTime(seconds{946'684'801})},
        {"data", PlistData{std::string("\x00\x01\xff binary", 10)}},
    };
}

// Compares key by key so that a failure names the value that changed.
void expectSameDictionary(const PlistValue& actual, const PlistValue& expected) {
    ASSERT_TRUE(actual.isDict());
    ASSERT_TRUE(expected.isDict());
    for (const auto& [key, value] : *expected.dict()) {
        const PlistValue* found = actual.find(key);
        ASSERT_NE(found, nullptr) << key;
        EXPECT_TRUE(*found == value) << key << " reads back as\n" << PropertyList::toXml(*found);
    }
    EXPECT_EQ(actual.dict()->size(), expected.dict()->size());
}

TEST(PropertyListTest, XmlRoundTripKeepsEveryKindOfValue) {
    PlistValue original = everyKindOfValue();
    auto parsed = PropertyList::parse(PropertyList::toXml(original));
    ASSERT_TRUE(parsed.ok()) << parsed.error().toString();
    expectSameDictionary(parsed.value(), original);
}

TEST(PropertyListTest, FileRoundTripWritesAReadableFileOwnerOnly) {
    TemporaryDirectory dir;
    auto path = (dir.path() / "values.plist").string();
    ASSERT_TRUE(PropertyList::writeFile(path, everyKindOfValue()).ok());
    auto read = PropertyList::readFile(path);
    ASSERT_TRUE(read.ok()) << read.error().toString();
    expectSameDictionary(read.value(), everyKindOfValue());
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(PropertyListTest, BinaryPropertyListsAreRead) {
    auto parsed = PropertyList::parse(binaryDictionary());
    ASSERT_TRUE(parsed.ok()) << parsed.error().toString();
    EXPECT_EQ(parsed.value(),
              PlistValue(PlistDict{{"name", "Pagewell"}, {"count", 42}, {"ok", true}}));
}

TEST(PropertyListTest, DamagedInputIsAnError) {
    const std::string xml = PropertyList::toXml(everyKindOfValue());
    const struct {
        const char* why;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"plain text", "just some words"},
        {"binary header with garbage", "bplist00\x01\x02\x03garbage"},
        {"binary cut before its trailer", binaryDictionary().substr(0, 40)},
        {"XML cut in the middle", xml.substr(0, xml.size() / 2)},
    };
    for (const auto& c : cases) {
        auto parsed = PropertyList::parse(c.bytes);
        ASSERT_FALSE(parsed.ok()) << c.why;
        EXPECT_EQ(parsed.error().domain, PropertyList::kErrorDomain) << c.why;
    }
}

TEST(PropertyListTest, ReadingAMissingOrDamagedFileIsAnError) {
    TemporaryDirectory dir;
    auto missing = PropertyList::readFile((dir.path() / "missing.plist").string());
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);

    auto damaged = dir.path() / "damaged.plist";
    { std::ofstream(damaged) << "<plist><dict><key>a</key>"; }
    auto read = PropertyList::readFile(damaged.string());
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error().domain, PropertyList::kErrorDomain);
}

}  // namespace
}  // namespace pagewell

// JSON text decoded within the nesting bound: values up to the bound come back whole, deeper
// ones (at any place, of any width) are refused before they are built, and text that is not
// JSON says so.

#include <gtest/gtest.h>

#include <string>

#include "platform/JsonDecoder.h"

namespace pagewell {
namespace {

// `levels` levels: arrays around a scalar, which is the last level.
std::string nested(int levels, const std::string& open = "[", const std::string& close = "]") {
    std::string text;
    for (int i = 1; i < levels; ++i) {
        text += open;
    }
    text += "1";
    for (int i = 1; i < levels; ++i) {
        text += close;
    }
    return text;
}

// One array of `entries` numbers: two levels however long.
std::string wide(int entries) {
    std::string text = "[";
    for (int i = 0; i < entries; ++i) {
        text += i == 0 ? "1" : ",1";
    }
    return text + "]";
}

TEST(JsonDecoderTest, DecodesUpToTheBoundAndRefusesDeeperText) {
    using Outcome = JsonDecoder::Outcome;
    struct Case {
        const char* name;
        std::string text;
        int bound;
        Outcome expected;
    };
    const Case cases[] = {
        {"scalar", "42", 1, Outcome::Decoded},
        {"AtTheBound", nested(512), 512, Outcome::Decoded},
        {"OneLevelPast", nested(513), 512, Outcome::TooDeep},
        {"ObjectsCountAsLevels", nested(4, R"({"a":)", "}"), 3, Outcome::TooDeep},
        {"WideButShallow", wide(100'000), 2, Outcome::Decoded},
        // Deep enough to overflow the stack of whoever copied the built value, under a key.
        {"DeepUnderAnIgnoredKey", R"({"items":[],"x":)" + nested(300'000) + "}", 512,
         Outcome::TooDeep},
        {"DeepAndUnclosed", std::string(300'000, '['), 512, Outcome::TooDeep},
        {"NotJson", "<html>portal</html>", 512, Outcome::NotJson},
        {"TruncatedShallow", R"({"items":[1,2)", 512, Outcome::NotJson},
        {"TrailingGarbage", "[1] x", 512, Outcome::NotJson},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JsonDecoder::Decoded decoded = JsonDecoder::decode(c.text, c.bound);
        EXPECT_EQ(decoded.outcome, c.expected);
        EXPECT_EQ(JsonDecoder::nestsWithin(c.text, c.bound), c.expected == Outcome::Decoded);
        if (c.expected != Outcome::Decoded) {
            EXPECT_TRUE(decoded.value.is_null());
        } else {
            EXPECT_EQ(decoded.value, nlohmann::json::parse(c.text));
        }
    }
}

// The entries of the named top-level lists come packed and unpack to what the text says;
// everything else, and lists of the same name deeper down, is an ordinary tree.
TEST(JsonDecoderTest, PackedListsUnpackToTheirEntries) {
    const std::string text =
        R"({"items":[{"id":"1","title":"caf\u00e9","items":[1,2],"size":1.5},null,7,)"
        R"({"nested":{"a":{"b":null}}},["x",-3]],)"
        R"("thumbnails":[{"id":70,"file_size":18446744073709551615}],)"
        R"("assets":[{"id":900}],"timestamp":"12"})";
    const nlohmann::json plain = nlohmann::json::parse(text);
    JsonDecoder::Options options;
    options.packedLists = {"items", "thumbnails"};
    JsonDecoder::Decoded decoded = JsonDecoder::decode(text, options);
    ASSERT_EQ(decoded.outcome, JsonDecoder::Outcome::Decoded);
    const nlohmann::json& items = decoded.value["items"];
    ASSERT_EQ(items.size(), 5u);
    EXPECT_TRUE(items[0].is_binary());
    EXPECT_TRUE(items[1].is_null());  // scalars stay as they are
    EXPECT_EQ(items[2], 7);
    EXPECT_TRUE(items[3].is_binary());
    EXPECT_TRUE(items[4].is_binary());
    EXPECT_TRUE(decoded.value["thumbnails"][0].is_binary());
    EXPECT_TRUE(decoded.value["assets"][0].is_object());
    EXPECT_EQ(decoded.value["timestamp"], "12");

    nlohmann::json storage;
    const nlohmann::json& first = JsonDecoder::unpack(items[0], storage);
    EXPECT_EQ(first, plain["items"][0]);
    EXPECT_EQ(first["items"], nlohmann::json::array({1, 2}));  // not packed below the top
    EXPECT_EQ(first["size"], 1.5);
    EXPECT_EQ(JsonDecoder::unpack(items[3], storage), plain["items"][3]);
    EXPECT_EQ(JsonDecoder::unpack(items[4], storage), plain["items"][4]);
    EXPECT_EQ(JsonDecoder::unpack(decoded.value["thumbnails"][0], storage)["file_size"],
              18446744073709551615u);
    EXPECT_EQ(&JsonDecoder::unpack(items[2], storage), &items[2]);

    // The bound counts the levels of packed entries as well.
    options.maxDepth = 4;
    EXPECT_EQ(JsonDecoder::decode(R"({"items":[{"a":{"b":1}}]})", options).outcome,
              JsonDecoder::Outcome::TooDeep);
    EXPECT_EQ(JsonDecoder::decode(R"({"items":[{"a":1}]})", options).outcome,
              JsonDecoder::Outcome::Decoded);
}

}  // namespace
}  // namespace pagewell

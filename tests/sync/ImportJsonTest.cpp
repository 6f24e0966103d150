// The identifier rules of the answers: an item's "id" is text only; ID arrays take texts and
// numbers and skip everything else.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "sync/ImportJson.h"

namespace pagewell {
namespace {

using Json = nlohmann::json;

TEST(ImportJsonTest, ItemIdsAreReadFromTextOnly) {
    struct Case {
        Json item;
        std::optional<std::int64_t> expected;
    };
    const Case cases[] = {
        {Json{{"id", "12"}}, 12},
        {Json{{"id", " 7"}}, 7},
        {Json{{"id", "-3"}}, -3},
        {Json{{"id", "42abc"}}, 42},  // the leading integer, as the server's ids were always read
        {Json{{"id", 12}}, std::nullopt},
        {Json{{"id", 1.5}}, std::nullopt},
        {Json{{"id", true}}, std::nullopt},
        {Json{{"id", nullptr}}, std::nullopt},
        {Json{{"id", ""}}, std::nullopt},
        {Json{{"id", "abc"}}, std::nullopt},
        {Json{{"id", "99999999999999999999999"}}, std::nullopt},
        {Json{{"id", {"1"}}}, std::nullopt},
        {Json::array({"id", "1"}), std::nullopt},
        {Json("1"), std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ImportJson::itemID(c.item), c.expected) << c.item.dump();
    }
}

TEST(ImportJsonTest, IdListsTakeTextsAndNumbersAndSkipTheRest) {
    Json list{"1", 2, 3.9, "x", nullptr, true, Json::object(), Json::array({"4"}), " 5"};
    EXPECT_EQ(ImportJson::idList(list), (std::vector<std::int64_t>{1, 2, 3, 5}));
    EXPECT_TRUE(ImportJson::idList(Json("1,2")).empty());
    EXPECT_TRUE(ImportJson::idList(Json{{"a", 1}}).empty());
    // Proximity and customer lists are text only.
    EXPECT_EQ(ImportJson::textIDList(Json{{"beacons", {"1", 2, "3"}}}, "beacons"),
              (std::vector<std::int64_t>{1, 3}));
}

TEST(ImportJsonTest, FlagsReadBooleansNumbersAndNumericTexts) {
    Json object{{"t", true},   {"one", 1},        {"text", "1"},
                {"zero", "0"}, {"null", nullptr}, {"list", {1}}};
    EXPECT_TRUE(ImportJson::flag(object, "t"));
    EXPECT_TRUE(ImportJson::flag(object, "one"));
    EXPECT_TRUE(ImportJson::flag(object, "text"));
    EXPECT_FALSE(ImportJson::flag(object, "zero"));
    EXPECT_FALSE(ImportJson::flag(object, "null"));
    EXPECT_FALSE(ImportJson::flag(object, "list"));
    EXPECT_FALSE(ImportJson::flag(object, "absent"));
    EXPECT_FALSE(ImportJson::flag(Json("t"), "t"));
}

}  // namespace
}  // namespace pagewell

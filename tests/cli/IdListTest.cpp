#include "cli/IdList.h"

#include <gtest/gtest.h>

#include <numeric>

namespace pagewell::cli {
namespace {

std::vector<std::int64_t> oneTo(std::int64_t last) {
    std::vector<std::int64_t> ids(static_cast<std::size_t>(last));
    std::iota(ids.begin(), ids.end(), 1);
    return ids;
}

TEST(IdListTest, ShortListsStayWholeAndLongOnesSayHowManyMore) {
    const std::string twenty =
        "1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20";
    const struct {
        std::vector<std::int64_t> ids;
        std::string shown;
    } cases[] = {
        {{}, ""},
        {{100, 101}, "100, 101"},
        {oneTo(20), twenty},
        {oneTo(21), twenty + " and 1 more"},
        {oneTo(20000), twenty + " and 19980 more"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IdList::text(c.ids), c.shown) << c.ids.size() << " ids";
    }
}

}  // namespace
}  // namespace pagewell::cli

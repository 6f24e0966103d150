#include "store/RedliningIdentifier.h"

#include <gtest/gtest.h>

namespace pagewell {
namespace {

TEST(RedliningIdentifierTest, FileAndBasketItemKeys) {
    EXPECT_EQ(RedliningIdentifier::forFile(12, "anna"), "12_anna");
    EXPECT_EQ(RedliningIdentifier::forFile(-3, "anna.berg@example.com"),
              "-3_anna.berg@example.com");
    EXPECT_EQ(RedliningIdentifier::forShareFile("7F3A", 12, "anna"), "7F3A_12_anna");
    EXPECT_EQ(RedliningIdentifier::forShareFile("", 12, ""), "_12_");
    EXPECT_EQ(RedliningIdentifier::forShareFile("salt", -3, "anna"), "salt_-3_anna");
}

}  // namespace
}  // namespace pagewell

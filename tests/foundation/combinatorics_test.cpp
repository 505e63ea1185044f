#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "foundation/combinatorics.h"
#include "foundation/foundation_test_support.h"
#include "foundation/system_wrappers.h"

namespace {

std::string power_set_text(int n) {
  char* text = power_set(n);
  std::string result = text;
  delete[] text;
  return result;
}

TEST(PowerSetTest, BinaryCountingOrderWithoutTheEmptySet) {
  EXPECT_EQ(power_set_text(0), "");
  EXPECT_EQ(power_set_text(1), "1|");
  EXPECT_EQ(power_set_text(2), "_1|1_|11|");
  EXPECT_EQ(power_set_text(3), "__1|_1_|_11|1__|1_1|11_|111|");
  // Every subset of 10 items once, each n + 1 characters long, counting up in binary.
  std::string ten = power_set_text(10);
  ASSERT_EQ(ten.size(), 1023u * 11);
  for (long k = 0; k < 1023; k++) {
    std::string marks = ten.substr(k * 11, 10);
    long value = 0;
    for (char c : marks) value = value * 2 + (c == '1');
    EXPECT_EQ(value, k + 1);
    EXPECT_EQ(ten[k * 11 + 10], '|');
  }
}

TEST(PowerSetTest, CountsWithThirtyTwoBitMeaning) {
  EXPECT_EQ(num_in_power_set(0), 0);
  EXPECT_EQ(num_in_power_set(3), 7);
  EXPECT_EQ(num_in_power_set(31), 2147483647L);
}

TEST(PowerSetDeathTest, OverflowExitsWithOne) {
  const char* message = "Error, request to compute the power_set resulted in overflow.\n";
  EXPECT_EXIT(num_in_power_set(32), testing::ExitedWithCode(1), foundation_test::Exactly(message));
  EXPECT_EXIT(num_in_power_set(40), testing::ExitedWithCode(1), foundation_test::Exactly(message));
  EXPECT_EXIT(power_set(32), testing::ExitedWithCode(1), foundation_test::Exactly(message));
}

TEST(CombinatoricsTest, Figures) {
  EXPECT_EQ(fact(0), 1.0);
  EXPECT_EQ(fact(5), 120.0);
  EXPECT_EQ(choose(5, 2), 10.0);
  EXPECT_EQ(choose(4, 0), 1.0);
  EXPECT_EQ(ib_power(3, 0), 1.0);
  EXPECT_EQ(ib_power(2, 40), 1099511627776.0);
  EXPECT_EQ(calc_num_possible_schedules(0), 0.0);
  EXPECT_EQ(calc_num_possible_schedules(1), 1.0);
  EXPECT_EQ(calc_num_possible_schedules(3), 15.0);
  EXPECT_EQ(calc_num_possible_schedules(4), 64.0);
  // Past 170 the factorials overflow; the figure is only printed.
  EXPECT_TRUE(std::isnan(calc_num_possible_schedules(171)) || std::isinf(calc_num_possible_schedules(171)));
}

TEST(CombinatoricsTest, FloatToIntegerConversionsClampToTheIntegerRange) {
  const float nan = std::nanf("");
  const float inf = INFINITY;
  struct Case {
    float x;
    int ceiling;
    long nearest;
  };
  for (const Case& c : {Case{3e9f, INT_MAX, 3000000000L}, Case{-3e9f, INT_MIN, -3000000000L},
                        Case{2147483648.0f, INT_MAX, 2147483648L}, Case{-2147483648.0f, INT_MIN, -2147483648L},
                        Case{1e19f, INT_MAX, LONG_MAX}, Case{-1e19f, INT_MIN, LONG_MIN}, Case{inf, INT_MAX, LONG_MAX},
                        Case{-inf, INT_MIN, LONG_MIN}, Case{nan, 0, 0}, Case{-nan, 0, 0}}) {
    EXPECT_EQ(ceiling(c.x), c.ceiling) << c.x;
    EXPECT_EQ(simple_nearest_long(c.x), c.nearest) << c.x;
  }
}

TEST(CombinatoricsTest, RoundingAndTexts) {
  EXPECT_STREQ(boolean_to_string(1), "true");
  EXPECT_STREQ(boolean_to_string(0), "false");
  EXPECT_STREQ(boolean_to_string(2), "false");
  EXPECT_EQ(simple_nearest_long(2.5f), 3);
  EXPECT_EQ(simple_nearest_long(2.49f), 2);
  EXPECT_EQ(simple_nearest_long(7.0f), 7);
  EXPECT_EQ(simple_nearest_long(-2.7f), -2);  // negative values only truncate
  float x = 3.14159f;
  portable_round(x, 2);
  EXPECT_FLOAT_EQ(x, 3.14f);
  x = 2.5f;
  portable_round(x, 0);
  EXPECT_FLOAT_EQ(x, 2.0f);  // printf rounds halves to even
}

}  // namespace

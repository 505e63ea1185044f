#include <gtest/gtest.h>
#include "foundation/combinatorics.h"
TEST(Smoke, PowerSet) { char* t = power_set(3); EXPECT_STREQ(t, "__1|_1_|_11|1__|1_1|11_|111|"); delete[] t; }

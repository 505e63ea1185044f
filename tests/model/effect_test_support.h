// Small helpers shared by the effect and resource tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "model/distribution.h"

namespace effect_test {

using Pairs = std::vector<std::pair<float, float>>;  // (density, value)

inline void fill(Distribution& d, const Pairs& pairs) {
  d.delete_all();
  for (auto& p : pairs) d.append(p.first, p.second);
}

inline void expect_pairs(const Distribution& d, const Pairs& expected) {
  ASSERT_EQ(d.length(), static_cast<long>(expected.size()));
  for (long i = 0; i < d.length(); i++) {
    EXPECT_NEAR(d.data[i].density, expected[i].first, 1e-6) << "density of pair " << i;
    EXPECT_NEAR(d.data[i].value, expected[i].second, 1e-5) << "value of pair " << i;
  }
}

// One certain value per dimension.
inline void certain_bundle(DistributionBundle& b, float q, float c, float d) {
  fill(b.quality, {{1.0f, q}});
  fill(b.cost, {{1.0f, c}});
  fill(b.duration, {{1.0f, d}});
}

// A literal text as a death-test pattern.
inline std::string regex_of(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace effect_test

// Small helpers shared by the distribution tests.
#pragma once

#include <initializer_list>
#include <string>

#include "model/distribution.h"

namespace distribution_test {

// The message a fatal stop writes, followed by its closing lines.
inline std::string fatal_text(const std::string& message) {
  return message + "\n\a**Unrecoverable Error**\n**Scheduling operation terminated**\n";
}

inline Distribution make(std::initializer_list<DistributionPair> pairs) {
  Distribution d;
  for (const DistributionPair& p : pairs) d.append(p.density, p.value);
  return d;
}

inline std::string pairs_of(Distribution& d) {
  std::string text;
  d.print_to_string(text);
  return text;
}

}  // namespace distribution_test

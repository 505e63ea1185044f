// The nearest-slot walk of compaction, step by step as it was first written: each pair's
// density goes to its nearest slot in value order, an exact tie split between the two.
// The combine bench's yardstick and the compaction test's reference both use it.
#pragma once

#include <cfloat>
#include <cmath>

#include "model/distribution.h"

inline void reference_add_to_nearest_slots(const DistributionPair* pairs, long count, DistributionPair* slots,
                                           int m) {
  for (long k = 0; k < count; k++) {
    const DistributionPair p = pairs[k];
    float previous = FLT_MAX;
    bool placed = false;
    for (int j = 0; j < m; j++) {
      const float distance = fabsf(slots[j].value - p.value);
      if (j == 0 || distance < previous) {
        previous = distance;
        continue;
      }
      if (distance == previous) {
        slots[j - 1].density += p.density / 2.0f;
        slots[j].density += p.density / 2.0f;
      } else {
        slots[j - 1].density += p.density;
      }
      placed = true;
      break;
    }
    if (!placed) slots[m - 1].density += p.density;
  }
}

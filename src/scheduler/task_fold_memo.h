// What a task node keeps of its last fold of its children's working values, so that a
// fold whose first children hold what they held then starts after them.
#pragma once

#include <vector>

#include "foundation/shared_types.h"
#include "model/distribution.h"

class DecisionPoint;

// The fold: the first child's quality, cost and duration copied whole, each next child
// combined in (quality under the task's function, none under a sequence; cost and
// duration summed), counting the children with quality. Each combine compacts, so a fold
// is only the same fold when made in the same order from the same values; a resumed fold
// therefore goes on from the state the last fold had after the last unchanged child.
class TaskFoldMemo {
 public:
  // Folds dp's children (at least one) into its working quality, cost and duration as
  // the full fold does, and returns the number of children with quality. The combines
  // it skips are counted as made.
  long fold(DecisionPoint* dp);

 private:
  // One child as the fold read it, and the fold's state after it. The first child is
  // copied whole, so it is compared whole; the others are read by their pairs only.
  struct Step {
    Distribution child_quality, child_cost, child_duration;
    Distribution quality, cost, duration;
    long counted = 0;
  };
  // Children of the last fold that hold now what the fold read of them, from the first.
  long children_as_then(DecisionPoint* dp, VORNA_QualityAF qaf) const;

  VORNA_QualityAF qaf = VORNA_SUM;
  std::vector<Step> steps;
};

// What a task node keeps of its last folds of its children's working values, so that a
// fold whose first children hold what they held then starts after them.
#pragma once

#include <memory>
#include <vector>

#include "foundation/shared_types.h"
#include "model/distribution.h"

class DecisionPoint;

// The fold: the first child's quality, cost and duration copied whole, each next child
// combined in (quality under the task's function, none under a sequence; cost and
// duration summed), counting the children with quality. Each combine compacts, so a fold
// is only the same fold when made in the same order from the same values; a resumed fold
// therefore goes on from the state a kept fold had after the last unchanged child.
//
// Two folds are kept: a what-if changes one child and its undo changes it back, so the
// undo's fold is the one before the what-if's.
class TaskFoldMemo {
 public:
  // Folds dp's children (at least one) into its working quality, cost and duration as
  // the full fold does, and returns the number of children with quality. The combines
  // it skips are counted as made.
  long fold(DecisionPoint* dp);

 private:
  // The pairs of a later child's distribution, all that the fold reads of it.
  struct PairsRead {
    // The distribution's version when read: while it stands, so do the pairs.
    unsigned long long version = 0;
    long length = 0;
    DistributionPair pairs[DISTRIBUTION_STANDARD_NUMBER_OF_VALUES];
    std::vector<DistributionPair> more;
    void keep(const Distribution& d);
    bool same_as(const Distribution& d) const;
  };
  // One later child as the fold read it, and the fold's state after it.
  struct Step {
    PairsRead child_quality, child_cost, child_duration;
    Distribution quality, cost, duration;
    long counted = 0;
  };
  // The first child is copied whole, so it is kept and compared whole; the state after
  // it is its copy.
  struct FirstChild {
    Distribution quality, cost, duration;
  };
  // One kept fold. Made at a node's first fold: most nodes are methods, which never fold.
  struct Fold {
    VORNA_QualityAF qaf = VORNA_SUM;
    std::unique_ptr<FirstChild> first;
    // From the second child on; `folded` children in all.
    std::vector<Step> steps;
    long folded = 0;
    // Its children that hold now what it read of them, from the first; `first_as_then`
    // says whether the first does when that is known (-1 when not).
    long children_as_then(DecisionPoint* dp, VORNA_QualityAF qaf, int first_as_then) const;
    // Child i as `from` read it, and the state after it.
    void take_child_from(const Fold& from, long i);
    // The first child as read now, copied whole.
    void keep_first(const Distribution& quality, const Distribution& cost, const Distribution& duration);
  };

  Fold folds[2];
  // The fold the node's values last came from.
  int latest = 0;
  // Whether both folds read the same first child: comparing it with one then tells for both.
  bool firsts_alike = false;
};

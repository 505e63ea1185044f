// What a node keeps of its last working-values step, so that a recomputation of the tree
// whose inputs to that node have not changed since does not make the step again.
#pragma once

#include <memory>
#include <vector>

#include "foundation/shared_types.h"
#include "model/distribution.h"

class DecisionPoint;
class NLE;

// The same pairs, bit for bit, in the same order.
bool same_pairs(const Distribution& a, const Distribution& b);
// Every field that a later operation could read, the pairs in use included; the spare
// capacity beyond them is never read.
bool same_distribution(const Distribution& a, const Distribution& b);
// As same_distribution, and the spare pairs too: a copy carries them on.
bool same_copy(const Distribution& a, const Distribution& b);

// What a step read of one of its inputs: a child of a task, or the source of one of a
// method's effects. Only what a check of an unchanged input reads is kept here, so that
// the checks of a node's inputs read a few adjacent lines; the values are with the
// record's copies.
struct StepInput {
  DecisionPoint* node = nullptr;
  // The serial of the input's own record when its step in that pass left these values;
  // -1 when they came from elsewhere.
  long serial = -1;
  NLE* effect = nullptr;
  MyTime time = 0;
  // An effect acts only once its delay has passed, the one thing it reads of the end
  // of the schedule.
  bool in_time = false;
  bool bounds_known = false;
};

// A copy of a distribution and the distribution's version when it was made: while the
// version stands, so does the copy.
struct KeptDistribution {
  unsigned long long version = 0;
  Distribution copy;
  // `d` is the distribution kept here before, or another: its version tells them apart
  // but for the unwritten ones, which all hold the empty state.
  void keep(const Distribution& d) {
    if (version != 0 && d.version() == version) return;
    copy.duplicate(d);
    version = d.version();
  }
};

// The values a step read of an input whose serial no longer stands for them.
struct StepInputValues {
  KeptDistribution quality, cost, duration;  // an effect's source: its quality only
};

// A node step is a function of what it reads and writes only the node, unless it
// consumes or produces resources. For a task: its children's pairs (the first child's
// whole cost and duration when it is the only one, as they are copied then), their
// quality times, its own time, whether every child is in time for a sequence-sum. For a
// method: its base values (copied whole), the effects' sources' quality and times and
// whether each effect is in time, the mode. For both: the quality other agents promised
// and the weighting. The record keeps those and what the step left, whole (a reader may
// since have sorted it), with the combines the step made.
//
// Within one pass of a memo nothing writes a node after its visit, so an input whose
// visit in the pass ended here (given back or taken) holds what its record left; its
// record's serial, new whenever that changes, then stands for the values themselves.
class WorkingStepRecord {
 public:
  // Whether a step of dp made now, in the memo's pass `pass`, would read what the
  // recorded one read.
  bool holds(DecisionPoint* dp, UncertaintyModeSetting mode, MyTime end_of_schedule, long pass);
  // Gives dp what the recorded step left and counts that step's combines once more.
  void give_back(DecisionPoint* dp, long pass);
  // Whether dp holds what the recorded step left, every field and pair (whole) or every
  // field a later operation could read.
  bool left_on(const DecisionPoint* dp, bool whole) const;
  // Before a method's step: the step itself may cache statistics of the base it read.
  void keep_base(const DecisionPoint* dp);
  // dp's step has been made (its base kept before): it started from time_before and
  // made `combines` combines.
  void take(DecisionPoint* dp, MyTime time_before, UncertaintyModeSetting mode, MyTime end_of_schedule,
            long combines, long pass);
  long combines_made() const { return combines; }
  // Whether the recorded step left the node's quality time as it found it: a step made
  // again on what it left then reads what the recorded one read.
  bool left_time_as_found() const;
  // What give_back does to a node that holds what the record left already.
  void give_back_in_place(long pass);

  // Whether the node's visit in that pass ended with the node holding what is left here.
  bool current_in(long pass) const { return valid && current_in_pass == pass; }

  bool valid = false;

 private:
  // What a check reads first comes first; the whole values, read only where a version
  // or a serial no longer stands for them, are kept apart.
  UncertaintyModeSetting mode = SCHEDULE_USING_UNCERTAINTY;
  long serial = 0;
  // The pass whose visit of the node ended with the node holding what is left here.
  long current_in_pass = 0;
  MyTime time_before = 0;
  Value weighting = 0;
  MyTime time_after = 0;
  bool all_in_time = false;
  long combines = 0;
  // The versions of the node's own distributions when they last were as the copies:
  // while they stand, the node holds the copies without a comparison.
  unsigned long long communicated_version = 0;
  unsigned long long left_versions[3] = {0, 0, 0};
  std::vector<StepInput> inputs;
  unsigned long long base_versions[3] = {0, 0, 0};
  struct Copies {
    Distribution communicated;
    // What the step left.
    Distribution quality, cost, duration;
    Distribution base_quality, base_cost, base_duration;
    std::vector<StepInputValues> inputs;
  };
  // Made at the record's first step.
  std::unique_ptr<Copies> copies;
  Copies& copies_made();
  void note_left_on(const DecisionPoint* dp);
  static void give_back_one(Distribution& now, const Distribution& copy, unsigned long long version);
  // Whether none of the node's three was written since then.
  bool still_left_on(const DecisionPoint* dp) const;

  friend bool input_unchanged(const StepInput& in, const DecisionPoint* node, long pass);
  static long serial_in(const DecisionPoint* node, long pass);
};

// One run of recomputations that skips the steps whose records hold. The commitment walk
// also follows each of its passes: the nodes it visited, in order, whether any visit
// changed a node's values, and whether a step consumed or produced resources.
class WorkingStepMemo {
 public:
  explicit WorkingStepMemo(bool follow_passes = true) : follows_passes(follow_passes) {}

  // Each run of recomputations the memo is set for is a pass of its own.
  void begin_pass();

  bool follows_passes;
  long pass = 0;
  std::vector<DecisionPoint*> visited;
  bool changed = false;
  bool touched_resources = false;
};

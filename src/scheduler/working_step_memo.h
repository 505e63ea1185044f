// What a run of repeated recomputations of the tree keeps between its passes, so that a
// node step whose inputs have not changed since its last step is not made again.
#pragma once

#include <unordered_map>
#include <vector>

#include "model/distribution.h"
#include "scheduler/decision_point.h"

// The same pairs, bit for bit, in the same order.
bool same_pairs(const Distribution& a, const Distribution& b);
// Every field that a later operation could read, the pairs in use included; the spare
// capacity beyond them is never read.
bool same_distribution(const Distribution& a, const Distribution& b);

// A node step reads its children (or, for a method, its base values and the sources of
// its effects), the end of the schedule and its own values; it writes its own values and
// nothing else, unless it consumes or produces resources. Each node's values are kept as
// last seen, stamped whenever they are seen changed; a step that reads only values
// stamped before it, on a node still holding what that step left, gives those same values
// again. It is skipped, and the combine operations it made are counted once more, so that
// the count the run reports stays that of making it.
class WorkingStepMemo {
 public:
  // Whether the step of dp may be skipped, its inputs being `inputs`; if so its combines
  // are counted.
  bool skip_step(DecisionPoint* dp, const std::vector<DecisionPoint*>& inputs, MyTime end_of_schedule);
  // A step of dp has been made, with `combines` combine operations.
  void stepped(DecisionPoint* dp, long combines, MyTime end_of_schedule);
  // The stamp of dp's values, new if they changed since last seen.
  long observe(DecisionPoint* dp);

  // Of the current pass: the nodes it visited, in order, whether any visit changed a
  // node's values, and whether a step consumed or produced resources.
  std::vector<DecisionPoint*> visited;
  bool changed = false;
  bool touched_resources = false;
  // Scratch for the inputs of the step being looked at.
  std::vector<DecisionPoint*> inputs;

 private:
  struct Record {
    Distribution quality, cost, duration;
    MyTime time = 0;
    bool seen = false;
    long stamp = 0;
    // Of the last step: the stamp its inputs were read at, that of the values it left,
    // the end of the schedule it read and its combines.
    bool stepped = false;
    long stepped_at = 0;
    long left = 0;
    MyTime end_of_schedule = 0;
    long combines = 0;
    // The base a method's last step started from.
    Distribution base_quality, base_cost, base_duration;
  };
  std::unordered_map<DecisionPoint*, Record> records;
  long clock = 0;
};

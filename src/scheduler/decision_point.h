// The scheduler's mirror node of a task, as far as the model reads it: an effect reads
// the working quality of its source task's node and the time that task gets quality, a
// commitment keeps the nodes of its tasks, a task finds its node through its attributes.
// Only public fields and inline code live here, so the model library never links
// against scheduler code; the scheduler adds the rest of the node.
#pragma once

#include <cstdio>
#include <string>

#include "foundation/shared_types.h"
#include "foundation/typed_list.h"
#include "model/distribution.h"

class BasicTask;
class Outcome;
class DecisionPoint;

class DecisionPointList : public TypedList<DecisionPointList, DecisionPoint> {
 public:
  static constexpr const char* access_text = "DecisionPointList access function";
  static constexpr bool adds_at_front = true;
  static void delete_function(void* item);
  // Node names are compared exactly.
  static bool has_key(DecisionPoint* item, const char* key);

  void print(FILE* stream);
};

class DecisionPoint {
 public:
  DecisionPoint() { working_quality.set_to_100_percent_zero_value(); }
  // The node does not own its neighbours: both lists are only emptied.
  ~DecisionPoint() {
    supers.delete_list(0);
    subs.delete_list(0);
  }
  DecisionPoint(const DecisionPoint&) = delete;
  DecisionPoint& operator=(const DecisionPoint&) = delete;

  const TaskID& get_of_task() const { return of_task; }
  BasicTask* get_task_or_method() const { return task_or_method; }
  MyTime get_time_task_or_method_gets_quality() const { return time_task_or_method_gets_quality; }
  Distribution& get_working_quality() { return working_quality; }
  Outcome* get_combined_outcomes() const { return combined_outcomes; }

  BasicTask* task_or_method = nullptr;
  TaskID of_task = EMPTY_ID;
  DecisionPointList supers;
  DecisionPointList subs;
  // Not yet: the task has no quality at any time so far.
  MyTime time_task_or_method_gets_quality = UNSET_TIME;
  Distribution working_quality;
  Outcome* combined_outcomes = nullptr;
};

inline void DecisionPointList::delete_function(void* item) { delete static_cast<DecisionPoint*>(item); }

inline bool DecisionPointList::has_key(DecisionPoint* item, const char* key) {
  return item != nullptr && item->of_task == key;
}

inline void DecisionPointList::print(FILE* stream) {
  for (long i = 0; i < length(); i++) fprintf(stream, "Dp points to task %s\n", get(i)->of_task.c_str());
  fflush(stream);
}

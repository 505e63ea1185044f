#include "model/commitment.h"

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "foundation/combinatorics.h"
#include "foundation/tagged_new.h"
#include "scheduler/decision_point.h"

long Commitment_Creation_Counter = 0;

void reset_commitment_creation_counter() { Commitment_Creation_Counter = 0; }

namespace {
// Times print as whole numbers, truncated. A time no long can hold prints as 0 rather
// than as whatever an out-of-range conversion happens to give.
long whole_time(MyTime t) {
  if (std::isnan(t) || t >= static_cast<float>(LONG_MAX) || t < static_cast<float>(LONG_MIN)) return 0;
  return static_cast<long>(t);
}
}  // namespace

Commitment::Commitment()
    : commitment_id("Commitment_" + std::to_string(Commitment_Creation_Counter)),
      dps_for_tasks(new ("Commitment::Commitment") DecisionPointList) {
  Commitment_Creation_Counter++;
}

Commitment::~Commitment() {
  dps_for_tasks->empty_list();
  delete dps_for_tasks;

  // Every name belongs to the commitment, whether it came through add_task_id or was
  // stored by value: unlinking without freeing hands each one over, so that none leaks
  // and none is freed twice.
  std::vector<std::string*> names;
  while (task_ids.length() > 0) {
    names.push_back(task_ids.get(0L));
    task_ids.remove(0L, 0, nullptr);
  }
  task_ids.delete_list(0);
  for (std::string* name : names) delete name;
}

void Commitment::add_task_id(const std::string& name) {
  task_ids.append(new ("Commitment::add_task_id") std::string(name));
}

int Commitment::commitment_is_local_type() const {
  switch (type) {
    case DEADLINE_COMMITMENT_TYPE:
    case EARLIEST_START_TIME_COMMITMENT_TYPE:
    case DO_COMMITMENT_TYPE:
    case DONT_COMMITMENT_TYPE:
    case EST_DL_AND_DO_COMMITMENT_TYPE:
      return 1;
    default:
      return 0;
  }
}

int Commitment::commitment_is_non_local_type() const { return type == NON_LOCAL_COMMITMENT_TYPE ? 1 : 0; }

const char* Commitment::type_to_string() const {
  switch (type) {
    case EMPTY_COMMITMENT_TYPE:
      return "empty commitment type";
    case DEADLINE_COMMITMENT_TYPE:
      return "LocalCommitment: deadline commitment type";
    case EARLIEST_START_TIME_COMMITMENT_TYPE:
      return "LocalCommitment: earliest start time commitment type";
    case DO_COMMITMENT_TYPE:
      return "LocalCommitment: do commitment type";
    case NON_LOCAL_COMMITMENT_TYPE:
      return "NonLocalCommitment";
    case DONT_COMMITMENT_TYPE:
      return "LocalCommitment: dont commitment type";
    case EST_DL_AND_DO_COMMITMENT_TYPE:
      return "LocalCommitment: est, deadline, and do commitment type";
  }
  return nullptr;
}

void Commitment::print(FILE* stream) {
  fprintf(stream, "Commitment for agent %s and tasks: ", agent_id.c_str());
  for (long i = 0; i < task_ids.length(); i++) fprintf(stream, "%s ", task_ids.get(i)->c_str());
  fprintf(stream, "\n");
  if (dps_for_tasks->length() == 0) {
    fprintf(stream, "\tDP pointers not yet set.\n");
  } else {
    for (long i = 0; i < dps_for_tasks->length(); i++) {
      fprintf(stream, "\tTask id via pointer is %s.\n", dps_for_tasks->get(i)->of_task.c_str());
    }
  }
  // A type without a text must not reach "%s" as a null pointer.
  const char* text = type_to_string();
  fprintf(stream, "\t%s\n", text != nullptr ? text : "(null)");
}

LocalCommitment* Commitment::as_local() {
  return commitment_is_local_type() ? dynamic_cast<LocalCommitment*>(this) : nullptr;
}

NonLocalCommitment* Commitment::as_non_local() {
  return commitment_is_non_local_type() ? dynamic_cast<NonLocalCommitment*>(this) : nullptr;
}

void Commitment::print_by_invoking_appropriate_child_classes_print(FILE* stream) {
  if (LocalCommitment* local = as_local()) {
    local->print(stream);
  } else if (NonLocalCommitment* non_local = as_non_local()) {
    non_local->print(stream);
  } else {
    print(stream);
  }
}

LocalCommitment::LocalCommitment() { quality_for_commitment_satisfaction.set_to_100_percent_zero_value(); }

void LocalCommitment::print(FILE* stream) {
  Commitment::print(stream);
  fprintf(stream, "\tSatisfaction Time %ld\n", whole_time(satisfaction_time));
  fprintf(stream, "\tNegotiability %f\n", negotiability);
  fprintf(stream, "\tUtility %f\n", utility);
  fprintf(stream, "\tImportance %d\n", importance);
  fprintf(stream, "\tStatus ");
  switch (status) {
    case COMMITMENT_SATISFIED:
      fprintf(stream, "satisfied.\n");
      break;
    case COMMITMENT_VIOLATED:
      fprintf(stream, "violated.\n");
      break;
    case COMMITMENT_UNDETERMINED:
      fprintf(stream, "undetermined.\n");
      break;
    default:
      fprintf(stream, "**error**.\n");
      break;
  }
  fprintf(stream, "\tExistingOrProposed ");
  switch (existing_or_proposed) {
    case COMMITMENT_IS_PROPOSED:
      fprintf(stream, "proposed\n");
      break;
    case COMMITMENT_IS_EXISTING:
      fprintf(stream, "existing\n");
      break;
    default:
      fprintf(stream, "undefined -- error?\n");
      break;
  }
  fprintf(stream, "\tCommitmentType %d\n", static_cast<int>(type));
  fprintf(stream, "\tDeadline %ld\n", whole_time(deadline));
  fprintf(stream, "\tEarliest Start Time %ld\n", whole_time(earliest_start_time));
  fprintf(stream, "\tDont Interval Start %ld\n", whole_time(dont_interval_start));
  fprintf(stream, "\tDont Interval End %ld\n", whole_time(dont_interval_end));
  fprintf(stream, "\tMin. Quality %f\n", minimum_quality);
  fprintf(stream, "\tQaulity for commitment satisfaction: ");
  quality_for_commitment_satisfaction.print(stream);
}

NonLocalCommitment::NonLocalCommitment() {}

void NonLocalCommitment::print(FILE* stream) {
  Commitment::print(stream);
  fprintf(stream, "\tExpected arrival time: %ld\n", whole_time(expected_arrival_time));
  fprintf(stream, "\tBeen updated? %s\n", boolean_to_string(been_updated));
  fprintf(stream, "\tQuality ");
  quality.print(stream);
  fprintf(stream, "\tExpected Arrival Time %ld with distribution:", whole_time(expected_arrival_time));
  arrival_time.print(stream);
}

void commitment_delete_function(void* item) {
  Commitment* c = static_cast<Commitment*>(item);
  if (c == nullptr) return;
  // Only commitments of a known kind are destroyed; any other is merely unlinked.
  if (c->commitment_is_local_type() || c->commitment_is_non_local_type()) delete c;
}

bool CommitmentList::has_key(Commitment* item, const char* key) {
  return item != nullptr && item->task_ids.in_list(key) == 1;
}

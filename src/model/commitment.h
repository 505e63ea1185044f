// Promises about tasks: that they reach quality by a deadline, do not start before a
// time, are done at all, are not done within an interval, or (from another agent) that
// a result arrives. The kind of a commitment is told by its `type`, not by virtual
// calls; the one virtual member is the destructor, so that every object is destroyed
// whole whatever pointer it is deleted through.
#pragma once

#include <cstdio>
#include <string>

#include "foundation/shared_types.h"
#include "foundation/string_list.h"
#include "foundation/typed_list.h"
#include "model/distribution.h"

class DecisionPointList;
class LocalCommitment;
class NonLocalCommitment;

// A fixed underlying type, so that a number outside the table is still a valid value.
enum CommitmentType : int {
  EMPTY_COMMITMENT_TYPE = -9,
  DEADLINE_COMMITMENT_TYPE = 1,
  EARLIEST_START_TIME_COMMITMENT_TYPE = 2,
  DO_COMMITMENT_TYPE = 3,
  NON_LOCAL_COMMITMENT_TYPE = 4,
  DONT_COMMITMENT_TYPE = 5,
  EST_DL_AND_DO_COMMITMENT_TYPE = 6,
};

enum CommitmentStatus : int {
  COMMITMENT_VIOLATED = 0,
  COMMITMENT_SATISFIED = 1,
  COMMITMENT_UNDETERMINED = 2,
};

enum CommitmentExistingOrProposed : int {
  COMMITMENT_IS_EXISTING = 0,
  COMMITMENT_IS_PROPOSED = 1,
};

// Numbers the ids "Commitment_%ld"; it only grows during a run (and across library calls).
extern long Commitment_Creation_Counter;
// For tests that need known ids.
void reset_commitment_creation_counter();

class Commitment {
 public:
  Commitment();
  virtual ~Commitment();
  Commitment(const Commitment&) = delete;
  Commitment& operator=(const Commitment&) = delete;

  // The commitment keeps its own copy of the name.
  void add_task_id(const std::string& name);

  int commitment_is_local_type() const;
  int commitment_is_non_local_type() const;
  // Null for a type without a text.
  const char* type_to_string() const;
  // The base part only.
  void print(FILE* stream);
  // The printout of the kind `type` names; stands in for a virtual print.
  void print_by_invoking_appropriate_child_classes_print(FILE* stream);

  // The derived record when `type` names that kind and the object is of it, else null.
  LocalCommitment* as_local();
  NonLocalCommitment* as_non_local();

  ID commitment_id;
  AgentID agent_id = EMPTY_ID;
  CommitmentType type = EMPTY_COMMITMENT_TYPE;
  CommitmentStatus status = COMMITMENT_UNDETERMINED;
  // The names are stored by pointer and belong to the commitment (see add_task_id).
  TaskIDList task_ids;
  CommitmentExistingOrProposed existing_or_proposed = COMMITMENT_IS_PROPOSED;
  // Owned list; the decision points in it belong to the scheduler.
  DecisionPointList* dps_for_tasks;
};

class LocalCommitment : public Commitment {
 public:
  LocalCommitment();

  void print(FILE* stream);

  MyTime satisfaction_time = UNSET_TIME;
  Negotiability negotiability = -9.0f;
  Utility utility = -9.0f;
  // Above 0 a hard commitment, 0 a regular one, below 0 a what-if one.
  Importance importance = UNSET_ENUMERATION;
  Quality minimum_quality = 0.0f;
  MyTime deadline = UNSET_TIME;
  MyTime earliest_start_time = UNSET_TIME;
  MyTime dont_interval_start = UNSET_TIME;
  MyTime dont_interval_end = UNSET_TIME;
  Distribution quality_for_commitment_satisfaction;
};

class NonLocalCommitment : public Commitment {
 public:
  NonLocalCommitment();

  void print(FILE* stream);

  MyTime expected_arrival_time = UNSET_TIME;
  int been_updated = 0;
  Distribution quality;
  Distribution arrival_time;
  AgentID from_agent = EMPTY_ID;
};

// Destroys local and non-local commitments; one of any other type is left alone.
void commitment_delete_function(void* item);

class CommitmentList : public TypedList<CommitmentList, Commitment> {
 public:
  static constexpr const char* access_text = "CommitmentList access function";
  static constexpr bool adds_at_front = true;
  static void delete_function(void* item) { commitment_delete_function(item); }
  // A commitment is found by any of its task names, ignoring case.
  static bool has_key(Commitment* item, const char* key);

  // Shares the other list's commitments; exactly one of the lists may later free them.
  long append_list_not_copy_items(CommitmentList* other) { return List::append_list_not_copy_items(other); }
};

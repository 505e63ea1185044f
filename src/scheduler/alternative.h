// A candidate set of methods for achieving quality at a decision point, with the quality,
// cost and duration that executing exactly those methods would give, their best-case
// (potential) counterparts and a rating against the schedule criteria; and the list of
// the candidates of one node. Generation is in alternative_generation.cpp, rating and
// pruning of lists in alternative_rating.cpp.
#pragma once

#include <cstdio>
#include <vector>

#include "foundation/shared_types.h"
#include "foundation/typed_list.h"
#include "model/distribution.h"
#include "model/schedule_bundles.h"
#include "model/task.h"

class DecisionPoint;
class ClientDataPacket;

class Alternative {
 public:
  Alternative() = default;
  // The methods belong to the task structure: the list is only emptied.
  ~Alternative() { method_list.delete_list(0); }
  Alternative(const Alternative&) = delete;
  Alternative& operator=(const Alternative&) = delete;

  // Copies everything but the three probabilities and appends the other's methods to this
  // one's (it does not replace them). Given itself it leaves the alternative unchanged.
  void duplicate(Alternative& other);
  // As duplicate, leaving this one's methods as they are.
  void duplicate_all_but_methods(Alternative& other);
  // Makes this one as a new one is, keeping the storage its distributions have grown.
  void reset_as_new();
  // 1 when this one dominates the other with probability above 0.51 in all three dimensions.
  int dominates(Alternative* other);
  long memory_used();
  long memory_used_by_distributions();
  void print(FILE* stream);
  void small_print(FILE* stream);

  TaskID of_task = EMPTY_ID;
  DecisionPoint* of_dp = nullptr;
  int already_been_scheduled = 0;
  std::string reason_alt_was_selected = EMPTY_ID;
  // -1.0: not rated.
  float rating = -1.0f;
  Distribution cost;
  Distribution quality;
  Distribution duration;
  Distribution potential_cost;
  Distribution potential_quality;
  Distribution potential_duration;
  Density prob_expected_q_or_better = -1.0f;
  Density prob_expected_c_or_better = -1.0f;
  Density prob_expected_d_or_better = -1.0f;
  // Not owned.
  TaskList method_list;
};

// Alternatives given back for reuse: a node's candidates are made and most of them pruned
// at once, and reusing them spares the allocation of their distributions' arrays. Those
// still held are freed with the pool.
class AlternativePool {
 public:
  AlternativePool() = default;
  ~AlternativePool();
  AlternativePool(const AlternativePool&) = delete;
  AlternativePool& operator=(const AlternativePool&) = delete;
  // As a new one is.
  Alternative* take(const char* tag);
  void give_back(Alternative* alt);

 private:
  std::vector<Alternative*> spare;
};

// The candidates of one node; `add` puts a new one at the front. Names are compared
// exactly and need not be unique: a lookup returns the first.
class AlternativeList : public TypedList<AlternativeList, Alternative> {
 public:
  static constexpr const char* access_text = "AlternativeList access function";
  static constexpr bool adds_at_front = true;
  static void delete_function(void* item);
  static bool has_key(Alternative* item, const char* key);

  // Always keeps the alternative (or, with copy 1, an unrated duplicate of it), at the front.
  int consider_adding_new_alternative(Alternative* alt, int copy, const char* label);
  // 1 when some member holds exactly the same set of methods (compared as pointers).
  int alt_exists(Alternative* alt);
  // Replaces this list's alternatives (freed) with duplicates of the other's, which end up
  // in reverse order; returns the count. A list given itself stays as it is.
  long duplicate(AlternativeList& other);
  void small_print(FILE* stream);
  long memory_used_inclusive();
  void order_alternatives_for_final_output(ScheduleCriteriaBundle& cb, ScheduleSettingBundle& s);
  // Before the first entry rated strictly lower; at the end when there is none.
  void insert_alternative_by_rating(Alternative* alt);
  long find_highest_q_lowest_d_lowest_c(Alternative* best_q, Alternative* best_d, Alternative* best_c);

  // ---- rating and pruning: alternative_rating.cpp ----
  // Rates every member; returns the best one not yet scheduled (first of equals), or null.
  Alternative* rate_alternatives_and_sort(ScheduleCriteriaBundle& cb, ScheduleSettingBundle& s, int sort);
  Alternative* rate_alternatives_and_NO_sort(ScheduleCriteriaBundle& cb, ScheduleSettingBundle& s);
  static int alternative_func_to_sort_by_rating(const void* a, const void* b);
  Alternative* rate_alternatives_and_prune_to_n_best(ScheduleCriteriaBundle& cb, ScheduleSettingBundle& s, long n,
                                                     int delete_dropped);
  Alternative* rate_alternatives_and_prune_to_n_best_using_heuristic_approach(ScheduleCriteriaBundle& cb,
                                                                             ScheduleSettingBundle& s, long n,
                                                                             int hard_deadline,
                                                                             int delete_dropped);
  // Reorders the list into the quota picks, then the rest; n becomes the number of picks.
  void sort_alternatives_using_heuristic_bucket_approach(long& n, ScheduleCriteriaBundle& cb,
                                                         ScheduleSettingBundle& s, int hard_deadline);
  void build_assortment_using_bucket_scheme_d(AlternativeList* destination, long& n_d);
  void build_assortment_using_bucket_scheme_q(AlternativeList* destination, long& n_q);
  void build_assortment_using_bucket_scheme_c(AlternativeList* destination, long& n_c);
  void decrease_qualities_by_degree_alts_miss_hard_deadline_up_to_some_bounds(float deadline, float factor);
  void print_to_data_files(FILE* stats_file, FILE* plain_file);

  // ---- the packet for an outside client: client_data_packet.cpp ----
  ClientDataPacket* store_alt_data_for_outside_client();
};

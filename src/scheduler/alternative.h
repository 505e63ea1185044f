// A candidate set of methods for achieving quality at a decision point, with the quality,
// cost and duration that executing exactly those methods would give, their best-case
// (potential) counterparts and a rating against the schedule criteria; and the list of
// the candidates of one node. Generation is in alternative_generation.cpp, rating and
// pruning of lists in alternative_rating.cpp.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <memory>
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

// The combinations of a node's cross products repeat: the members' alternatives often share a
// distribution (a cost of one value, a duration of two), and combining equal operands
// gives the same result to the bit, whatever the result was before (an operand itself or
// as new). Each result is kept with its operands' pairs, and a combination found again is
// copied and counted as made. The results live in an open-addressed table over storage
// that `clear` keeps, so that the next node reuses it without allocating.
class CombineMemo {
 public:
  // The operation of costs and durations; a quality's is its accumulation function.
  static constexpr int SUM_OF_COSTS_OR_DURATIONS = -1;
  // Longer operands (never the compacted ones) are combined every time.
  static constexpr long KEY_PAIRS = 2 * DISTRIBUTION_STANDARD_NUMBER_OF_VALUES;
  // Chunk k of the results holds FIRST_CHUNK_ENTRIES << k up to GROWN_CHUNKS chunks, and
  // every later one as many as the last of those: a small node allocates little, a large
  // one few times and never much more than it fills.
  static constexpr long FIRST_CHUNK_ENTRIES = 64;
  static constexpr int FIRST_CHUNK_BITS = 6;
  static_assert(FIRST_CHUNK_ENTRIES == 1L << FIRST_CHUNK_BITS);
  static constexpr int GROWN_CHUNKS = 7;
  static constexpr long LAST_GROWN_CHUNK_ENTRIES = FIRST_CHUNK_ENTRIES << (GROWN_CHUNKS - 1);
  static constexpr long IN_GROWN_CHUNKS = FIRST_CHUNK_ENTRIES * ((1L << GROWN_CHUNKS) - 1);
  // A bound on the memory of one node's results.
  static constexpr long MAX_RESULTS = 1L << 17;
  static constexpr size_t FIRST_TABLE_SLOTS = 128;

  CombineMemo() = default;
  CombineMemo(const CombineMemo&) = delete;
  CombineMemo& operator=(const CombineMemo&) = delete;

  // Sets target (d1 itself, or as new) to d1 combined with d2 by `combine`, which
  // `operation` names.
  template <class Combine>
  void apply(Distribution& target, const Distribution& d1, const Distribution& d2, int operation,
             Combine combine) {
    if (d1.next_slot + d2.next_slot > KEY_PAIRS) {
      combine();
      return;
    }
    // Taken before combining: the target may be an operand.
    set_probe(d1, d2, operation);
    if (const Distribution* found = find_probe()) {
      target.duplicate(*found);
      Distribution::count_combine_operations(1);
      return;
    }
    combine();
    keep_probe(target);
  }
  long size() const { return used; }
  // Forgets every result, keeping the storage.
  void clear();
  // A pool's memo serves one batch at a time.
  bool in_use = false;

 private:
  struct Key {
    int operation = 0;
    int first_length = 0;
    int second_length = 0;
    DistributionPair pairs[KEY_PAIRS];
  };
  struct Entry {
    uint64_t hash = 0;
    Key key;
    Distribution result;
  };
  // A slot is empty unless it was filled since the last clear (its mark is the current one).
  struct Slot {
    uint32_t mark = 0;
    uint32_t entry = 0;
  };
  void set_probe(const Distribution& d1, const Distribution& d2, int operation);
  // The result kept for the probe's operands, or null; leaves probe_slot at the slot
  // where the probe would go.
  const Distribution* find_probe();
  void keep_probe(const Distribution& result);
  Entry& entry(long i) {
    if (i >= IN_GROWN_CHUNKS) {
      long past = i - IN_GROWN_CHUNKS;
      return chunks[static_cast<size_t>(GROWN_CHUNKS + past / LAST_GROWN_CHUNK_ENTRIES)]
                   [past % LAST_GROWN_CHUNK_ENTRIES];
    }
    unsigned long n = static_cast<unsigned long>(i + FIRST_CHUNK_ENTRIES);
    int k = std::bit_width(n) - 1 - FIRST_CHUNK_BITS;
    return chunks[static_cast<size_t>(k)][n - (1UL << (k + FIRST_CHUNK_BITS))];
  }
  // The entries the first k chunks hold.
  static long held_by_chunks(long k) {
    return k <= GROWN_CHUNKS ? FIRST_CHUNK_ENTRIES * ((1L << k) - 1)
                             : IN_GROWN_CHUNKS + (k - GROWN_CHUNKS) * LAST_GROWN_CHUNK_ENTRIES;
  }
  bool probe_matches(const Key& key) const;
  // Doubles the table, placing every kept entry anew.
  void grow();

  Key probe;
  uint64_t probe_hash = 0;
  size_t probe_slot = 0;
  long used = 0;
  uint32_t mark = 1;
  std::vector<Slot> slots;
  // Entries never move: a chunk is allocated once and reused after every clear.
  std::vector<std::unique_ptr<Entry[]>> chunks;
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
  // For the node being generated: its results are dropped before the next node's.
  CombineMemo combine_memo;

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

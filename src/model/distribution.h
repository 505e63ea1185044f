// Discrete probability distributions: every uncertain quantity of the model (quality,
// cost, duration, effect powers, finish times) is a small array of (density, value)
// pairs with cached statistics. Combinations keep results small by compacting them to
// at most five values.
//
// Densities need not sum to 1; the expected value is the plain sum of value x density.
// All arithmetic is single precision, in the order the operations document, because
// the last bit of a sum decides ties in compaction and in the scheduler's comparisons.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>

#include "foundation/shared_types.h"

struct DistributionPair {
  Density density;
  Value value;
};

// How a bias moves values relative to a reference point.
enum BiasDirectionType {
  BIAS_TOWARD_X = 0,
  BIAS_AWAY_FROM_X = 1,
};

// The number of values every combination compacts its result to.
constexpr int DISTRIBUTION_STANDARD_NUMBER_OF_VALUES = 5;

// Process-wide count of pairwise combine operations; printed with the run statistics.
extern long the_counter;

// Sort helpers for pair arrays: ascending value, and descending density.
int distribution_pair_compare(const void* a, const void* b);
int distribution_pair_compare_by_density(const void* a, const void* b);

class Distribution {
  // First: a reader that checks only the version reads the distribution's first bytes,
  // which can share a cache line with what it read just before.
  unsigned long long write_version = 0;
  // Where each write also leaves its version: an owner that watches, or else a sink that
  // no one reads, so that a write stores without testing. Never copied.
  unsigned long long* written_into = &unwatched_writes;

 public:
  Distribution();
  ~Distribution();
  // Deep copies (the same as duplicate()).
  Distribution(const Distribution& other);
  Distribution& operator=(const Distribution& other);

  // ---- content ----
  void append(Density d, Value v);
  // Address of pair i (0 .. length()-1); clears every flag since the caller may write.
  DistributionPair* get(long i);
  DistributionPair* operator[](long i) { return get(i); }
  void remove(long i);
  long length() const { return next_slot; }
  long num_stored() const { return next_slot; }
  long current_size() const { return num_storable_items; }
  long get_upper_bound() const { return next_slot; }
  long memory_used() const { return memory_allocated + 56; }
  void delete_all();
  void duplicate(const Distribution& other);
  Distribution* duplicate();
  void replace_with(Density d, Value v);
  void set_to_100_percent_zero_value();
  void replace_distribution_with_its_expected_value();
  DistributionPair* append_via_address();
  DistributionPair* get_address(long i);
  // Grows the array to hold at least `need` pairs; never shrinks it.
  void reallocate_data(long need);
  // A number no other state of any distribution has had: every change of any field or
  // pair, a cached statistic or a sort included, gives a new one. Equal versions of one
  // distribution at two moments mean it held the same state at both.
  unsigned long long version() const { return write_version; }
  // Back to the state it had at `version`: `kept` was copied whole from this distribution
  // then, and not written since. It takes that version again, so what was kept of it at
  // that version holds once more; the owner watching it is told of a write.
  void take_back(const Distribution& kept, unsigned long long version);
  // It holds, whole, the state it had at `version` (a writer found it so): it takes that
  // version again, with no write.
  void take_back_version(unsigned long long version) { write_version = version; }
  // Every later write of this distribution also stores its version at `stamp`.
  void report_writes_to(unsigned long long* stamp) { written_into = stamp; }
  // The latest version given, and a new one for a write elsewhere that is told apart the same way.
  static unsigned long long latest_version() { return the_version_clock; }
  static unsigned long long new_version() { return ++the_version_clock; }
  // For the callers that set the flag themselves.
  void mark_combined_under_sigmoid() {
    combined_under_sigmoid_and_multiplier_not_applied = 1;
    touch();
  }

  // Scratch storage: this keeps its pairs in the caller's array of capacity pairs (which
  // must outlive it) while that is larger than its own, and allocates only beyond it.
  void lend_array(DistributionPair* pairs, long capacity);

  // ---- statistics ----
  Value get_expected_value();
  Value get_value_mean() { return get_expected_value(); }
  Value get_weighted_value_avg() { return get_expected_value(); }
  Value get_value_sum();
  Density get_density_sum();
  Value get_value_min();
  Value get_value_max();
  Value get_value_median();
  Value get_value_by_percentile(float p);
  // -2 expected value, -1 minimum, 0 maximum, 0.5 median, anything else a percentile.
  Value get_specified_value(ValueSpecifier s);
  Value get_least_value_gt_zero();

  // ---- probability queries (storage order) ----
  Density get_probability_value_is_x(Value x);
  Density get_probability_value_is_zero();
  Density get_probability_value_is_gt_or_equal_to_x(Value x);
  Density get_probability_value_is_gt_x(Value x);
  Density get_probability_value_is_lt_or_equal_to_x(Value x);
  Density get_probability_value_is_lt_x(Value x);
  int some_values_are_gt_zero();
  Density probability_that_this_dominates_d2(Distribution& d2);

  // ---- density checks ----
  Density sum_all_densities();
  // 1 when 1 - t <= sum <= 1 + t.
  int densities_sum_to_100_with_threshold(float t);

  // ---- value edits ----
  void multiply_all_values_by(float factor);
  void add_constant_to_all_values(float c);
  void set_any_zero_values_to_x(Value x);
  void set_any_negative_values_to_x(Value x);
  void set_any_negative_values_to_zero();
  void replace_zeros_with_value(Value x);
  void make_sure_all_values_over_significance_threshold();

  // ---- text forms ----
  void print(FILE* stream);
  void print_to_string(std::string& out);
  void print(FILE* stream, const char* label);
  void print(FILE* stream, void (*print_pair)(FILE*, DistributionPair*));
  // " value density" per pair; leaves the stream in fixed notation with showpoint.
  void print_to_stream_in_t_vorna_format(std::ostream& out);
  void set_distribution_from_string(const char* text);

  // ---- combination (two-operand forms set this to the result; one-operand forms
  //      combine this with the operand) ----
  void combine(Distribution* d1, Distribution* d2, VORNA_QualityAF qaf);
  void combine(Distribution& d1, Distribution& d2, VORNA_QualityAF qaf);
  void combine(Distribution& d, VORNA_QualityAF qaf);
  void combine(Distribution* d, VORNA_QualityAF qaf);

  void combine_costs(Distribution* d1, Distribution* d2);
  void combine_costs(Distribution& d1, Distribution& d2);
  void combine_costs(Distribution& d);
  void combine_costs(Distribution* d);

  void combine_durations(Distribution* d1, Distribution* d2);
  void combine_durations(Distribution& d1, Distribution& d2);
  void combine_durations(Distribution& d);
  void combine_durations(Distribution* d);

  // d1 - d2 (one-operand forms: this - d).
  void subtract_durations(Distribution* d1, Distribution* d2);
  void subtract_durations(Distribution& d1, Distribution& d2);
  void subtract_durations(Distribution& d);
  void subtract_durations(Distribution* d);

  // Pairwise: a.value when a.value < x, else a.value + b.value. Not counted.
  void special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
      Distribution* d1, Distribution* d2, float x);
  void special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
      Distribution& d1, Distribution& d2, float x);
  void special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
      Distribution& d, float x);
  void special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
      Distribution* d, float x);

  void apply_sigmoid_multiple(float m);

  // ---- sorting, compaction, redistribution ----
  void sort_and_combine();
  void compact_to_x_values(int n);
  void compact_to_std_num_values() { compact_to_x_values(DISTRIBUTION_STANDARD_NUMBER_OF_VALUES); }
  void redistribute_density_for_zero_values_to_others();
  void reduce_total_density_to_x_percent(float x);

  // ---- merges ----
  void merge_with_this(Distribution& d);
  void merge_into_this(Distribution** ds, long n);
  void weight_and_merge_multiple_distributions_into_this(Distribution** ds, float* weights, long n);

  // ---- bias and sampling ----
  // This becomes `value` shifted by strength x each value of `bias` (with its density).
  void bias_single_value_using_input_distribution(float value, float strength, Distribution& bias);
  // Every value moves toward (or away from) x by strength x bias value x its distance to x.
  void bias_values_in_relation_to_x_using_input_distribution(BiasDirectionType direction, float x, float strength,
                                                             Distribution& bias);
  // A value drawn in proportion to the densities (1000-slot table); 0 when empty.
  Value sample_from_distribution();

  // ---- the process-wide combine counter ----
  static long report_total_number_of_combine_operations();
  static void reset_combine_operation_counter();
  // For a caller that skips a computation it knows would repeat n combine operations.
  static void count_combine_operations(long n);
  // The combine operations really made: the total above without those counted for skipped ones.
  static long report_number_of_real_combine_operations();

  // ---- record (public like the rest of the model's plain records) ----
  long next_slot;
  long num_storable_items;
  long memory_allocated;
  int data_is_sorted;
  int combined_under_sigmoid_and_multiplier_not_applied;
  Value weighted_value_avg;
  Value value_sum;
  Density density_sum;
  int unsorted_statistics_are_valid;
  Value value_min;
  Value value_max;
  Value value_median;
  int sorted_statistics_are_valid;
  DistributionPair* data;

 private:
  void init_empty();
  // Every member that writes calls this; the public fields are written by no one else.
  void touch() {
    write_version = ++the_version_clock;
    *written_into = write_version;
  }
  static unsigned long long the_version_clock;
  static unsigned long long unwatched_writes;
  // Every field as a new distribution has it, except the pairs.
  void reset_to_empty_fields();
  // Makes room for at least capacity pairs, reusing the array when it is large enough;
  // the contents of a new array are undefined.
  void ensure_allocated(long capacity);
  void clear_all_flags();
  void compute_unsorted_statistics();
  void compute_sorted_statistics();
  // Walks the sorted pairs until the running density reaches p.
  Value walk_to_percentile(float p);

  static constexpr long INITIAL_CAPACITY = 5;
  // The size of the array data points to. num_storable_items (and memory_allocated) stay
  // the capacity the growth rule gives, as reported; emptying, copying and compacting keep
  // the array while it is large enough, so that they do not allocate every time.
  long allocated_pairs = 0;
  // The pairs of a distribution that never held more than a compacted result: making one
  // (every scratch distribution of the scheduler) allocates nothing.
  DistributionPair inline_pairs[INITIAL_CAPACITY];
  // Whether data is an array of the heap that this distribution frees.
  bool owns_array = false;
  // Points data at pairs (capacity of them, of the heap when owned), freeing the old array.
  void replace_array(DistributionPair* pairs, long capacity, bool owned = true);
  // The growth rule: the capacity plus (need - capacity) rounded up to an even number.
  static long capacity_for(long capacity, long need);

  // NONE produces no pairs (a combination under an unknown function).
  enum class PairRule { SUM, DIFFERENCE, MAX, MIN, ONLY_ONE, COMMITMENT, NONE };
  // The statistics of a product, accumulated in production order.
  struct ProductSums {
    Density densities = 0.0f;
    Value values = 0.0f;
    Value weighted = 0.0f;
  };
  // Writes the product of d1 and d2 under rule to product; returns its length.
  static long produce_by_rule(const Distribution& d1, const Distribution& d2, PairRule rule, float x,
                              DistributionPair* product, ProductSums& sums);
  // As reallocate_data(need), for a caller that writes every pair below need at once:
  // those are neither copied nor cleared.
  void reserve_for_overwrite(long need);
  void internal_combine(Distribution& d1, Distribution& d2, PairRule rule, float x, const char* empty_error);
  void combine_by_rule(Distribution& d1, Distribution& d2, PairRule rule, float x, const char* empty_error,
                       int counts);
};

// Cost, quality and duration, in that order.
class DistributionBundle {
 public:
  Distribution cost;
  Distribution quality;
  Distribution duration;

  void duplicate(DistributionBundle& other);
  void print(FILE* stream);
};

// Scratch storage on the stack for a computation's intermediate distributions: one whose
// pairs fit SCRATCH_PAIRS allocates nothing. Not copyable: a copy would not share it.
constexpr long SCRATCH_PAIRS = 64;

class ScratchDistribution : public Distribution {
 public:
  ScratchDistribution() { lend_array(pairs, SCRATCH_PAIRS); }
  ScratchDistribution(const ScratchDistribution&) = delete;
  ScratchDistribution& operator=(const ScratchDistribution&) = delete;

 private:
  DistributionPair pairs[SCRATCH_PAIRS];
};

class ScratchBundle : public DistributionBundle {
 public:
  ScratchBundle() {
    cost.lend_array(pairs[0], SCRATCH_PAIRS);
    quality.lend_array(pairs[1], SCRATCH_PAIRS);
    duration.lend_array(pairs[2], SCRATCH_PAIRS);
  }
  ScratchBundle(const ScratchBundle&) = delete;
  ScratchBundle& operator=(const ScratchBundle&) = delete;

 private:
  DistributionPair pairs[3][SCRATCH_PAIRS];
};

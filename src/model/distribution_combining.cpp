// Making distributions out of others: pairwise combination under each quality
// accumulation function, sums and differences of costs and durations, sorting and
// compaction to a few values, redistribution and scaling of densities, merges, and
// the seldom used bias and sampling operations.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <vector>

#include "foundation/system_wrappers.h"
#include "model/distribution.h"

long the_counter = 0;

long Distribution::report_total_number_of_combine_operations() { return the_counter; }

void Distribution::reset_combine_operation_counter() { the_counter = 0; }

void Distribution::count_combine_operations(long n) { the_counter += n; }

namespace {
// The combines really made, where the_counter also holds those that a skipped computation
// would have made. The bench's build prints it when the process ends.
long real_combines = 0;
#ifdef VELA_COUNT_COMBINES
struct RealCombineReport {
  ~RealCombineReport() { fprintf(stderr, "Real combine operations: %ld\n", real_combines); }
} real_combine_report;
#endif
void count_real_combine() { real_combines++; }
}  // namespace

long Distribution::report_number_of_real_combine_operations() { return real_combines; }

int distribution_pair_compare(const void* a, const void* b) {
  const DistributionPair* x = static_cast<const DistributionPair*>(a);
  const DistributionPair* y = static_cast<const DistributionPair*>(b);
  if (x->value > y->value) return 1;
  if (x->value < y->value) return -1;
  return 0;
}

int distribution_pair_compare_by_density(const void* a, const void* b) {
  const DistributionPair* x = static_cast<const DistributionPair*>(a);
  const DistributionPair* y = static_cast<const DistributionPair*>(b);
  if (x->density > y->density) return -1;
  if (x->density < y->density) return 1;
  return 0;
}

namespace {
// Combinations sort a product of compacted inputs (25 pairs at most): up to this size a
// stable insertion sort in place does it.
constexpr long SORT_IN_PLACE_UP_TO = 32;
// Longer arrays up to this size merge sorted runs through a buffer on the stack; longer
// ones still go to std::stable_sort.
constexpr long MERGE_ON_STACK_UP_TO = 512;
// A product over an operand up to this size is made on the stack.
constexpr long PRODUCT_ON_STACK_UP_TO = 64;
// Compaction slots beyond this many (never asked for by the system) go to the heap.
constexpr int SLOTS_ON_STACK = 16;

template <class Before>
inline void insertion_sort_pairs(DistributionPair* pairs, long n, Before before) {
  for (long i = 1; i < n; i++) {
    const DistributionPair moving = pairs[i];
    long j = i;
    for (; j > 0 && before(moving, pairs[j - 1]); j--) pairs[j] = pairs[j - 1];
    pairs[j] = moving;
  }
}

// Every stable sort gives the same order under a strict weak ordering, so the merges
// below order as std::stable_sort does; a NaN key breaks that ordering (it compares
// equal to everything), and then std::stable_sort's own steps decide, as they always did.
template <class Before, class Key>
[[gnu::noinline]] void stable_sort_long_pairs(DistributionPair* pairs, long n, Before before, Key key) {
  bool ordered = n <= MERGE_ON_STACK_UP_TO;
  for (long i = 0; ordered && i < n; i++) ordered = !std::isnan(key(pairs[i]));
  if (!ordered) {
    std::stable_sort(pairs, pairs + n, before);
    return;
  }
  for (long start = 0; start < n; start += SORT_IN_PLACE_UP_TO)
    insertion_sort_pairs(pairs + start, std::min(SORT_IN_PLACE_UP_TO, n - start), before);
  DistributionPair buffer[MERGE_ON_STACK_UP_TO];
  for (long width = SORT_IN_PLACE_UP_TO; width < n; width *= 2) {
    for (long left = 0; left + width < n; left += 2 * width) {
      const long middle = left + width;
      const long right = std::min(middle + width, n);
      long i = left;
      long j = middle;
      long k = 0;
      // The right run's pair goes first only when strictly before: that keeps it stable.
      while (i < middle && j < right) buffer[k++] = before(pairs[j], pairs[i]) ? pairs[j++] : pairs[i++];
      while (i < middle) buffer[k++] = pairs[i++];
      // The rest of the right run is already in place.
      memcpy(static_cast<void*>(pairs + left), buffer, sizeof(DistributionPair) * k);
    }
  }
}

// Stable: pairs that compare equal keep their order, so results do not depend on the
// sorting routine.
template <class Before, class Key>
inline void stable_sort_pairs(DistributionPair* pairs, long n, Before before, Key key) {
  if (n > SORT_IN_PLACE_UP_TO)
    stable_sort_long_pairs(pairs, n, before, key);
  else
    insertion_sort_pairs(pairs, n, before);
}

// The same orders as distribution_pair_compare and distribution_pair_compare_by_density,
// written inline: the sorts are most of a combination's work.
inline void stable_sort_by_value(DistributionPair* pairs, long n) {
  stable_sort_pairs(
      pairs, n, [](const DistributionPair& a, const DistributionPair& b) { return a.value < b.value; },
      [](const DistributionPair& p) { return p.value; });
}

// A stable sort by density, descending, of 8 to 32 pairs with no NaN density, by counting
// for each pair those that go before it: no branch on the densities, whose order is not
// predictable (the insertion sort spends its time in mispredicted branches). Returns
// false, having changed nothing, when it does not apply.
typedef float FourFloats __attribute__((vector_size(16)));
typedef int FourInts __attribute__((vector_size(16)));
constexpr long RANK_SORT_FROM = 8;
constexpr long RANK_SORT_UP_TO = 32;

inline bool rank_sort_by_density(DistributionPair* pairs, long n) {
  if (n < RANK_SORT_FROM || n > RANK_SORT_UP_TO) return false;
  float keys[RANK_SORT_UP_TO];
  bool nan = false;
  for (long i = 0; i < n; i++) {
    keys[i] = pairs[i].density;
    nan |= std::isnan(keys[i]);
  }
  if (nan) return false;
  // The lanes past the last pair are least dense and come after every pair.
  const long lanes = (n + 3) & ~3L;
  for (long i = n; i < lanes; i++) keys[i] = -INFINITY;
  DistributionPair sorted[RANK_SORT_UP_TO];
  const FourInts first_lanes = {0, 1, 2, 3};
  for (long i = 0; i < n; i++) {
    const float key = keys[i];
    const FourFloats mine = {key, key, key, key};
    // Ahead of the pair: the denser ones, and the as dense ones before it (each true lane
    // is -1). Whole blocks before its own are all before it, whole blocks after all after.
    FourInts ahead = {0, 0, 0, 0};
    const long own = i & ~3L;
    FourFloats other;
    for (long b = 0; b < own; b += 4) {
      memcpy(&other, keys + b, sizeof other);
      ahead += other >= mine;
    }
    memcpy(&other, keys + own, sizeof other);
    const int lane = static_cast<int>(i - own);
    const FourInts before_it = first_lanes < FourInts{lane, lane, lane, lane};
    ahead += (other > mine) | ((other == mine) & before_it);
    for (long b = own + 4; b < lanes; b += 4) {
      memcpy(&other, keys + b, sizeof other);
      ahead += other > mine;
    }
    sorted[-(ahead[0] + ahead[1] + ahead[2] + ahead[3])] = pairs[i];
  }
  memcpy(static_cast<void*>(pairs), sorted, sizeof(DistributionPair) * n);
  return true;
}

inline void stable_sort_by_density(DistributionPair* pairs, long n) {
  if (rank_sort_by_density(pairs, n)) return;
  stable_sort_pairs(
      pairs, n, [](const DistributionPair& a, const DistributionPair& b) { return a.density > b.density; },
      [](const DistributionPair& p) { return p.density; });
}

// The slot of n value-sorted slots that a pair of value v goes to: walking up from the
// first while the next slot is strictly nearer, the one where that stops (or the last);
// split says that the next one is exactly as near and the two share the density.
inline int nearest_slot(const DistributionPair* slots, int n, Value v, bool& split) {
  split = false;
  float previous = fabsf(slots[0].value - v);
  for (int j = 1; j < n; j++) {
    const float distance = fabsf(slots[j].value - v);
    if (distance < previous) {
      previous = distance;
      continue;
    }
    split = distance == previous;
    return j - 1;
  }
  return n - 1;
}

// The same for N slots, with every distance worked out and no branch on them: where the
// walk stops changes from pair to pair and is not predictable.
template <int N>
inline int nearest_of(const Value* slot_values, Value v, bool& split) {
  float distance[N + 1];
#pragma GCC unroll 16
  for (int j = 0; j < N; j++) distance[j] = fabsf(slot_values[j] - v);
  // Past the last slot: no stop there compares equal.
  distance[N] = NAN;
  unsigned stops = 1u << N;
#pragma GCC unroll 16
  for (int j = 1; j < N; j++) stops |= static_cast<unsigned>(!(distance[j] < distance[j - 1])) << j;
  const int j = __builtin_ctz(stops);
  split = distance[j] == distance[j - 1];
  return j - 1;
}

// The slot for v, without branches for the standard number of slots; slot_values holds
// the slots' values.
inline int nearest_slot(const DistributionPair* slots, const Value* slot_values, int n, Value v, bool& split) {
  if (n == DISTRIBUTION_STANDARD_NUMBER_OF_VALUES)
    return nearest_of<DISTRIBUTION_STANDARD_NUMBER_OF_VALUES>(slot_values, v, split);
  return nearest_slot(slots, n, v, split);
}

Distribution& non_null(Distribution* d) {
  if (d == nullptr) {
    fprintf(stderr, "Error, a distribution operation was passed a null distribution.\n");
    fatal_stop();
  }
  return *d;
}

constexpr const char* SUM_EMPTY = "Error, see internal_combine_sum\n";
constexpr const char* MAX_EMPTY = "Error, see internal_combine_max\n";
constexpr const char* MIN_EMPTY = "Error, see internal_combine_min\n";
constexpr const char* ONLY_ONE_EMPTY = "Error, see internal_combine_only_one\n";
}  // namespace

// ---------------------------------------------------------------- pairwise combination

namespace {
// Every (a of d1, b of d2) pair, d1 in the outer loop; returns the number produced. One
// instance per pair rule, so that the rule is not chosen again for every pair.
template <class Sums, class Rule>
long produce_pairs(const Distribution& d1, const Distribution& d2, DistributionPair* product, Sums& sums, Rule rule) {
  long produced = 0;
  Density densities = sums.densities;
  Value values = sums.values;
  Value weighted = sums.weighted;
  const DistributionPair* second = d2.data;
  const long second_length = d2.next_slot;
  for (long i = 0; i < d1.next_slot; i++) {
    const DistributionPair a = d1.data[i];
    for (long j = 0; j < second_length; j++) {
      const DistributionPair b = second[j];
      Density density = a.density * b.density;
      Value value = rule(a.value, b.value);
      product[produced].density = density;
      product[produced].value = value;
      produced++;
      densities += density;
      values += value;
      weighted += value * density;
    }
  }
  sums.densities = densities;
  sums.values = values;
  sums.weighted = weighted;
  return produced;
}
}  // namespace

long Distribution::produce_by_rule(const Distribution& d1, const Distribution& d2, PairRule rule, float x,
                                   DistributionPair* product, ProductSums& sums) {
  switch (rule) {
    case PairRule::SUM:
      return produce_pairs(d1, d2, product, sums, [](Value a, Value b) { return a + b; });
    case PairRule::DIFFERENCE:
      return produce_pairs(d1, d2, product, sums, [](Value a, Value b) { return a - b; });
    case PairRule::MAX:
      return produce_pairs(d1, d2, product, sums, [](Value a, Value b) { return (b > a) ? b : a; });
    case PairRule::MIN:
      return produce_pairs(d1, d2, product, sums, [](Value a, Value b) { return (b < a) ? b : a; });
    case PairRule::ONLY_ONE:
      // Two contributing children give no quality, for this combination only.
      return produce_pairs(d1, d2, product, sums,
                           [](Value a, Value b) { return (a != 0.0f && b != 0.0f) ? 0.0f : a + b; });
    case PairRule::COMMITMENT:
      return produce_pairs(d1, d2, product, sums, [x](Value a, Value b) { return (a < x) ? a : a + b; });
    case PairRule::NONE:
      break;
  }
  return 0;
}

// Produces every (a of d1, b of d2) pair into this, accumulating the unsorted statistics
// in production order, then compacts. When this is an operand the result is the one a
// new distribution would get: the pairs go to scratch storage while the operand's are
// read (on the stack for the products of compacted inputs), then into this.
void Distribution::internal_combine(Distribution& d1, Distribution& d2, PairRule rule, float x,
                                    const char* empty_error) {
  touch();
  const bool over_operand = (&d1 == this || &d2 == this);
  const long need = d1.next_slot * d2.next_slot;
  DistributionPair* product = data;
  long capacity = num_storable_items;
  DistributionPair scratch[PRODUCT_ON_STACK_UP_TO];
  if (over_operand) {
    capacity = capacity_for(INITIAL_CAPACITY, need);
    product = capacity <= PRODUCT_ON_STACK_UP_TO ? scratch
                                                 : new ("Distribution::Distribution") DistributionPair[capacity];
    // What the product does not write reads as zero, as in a new array.
    for (long k = rule == PairRule::NONE ? 0 : need; k < capacity; k++) product[k] = {0.0f, 0.0f};
  } else if (rule == PairRule::NONE) {
    reallocate_data(need);
    product = data;
  } else {
    if (need > num_storable_items) reserve_for_overwrite(need);
    product = data;
  }
  ProductSums sums;
  const long produced = produce_by_rule(d1, d2, rule, x, product, sums);
  if (produced == 0 && empty_error != nullptr) {
    if (product != scratch && product != data) delete[] product;
    fprintf(stderr, "%s", empty_error);
    fatal_stop();
  }
  if (over_operand) {
    if (product == scratch) {
      ensure_allocated(capacity);
      memcpy(static_cast<void*>(data), scratch, sizeof(DistributionPair) * capacity);
    } else {
      replace_array(product, capacity);
    }
    num_storable_items = capacity;
    memory_allocated = capacity * static_cast<long>(sizeof(DistributionPair));
    combined_under_sigmoid_and_multiplier_not_applied = 0;
    value_min = NOT_COMPUTED;
    value_max = NOT_COMPUTED;
    value_median = NOT_COMPUTED;
  }
  next_slot = produced;
  density_sum = sums.densities;
  value_sum = sums.values;
  weighted_value_avg = sums.weighted;
  unsorted_statistics_are_valid = 1;
  sorted_statistics_are_valid = 0;
  data_is_sorted = 0;
  compact_to_std_num_values();
}

// `counts` says whether the operation adds to the_counter.
void Distribution::combine_by_rule(Distribution& d1, Distribution& d2, PairRule rule, float x,
                                   const char* empty_error, int counts) {
  if (counts) {
    the_counter++;
    count_real_combine();
  }
  internal_combine(d1, d2, rule, x, empty_error);
}

void Distribution::combine(Distribution& d1, Distribution& d2, VORNA_QualityAF qaf) {
  the_counter++;
  count_real_combine();
  switch (qaf) {
    case VORNA_SUM:
    case VORNA_SUM_ALL:
    case VORNA_SEQ_SUM:
      internal_combine(d1, d2, PairRule::SUM, 0.0f, SUM_EMPTY);
      break;
    case VORNA_SIGMOID:
      internal_combine(d1, d2, PairRule::SUM, 0.0f, SUM_EMPTY);
      combined_under_sigmoid_and_multiplier_not_applied = 1;
      break;
    case VORNA_MAX:
    case VORNA_SEQ_MAX:
      internal_combine(d1, d2, PairRule::MAX, 0.0f, MAX_EMPTY);
      break;
    case VORNA_MIN:
    case VORNA_SEQ_MIN:
      internal_combine(d1, d2, PairRule::MIN, 0.0f, MIN_EMPTY);
      break;
    case VORNA_ONLY_ONE:
      internal_combine(d1, d2, PairRule::ONLY_ONE, 0.0f, ONLY_ONE_EMPTY);
      break;
    case VORNA_SEQ:
      std::cerr << "Error, attempt to combine distributions under SEQ.\n";
      std::cerr << "By def., there is nothing to combine as the parent\n";
      std::cerr << "quality is the quality of the last of its children.\n";
      exit_or_abort();
    default:
      // An unknown function produces nothing.
      internal_combine(d1, d2, PairRule::NONE, 0.0f, nullptr);
      break;
  }
}

void Distribution::combine(Distribution* d1, Distribution* d2, VORNA_QualityAF qaf) {
  combine(non_null(d1), non_null(d2), qaf);
}

void Distribution::combine(Distribution& d, VORNA_QualityAF qaf) { combine(*this, d, qaf); }

void Distribution::combine(Distribution* d, VORNA_QualityAF qaf) { combine(non_null(d), qaf); }

void Distribution::combine_costs(Distribution& d1, Distribution& d2) {
  combine_by_rule(d1, d2, PairRule::SUM, 0.0f, SUM_EMPTY, 1);
}
void Distribution::combine_costs(Distribution* d1, Distribution* d2) { combine_costs(non_null(d1), non_null(d2)); }
void Distribution::combine_costs(Distribution& d) { combine_costs(*this, d); }
void Distribution::combine_costs(Distribution* d) { combine_costs(non_null(d)); }

void Distribution::combine_durations(Distribution& d1, Distribution& d2) {
  combine_by_rule(d1, d2, PairRule::SUM, 0.0f, SUM_EMPTY, 1);
}
void Distribution::combine_durations(Distribution* d1, Distribution* d2) {
  combine_durations(non_null(d1), non_null(d2));
}
void Distribution::combine_durations(Distribution& d) { combine_durations(*this, d); }
void Distribution::combine_durations(Distribution* d) { combine_durations(non_null(d)); }

void Distribution::subtract_durations(Distribution& d1, Distribution& d2) {
  combine_by_rule(d1, d2, PairRule::DIFFERENCE, 0.0f, SUM_EMPTY, 1);
}
void Distribution::subtract_durations(Distribution* d1, Distribution* d2) {
  subtract_durations(non_null(d1), non_null(d2));
}
void Distribution::subtract_durations(Distribution& d) { subtract_durations(*this, d); }
void Distribution::subtract_durations(Distribution* d) { subtract_durations(non_null(d)); }

void Distribution::
    special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
        Distribution* d1, Distribution* d2, float x) {
  if (d1 == nullptr || d2 == nullptr) error_exit("Distribution::special got a null pointer\n", 1);
  combine_by_rule(*d1, *d2, PairRule::COMMITMENT, x, SUM_EMPTY, 0);
}

void Distribution::
    special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
        Distribution& d1, Distribution& d2, float x) {
  special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(&d1, &d2,
                                                                                                          x);
}

void Distribution::
    special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
        Distribution& d, float x) {
  special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(this, &d, x);
}

void Distribution::
    special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
        Distribution* d, float x) {
  special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(this, d, x);
}

void Distribution::apply_sigmoid_multiple(float m) {
  touch();
  if (!combined_under_sigmoid_and_multiplier_not_applied) {
    fprintf(stderr,
            "Error, sigmoid finishing function called on non"
            " sigmoid generated distribution.\n");
    fatal_stop();
  }
  multiply_all_values_by(m);
  combined_under_sigmoid_and_multiplier_not_applied = 0;
}

// ---------------------------------------------------------------- sorting and compaction

void Distribution::sort_and_combine() {
  if (data_is_sorted) return;
  touch();
  data_is_sorted = 1;
  if (next_slot < 2) return;
  stable_sort_by_value(data, next_slot);
  // One pass: each run of equal values sums into its first pair, in order.
  long kept = 0;
  for (long i = 1; i < next_slot; i++) {
    if (data[kept].value == data[i].value)
      data[kept].density += data[i].density;
    else
      data[++kept] = data[i];
  }
  next_slot = kept + 1;
}

void Distribution::compact_to_x_values(int n) {
  touch();
  sort_and_combine();
  if (n <= 2) {
    std::cerr << "Error, distribution compact function can "
                 "only compact to 3 or greater values.\n";
    std::cerr.flush();
  } else if (n < next_slot) {
    // The slots live on the stack for every n the system asks for.
    DistributionPair stack_slots[SLOTS_ON_STACK];
    std::vector<DistributionPair> heap_slots;
    if (n > SLOTS_ON_STACK) heap_slots.resize(n);
    DistributionPair* slots = n > SLOTS_ON_STACK ? heap_slots.data() : stack_slots;
    Value min = data[0].value;
    Value max = data[next_slot - 1].value;
    Value ev = get_expected_value();
    slots[0] = {0.0f, min};
    slots[1] = {0.0f, max};
    slots[2] = {0.0f, ev};
    int filled = 3;

    // The densest remaining values take the other slots; equal densities keep the
    // ascending value order the sort above gave them.
    stable_sort_by_density(data, next_slot);
    for (long i = 0; i < next_slot && filled < n; i++) {
      // Among the first n pairs at most three are skipped, so this stays within them.
      Value v = data[i].value;
      if (v != min && v != max && v != ev) slots[filled++] = {0.0f, v};
    }
    // Values made equal by an edit that kept the sorted flag (a factor of 0, a constant
    // that swamps them) leave too few distinct ones; an unfilled slot would add a value
    // the distribution never had.
    n = filled;
    stable_sort_by_value(slots, n);

    // Each density goes to its nearest slot; an exact tie splits it between the two.
    Value slot_values[SLOTS_ON_STACK];
    for (int j = 0; j < n && j < SLOTS_ON_STACK; j++) slot_values[j] = slots[j].value;
    for (long i = 0; i < next_slot; i++) {
      const DistributionPair p = data[i];
      bool split = false;
      const int j = nearest_slot(slots, slot_values, n, p.value, split);
      if (split) {
        slots[j].density += p.density / 2.0f;
        slots[j + 1].density += p.density / 2.0f;
      } else {
        slots[j].density += p.density;
      }
    }

    ensure_allocated(n);
    for (int j = 0; j < n; j++) data[j] = slots[j];
    num_storable_items = n;
    memory_allocated = n * static_cast<long>(sizeof(DistributionPair));
    next_slot = n;
  }
  unsorted_statistics_are_valid = 0;
  sorted_statistics_are_valid = 0;
  data_is_sorted = 1;
}

// ---------------------------------------------------------------- redistribution and scaling

void Distribution::redistribute_density_for_zero_values_to_others() {
  touch();
  Density total = 0.0f;
  Density at_zero = 0.0f;
  long non_zero = 0;
  for (long i = 0; i < next_slot; i++) {
    total += data[i].density;
    if (data[i].value == 0.0f)
      at_zero += data[i].density;
    else
      non_zero++;
  }
  Density rest = total - at_zero;
  // Without density on the non-zero values there is nothing to share it with.
  if (non_zero == 0 || !(rest > 0.0f)) {
    std::cerr << "Error, distribution class asked to redistribute"
                 " densities for zeros when there aren't any non-zero"
                 " values in the distribution.  Original distribution"
                 " left unchanged.\n";
    std::cerr << "The distribution is: ";
    std::cerr.flush();
    print(stderr);
  } else {
    long i = 0;
    while (i < next_slot) {
      if (data[i].value == 0.0f) {
        remove(i);
      } else {
        data[i].density = data[i].density + data[i].density / rest * at_zero;
        i++;
      }
    }
    clear_all_flags();
  }
  compact_to_std_num_values();
}

void Distribution::reduce_total_density_to_x_percent(float x) {
  touch();
  Density s = sum_all_densities();
  if (s != 1.0f) {
    float d = 1.0f - s;
    if (d > 0.01f) {
      fprintf(stderr, "%s%s", "Distribution::reduce_total only ", "works w/100% initial densities.\n");
      fprintf(stderr, "The density is %f, the distribution is:\n", s);
      print(stderr);
      fatal_stop();
    }
    if (fabsf(d) > 0.1f) {
      fprintf(stderr,
              "\n\nNotice ** Distribution::reduce_total adjusted the density of a distribution by %0.10f "
              "percent.\n",
              d);
      fprintf(stderr, "The distribution before operation was: ");
      print(stderr);
      // Far above 1 the first-order correction (2 - s) would zero or negate the
      // densities; dividing by the sum brings them back to 1.
      for (long i = 0; i < next_slot; i++) data[i].density = data[i].density / s;
      Density s2 = sum_all_densities();
      if (fabsf(1.0f - s2) > 0.1f) {
        fprintf(stderr, "The distribution after the operation is: ");
        print(stderr);
        fprintf(stderr, "The densities now sum to: %f\n\n\n", s2);
      }
    } else {
      float factor = 1.0f + d;
      for (long i = 0; i < next_slot; i++) data[i].density *= factor;
    }
  }
  for (long i = 0; i < next_slot; i++) data[i].density *= x;
  // The values and their order stand; the density statistics do not.
  unsorted_statistics_are_valid = 0;
  sorted_statistics_are_valid = 0;
}

// ---------------------------------------------------------------- merges

void Distribution::merge_with_this(Distribution& d) {
  touch();
  if (&d == this) {
    fprintf(stderr, "Cannot merge a distribution with itself.\n");
    fatal_stop();
  }
  reallocate_data(next_slot + d.next_slot + 1);
  for (long i = 0; i < d.next_slot; i++) data[next_slot++] = d.data[i];
  clear_all_flags();
}

void Distribution::merge_into_this(Distribution** ds, long n) {
  touch();
  delete_all();
  long needed = 0;
  for (long k = 0; k < n; k++) {
    Distribution& d = non_null(ds[k]);
    if (&d == this) {
      fprintf(stderr, "Cannot merge a distribution with itself.\n");
      fatal_stop();
    }
    needed += d.next_slot;
  }
  reallocate_data(needed);
  for (long k = 0; k < n; k++)
    for (long i = 0; i < ds[k]->next_slot; i++) data[next_slot++] = ds[k]->data[i];
  clear_all_flags();
}

void Distribution::weight_and_merge_multiple_distributions_into_this(Distribution** ds, float* weights, long n) {
  touch();
  delete_all();
  for (long k = 0; k < n; k++) {
    if (&non_null(ds[k]) == this) {
      fprintf(stderr, "Error, cannot merge a distribution with itself.\n");
      fatal_stop();
    }
  }
  for (long k = 0; k < n; k++) {
    Distribution& d = *ds[k];
    // The same tolerance the reader grants a distribution of the task-structure text.
    if (!d.densities_sum_to_100_with_threshold(0.0001f)) {
      fprintf(stderr, "%s%s", "Error, distribution::weight_and_merge only ", "works w/100% initial densities.\n");
      fprintf(stderr, "The sum is %f\n", d.sum_all_densities());
      std::cerr << "Index " << k << "\n";
      std::cerr.flush();
      d.print(stderr);
      fatal_stop();
    }
    for (long i = 0; i < d.next_slot; i++) append(d.data[i].density * weights[k], d.data[i].value);
  }
  clear_all_flags();
  compact_to_std_num_values();
}

// ---------------------------------------------------------------- bias and sampling

namespace {
void warn_if_bias_source_not_whole(Distribution& bias) {
  if (bias.densities_sum_to_100_with_threshold(0.0001f)) return;
  fprintf(stderr,
          "Warning, bias input called with a source "
          "distribution whose densities do not sum to 100%%\n"
          "The distribution is:");
  bias.print(stderr);
  fprintf(stderr, "Execution continues...\n");
}

void warn_if_bias_result_not_whole(Distribution& result) {
  if (result.densities_sum_to_100_with_threshold(0.0001f)) return;
  fprintf(stderr,
          "Warning, bias produced a resultant distribtuion "
          "whose\ndensities do not sum to 100%%\n");
}
}  // namespace

void Distribution::bias_single_value_using_input_distribution(float value, float strength, Distribution& bias) {
  touch();
  warn_if_bias_source_not_whole(bias);
  Distribution result;
  for (long i = 0; i < bias.next_slot; i++)
    result.append(bias.data[i].density, value + strength * bias.data[i].value);
  result.compact_to_std_num_values();
  duplicate(result);
  warn_if_bias_result_not_whole(*this);
}

void Distribution::bias_values_in_relation_to_x_using_input_distribution(BiasDirectionType direction, float x,
                                                                         float strength, Distribution& bias) {
  warn_if_bias_source_not_whole(bias);
  if (&bias == this) {
    Distribution copy(bias);
    bias_values_in_relation_to_x_using_input_distribution(direction, x, strength, copy);
    return;
  }
  Distribution result;
  for (long i = 0; i < next_slot; i++) {
    for (long j = 0; j < bias.next_slot; j++) {
      float shift = (x - data[i].value) * strength * bias.data[j].value;
      Value v = (direction == BIAS_TOWARD_X) ? data[i].value + shift : data[i].value - shift;
      result.append(data[i].density * bias.data[j].density, v);
    }
  }
  result.compact_to_std_num_values();
  duplicate(result);
  warn_if_bias_result_not_whole(*this);
}

Value Distribution::sample_from_distribution() {
  if (next_slot == 0) return 0.0f;
  constexpr int TABLE_SIZE = 1000;
  Value table[TABLE_SIZE];
  int filled = 0;
  for (long i = 0; i < next_slot && filled < TABLE_SIZE; i++) {
    int share = static_cast<int>(lroundf(data[i].density * TABLE_SIZE));
    for (int k = 0; k < share && filled < TABLE_SIZE; k++) table[filled++] = data[i].value;
  }
  if (filled == 0) return data[next_slot - 1].value;
  // Rounding may leave the last slots empty; they belong to the last value drawn in.
  for (int k = filled; k < TABLE_SIZE; k++) table[k] = table[filled - 1];
  return table[random_number_between_inclusive(0, TABLE_SIZE - 1)];
}

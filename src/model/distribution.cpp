// The distribution record: storage, statistics, probability queries and text forms.
// Combination, compaction and merges live in distribution_combining.cpp.
#include "model/distribution.h"

#include <langinfo.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ios>
#include <iostream>
#include <locale>

namespace {
// A running sum that ends this close below the asked share has used every pair and
// only misses it by float rounding (densities summing to 0.99999994 and the like).
constexpr float PERCENTILE_ROUNDING_SLACK = 1e-5f;

DistributionPair* new_pair_array(long capacity, const char* tag) {
  DistributionPair* pairs = new (tag) DistributionPair[capacity];
  memset(static_cast<void*>(pairs), 0, sizeof(DistributionPair) * capacity);
  return pairs;
}
}  // namespace

unsigned long long Distribution::the_version_clock = 0;
unsigned long long Distribution::unwatched_writes = 0;

Distribution::Distribution() { init_empty(); }

Distribution::~Distribution() {
  if (owns_array) delete[] data;
}

Distribution::Distribution(const Distribution& other) {
  init_empty();
  duplicate(other);
}

Distribution& Distribution::operator=(const Distribution& other) {
  duplicate(other);
  return *this;
}

void Distribution::init_empty() {
  touch();
  reset_to_empty_fields();
  data = inline_pairs;
  memset(static_cast<void*>(data), 0, sizeof(DistributionPair) * INITIAL_CAPACITY);
  allocated_pairs = INITIAL_CAPACITY;
  owns_array = false;
}

void Distribution::replace_array(DistributionPair* pairs, long capacity, bool owned) {
  if (owns_array) delete[] data;
  data = pairs;
  allocated_pairs = capacity;
  owns_array = owned;
}

void Distribution::lend_array(DistributionPair* pairs, long capacity) {
  if (capacity <= allocated_pairs) return;
  touch();
  memcpy(static_cast<void*>(pairs), data, sizeof(DistributionPair) * num_storable_items);
  replace_array(pairs, capacity, false);
}

void Distribution::reset_to_empty_fields() {
  next_slot = 0;
  num_storable_items = INITIAL_CAPACITY;
  memory_allocated = INITIAL_CAPACITY * static_cast<long>(sizeof(DistributionPair));
  data_is_sorted = 0;
  combined_under_sigmoid_and_multiplier_not_applied = 0;
  weighted_value_avg = NOT_COMPUTED;
  value_sum = NOT_COMPUTED;
  density_sum = NOT_COMPUTED;
  unsorted_statistics_are_valid = 0;
  value_min = NOT_COMPUTED;
  value_max = NOT_COMPUTED;
  value_median = NOT_COMPUTED;
  sorted_statistics_are_valid = 0;
}

void Distribution::ensure_allocated(long capacity) {
  if (capacity <= allocated_pairs) return;
  replace_array(new ("Distribution::Distribution") DistributionPair[capacity], capacity);
}

void Distribution::clear_all_flags() {
  unsorted_statistics_are_valid = 0;
  sorted_statistics_are_valid = 0;
  data_is_sorted = 0;
}

// ---------------------------------------------------------------- content

long Distribution::capacity_for(long capacity, long need) {
  if (need <= capacity) return capacity;
  long extra = need - capacity;
  if (extra % 2 != 0) extra++;
  return capacity + extra;
}

void Distribution::reallocate_data(long need) {
  if (need <= num_storable_items) return;
  touch();
  long capacity = capacity_for(num_storable_items, need);
  // The new slots read as zero pairs, as in a new array.
  if (capacity <= allocated_pairs) {
    memset(static_cast<void*>(data + num_storable_items), 0, sizeof(DistributionPair) * (capacity - num_storable_items));
  } else {
    DistributionPair* pairs = new_pair_array(capacity, "Distribution::Distribution");
    memcpy(static_cast<void*>(pairs), data, sizeof(DistributionPair) * num_storable_items);
    replace_array(pairs, capacity);
  }
  num_storable_items = capacity;
  memory_allocated = capacity * static_cast<long>(sizeof(DistributionPair));
}

void Distribution::reserve_for_overwrite(long need) {
  if (need <= num_storable_items) return;
  touch();
  long capacity = capacity_for(num_storable_items, need);
  ensure_allocated(capacity);
  // The slot the even rounding adds reads as zero, as reallocate_data leaves it.
  for (long k = need; k < capacity; k++) data[k] = {0.0f, 0.0f};
  num_storable_items = capacity;
  memory_allocated = capacity * static_cast<long>(sizeof(DistributionPair));
}

void Distribution::append(Density d, Value v) {
  touch();
  if (next_slot >= num_storable_items) reallocate_data(next_slot + 1);
  data[next_slot].density = d;
  data[next_slot].value = v;
  next_slot++;
  clear_all_flags();
}

DistributionPair* Distribution::get(long i) {
  touch();
  if (i < 0 || i >= next_slot) {
    fprintf(stderr, "Error: Request for distrib. pair beyond what has been stored.");
    fatal_stop();
  }
  clear_all_flags();
  return &data[i];
}

void Distribution::remove(long i) {
  touch();
  if (i < 0 || i >= next_slot) {
    fprintf(stderr, "Request to remove item beyond next_slot index.");
    fatal_stop();
  }
  memmove(static_cast<void*>(&data[i]), &data[i + 1], sizeof(DistributionPair) * (next_slot - i - 1));
  next_slot--;
  unsorted_statistics_are_valid = 0;
}

void Distribution::delete_all() {
  touch();
  reset_to_empty_fields();
  ensure_allocated(INITIAL_CAPACITY);
  memset(static_cast<void*>(data), 0, sizeof(DistributionPair) * INITIAL_CAPACITY);
}

void Distribution::duplicate(const Distribution& other) {
  // Copying onto itself would free the pairs it is about to read.
  if (&other == this) return;
  touch();
  next_slot = other.next_slot;
  num_storable_items = other.num_storable_items;
  memory_allocated = other.memory_allocated;
  data_is_sorted = other.data_is_sorted;
  combined_under_sigmoid_and_multiplier_not_applied = other.combined_under_sigmoid_and_multiplier_not_applied;
  weighted_value_avg = other.weighted_value_avg;
  value_sum = other.value_sum;
  density_sum = other.density_sum;
  unsorted_statistics_are_valid = other.unsorted_statistics_are_valid;
  value_min = other.value_min;
  value_max = other.value_max;
  value_median = other.value_median;
  sorted_statistics_are_valid = other.sorted_statistics_are_valid;
  ensure_allocated(num_storable_items);
  memcpy(static_cast<void*>(data), other.data, sizeof(DistributionPair) * num_storable_items);
}

void Distribution::take_back(const Distribution& kept, unsigned long long version) {
  // Nothing wrote to it since: it is in that state still.
  if (write_version == version) return;
  duplicate(kept);
  take_back_version(version);
}

Distribution* Distribution::duplicate() {
  Distribution* copy = new ("Distribution::duplicate") Distribution();
  copy->duplicate(*this);
  return copy;
}

void Distribution::replace_with(Density d, Value v) {
  delete_all();
  append(d, v);
}

void Distribution::set_to_100_percent_zero_value() { replace_with(1.0f, 0.0f); }

void Distribution::replace_distribution_with_its_expected_value() {
  Value ev = get_expected_value();
  replace_with(1.0f, ev);
}

DistributionPair* Distribution::append_via_address() {
  touch();
  if (next_slot >= num_storable_items) reallocate_data(next_slot + 1);
  next_slot++;
  clear_all_flags();
  return &data[next_slot - 1];
}

DistributionPair* Distribution::get_address(long i) {
  touch();
  if (i < 0) {
    fprintf(stderr, "Error: Request for distrib. pair beyond what has been stored.");
    fatal_stop();
  }
  if (i >= num_storable_items) reallocate_data(i + 1);
  if (i >= next_slot) next_slot = i + 1;
  clear_all_flags();
  return &data[i];
}

// ---------------------------------------------------------------- statistics

void Distribution::compute_unsorted_statistics() {
  // An empty distribution keeps whatever was cached last.
  if (next_slot == 0) return;
  touch();
  Density densities = 0.0f;
  Value values = 0.0f;
  Value weighted = 0.0f;
  for (long i = 0; i < next_slot; i++) {
    densities += data[i].density;
    values += data[i].value;
    weighted += data[i].value * data[i].density;
  }
  density_sum = densities;
  value_sum = values;
  weighted_value_avg = weighted;
  unsorted_statistics_are_valid = 1;
}

Value Distribution::get_expected_value() {
  if (!unsorted_statistics_are_valid) compute_unsorted_statistics();
  return weighted_value_avg;
}

Value Distribution::get_value_sum() {
  if (!unsorted_statistics_are_valid) compute_unsorted_statistics();
  return value_sum;
}

Density Distribution::get_density_sum() {
  if (!unsorted_statistics_are_valid) compute_unsorted_statistics();
  return density_sum;
}

Value Distribution::walk_to_percentile(float p) {
  Density running = 0.0f;
  long i = 0;
  Value found = NOT_COMPUTED;
  while (i < next_slot && running < p) {
    running += data[i].density;
    found = data[i].value;
    i++;
  }
  if (p > 0.0f && running >= p) return found;
  if (p > 0.0f && i == next_slot && next_slot > 0 && p - running <= PERCENTILE_ROUNDING_SLACK)
    return data[next_slot - 1].value;
  return NOT_COMPUTED;
}

void Distribution::compute_sorted_statistics() {
  if (next_slot == 0) return;
  touch();
  if (!data_is_sorted) sort_and_combine();
  value_min = data[0].value;
  value_max = data[next_slot - 1].value;
  value_median = walk_to_percentile(0.5f);
  sorted_statistics_are_valid = 1;
}

Value Distribution::get_value_min() {
  if (!sorted_statistics_are_valid) compute_sorted_statistics();
  return value_min;
}

Value Distribution::get_value_max() {
  if (!sorted_statistics_are_valid) compute_sorted_statistics();
  return value_max;
}

Value Distribution::get_value_median() {
  if (!sorted_statistics_are_valid) compute_sorted_statistics();
  return value_median;
}

Value Distribution::get_value_by_percentile(float p) {
  if (p > 1.0f) {
    std::cerr << "Warning, \aask to get a percentile > 100%\n";
    std::cerr << "Returning " << -9999 << " value to caller.\n";
    return NOT_COMPUTED;
  }
  if (next_slot == 0) return 0.0f;
  if (!data_is_sorted) sort_and_combine();
  return walk_to_percentile(p);
}

Value Distribution::get_specified_value(ValueSpecifier s) {
  if (s == -2.0f) return get_expected_value();
  if (s == -1.0f) return get_value_min();
  if (s == 0.0f) return get_value_max();
  if (s == 0.5f) return get_value_median();
  return get_value_by_percentile(s);
}

Value Distribution::get_least_value_gt_zero() {
  sort_and_combine();
  for (long i = 0; i < next_slot; i++)
    if (data[i].value > 0.0f) return data[i].value;
  return 0.0f;
}

// ---------------------------------------------------------------- probability queries

Density Distribution::get_probability_value_is_x(Value x) {
  Density sum = 0.0f;
  for (long i = 0; i < next_slot; i++)
    if (data[i].value == x) sum += data[i].density;
  return sum;
}

Density Distribution::get_probability_value_is_zero() { return get_probability_value_is_x(0.0f); }

Density Distribution::get_probability_value_is_gt_or_equal_to_x(Value x) {
  Density sum = 0.0f;
  for (long i = 0; i < next_slot; i++)
    if (data[i].value >= x) sum += data[i].density;
  return sum;
}

Density Distribution::get_probability_value_is_gt_x(Value x) {
  Density sum = 0.0f;
  for (long i = 0; i < next_slot; i++)
    if (data[i].value > x) sum += data[i].density;
  return sum;
}

Density Distribution::get_probability_value_is_lt_or_equal_to_x(Value x) {
  Density sum = 0.0f;
  for (long i = 0; i < next_slot; i++)
    if (data[i].value <= x) sum += data[i].density;
  return sum;
}

Density Distribution::get_probability_value_is_lt_x(Value x) {
  Density sum = 0.0f;
  for (long i = 0; i < next_slot; i++)
    if (data[i].value < x) sum += data[i].density;
  return sum;
}

int Distribution::some_values_are_gt_zero() {
  for (long i = 0; i < next_slot; i++)
    if (data[i].value > 0.0f) return 1;
  return 0;
}

Density Distribution::probability_that_this_dominates_d2(Distribution& d2) {
  Density sum = 0.0f;
  for (long i = 0; i < next_slot; i++)
    for (long j = 0; j < d2.next_slot; j++)
      if (d2.data[j].value < data[i].value) sum += data[i].density * d2.data[j].density;
  return sum;
}

// ---------------------------------------------------------------- density checks

Density Distribution::sum_all_densities() {
  Density sum = 0.0f;
  for (long i = 0; i < next_slot; i++) sum += data[i].density;
  return sum;
}

int Distribution::densities_sum_to_100_with_threshold(float t) {
  // The bounds are formed in float: a double 1 - t would let 0.99f pass for t = 0.01.
  Density sum = sum_all_densities();
  float low = 1.0f - t;
  float high = 1.0f + t;
  return (low <= sum && sum <= high) ? 1 : 0;
}

// ---------------------------------------------------------------- value edits

void Distribution::multiply_all_values_by(float factor) {
  touch();
  for (long i = 0; i < next_slot; i++) data[i].value *= factor;
  unsorted_statistics_are_valid = 0;
  sorted_statistics_are_valid = 0;
  // A negative factor turns ascending values into descending ones.
  if (factor < 0.0f) data_is_sorted = 0;
}

void Distribution::add_constant_to_all_values(float c) {
  touch();
  for (long i = 0; i < next_slot; i++) data[i].value += c;
  unsorted_statistics_are_valid = 0;
  sorted_statistics_are_valid = 0;
}

void Distribution::set_any_zero_values_to_x(Value x) {
  touch();
  for (long i = 0; i < next_slot; i++)
    if (data[i].value == 0.0f) data[i].value = x;
  clear_all_flags();
  compact_to_std_num_values();
}

void Distribution::set_any_negative_values_to_x(Value x) {
  touch();
  for (long i = 0; i < next_slot; i++)
    if (data[i].value < 0.0f) data[i].value = x;
  clear_all_flags();
  compact_to_std_num_values();
}

void Distribution::set_any_negative_values_to_zero() { set_any_negative_values_to_x(0.0f); }

void Distribution::replace_zeros_with_value(Value x) {
  touch();
  bool changed = false;
  for (long i = 0; i < next_slot; i++)
    if (data[i].value == 0.0f) {
      data[i].value = x;
      changed = true;
    }
  // The cached statistics describe the old values.
  if (changed) clear_all_flags();
}

void Distribution::make_sure_all_values_over_significance_threshold() {}

// ---------------------------------------------------------------- text forms

namespace {
// The listings print many thousands of pairs: their texts are made here, as printf makes
// them in the "C" locale, and written a block at a time.

// Room for a float in fixed notation with up to MOST_DECIMALS decimals: a sign, 39
// digits before the point, the point.
constexpr int MOST_DECIMALS = 20;
constexpr long FIXED_TEXT_ROOM = 1 + 39 + 1 + MOST_DECIMALS;
constexpr long PAIR_TEXT_ROOM = 2 * FIXED_TEXT_ROOM + 3;

char* put_fixed(char* at, double v, int decimals) {
  return std::to_chars(at, at + FIXED_TEXT_ROOM, v, std::chars_format::fixed, decimals).ptr;
}

// "(%.02f %.2f)" of the density and the value.
char* put_pair_text(char* at, const DistributionPair& pair) {
  *at++ = '(';
  at = put_fixed(at, pair.density, 2);
  *at++ = ' ';
  at = put_fixed(at, pair.value, 2);
  *at++ = ')';
  return at;
}

// The texts of `items` things, each put by put(at, i) in at most PAIR_TEXT_ROOM
// characters, handed to write(text, length) a block at a time.
template <class Put, class Write>
void write_in_blocks(long items, Put put, Write write) {
  char text[16 * PAIR_TEXT_ROOM];
  char* at = text;
  for (long i = 0; i < items; i++) {
    if (at + PAIR_TEXT_ROOM > text + sizeof text) {
      write(text, at - text);
      at = text;
    }
    at = put(at, i);
  }
  write(text, at - text);
}

// Whether printf writes a point now: the host that loaded the library may have set a
// locale that writes another; printf is then left to write it.
bool printf_writes_a_point() {
  const char* radix = nl_langinfo(RADIXCHAR);
  return radix[0] == '.' && radix[1] == '\0';
}

// Whether `out` writes a number as put_fixed does with its precision: a point, no
// grouping, no padding, no sign or capitals beyond printf's.
bool writes_plain_fixed(std::ostream& out) {
  if (out.width() != 0 || out.precision() < 1 || out.precision() > MOST_DECIMALS ||
      (out.flags() & (std::ios::showpos | std::ios::uppercase)) != 0)
    return false;
  const auto& punctuation = std::use_facet<std::numpunct<char>>(out.getloc());
  return punctuation.decimal_point() == '.' && punctuation.grouping().empty();
}
}  // namespace

void Distribution::print(FILE* stream) {
  if (!printf_writes_a_point()) {
    for (long i = 0; i < next_slot; i++) fprintf(stream, "(%.02f %.2f)", data[i].density, data[i].value);
    fprintf(stream, "\n");
    return;
  }
  write_in_blocks(
      next_slot, [this](char* at, long i) { return put_pair_text(at, data[i]); },
      [stream](const char* text, long length) { fwrite(text, 1, static_cast<size_t>(length), stream); });
  fputc('\n', stream);
}

void Distribution::print_to_string(std::string& out) {
  char buffer[128];
  for (long i = 0; i < next_slot; i++) {
    snprintf(buffer, sizeof buffer, "(%.02f %.2f)", data[i].density, data[i].value);
    out += buffer;
  }
}

void Distribution::print(FILE* stream, const char* label) {
  fprintf(stream, "%s", label ? label : "");
  for (long i = 0; i < next_slot; i++) fprintf(stream, "(%.1f %.1f)", data[i].density, data[i].value);
  fprintf(stream, "\n");
}

void Distribution::print(FILE* stream, void (*print_pair)(FILE*, DistributionPair*)) {
  for (long i = 0; i < next_slot; i++) print_pair(stream, &data[i]);
}

void Distribution::print_to_stream_in_t_vorna_format(std::ostream& out) {
  out.unsetf(std::ios::scientific);
  out.setf(std::ios::fixed | std::ios::showpoint);
  if (!writes_plain_fixed(out)) {
    for (long i = 0; i < next_slot; i++) out << " " << data[i].value << " " << data[i].density;
    return;
  }
  const int decimals = static_cast<int>(out.precision());
  write_in_blocks(
      next_slot,
      [this, decimals](char* at, long i) {
        *at++ = ' ';
        at = put_fixed(at, data[i].value, decimals);
        *at++ = ' ';
        return put_fixed(at, data[i].density, decimals);
      },
      [&out](const char* text, long length) { out.write(text, length); });
}

void Distribution::set_distribution_from_string(const char* text) {
  if (text == nullptr) {
    fprintf(stderr, "Distribution::set_distribution_from_string passed a null string.\n");
    fatal_stop();
  }
  const char* p = text;
  bool want_density = true;
  float density = 0.0f;
  float number = 0.0f;
  int used = 0;
  while (sscanf(p, "%f%n", &number, &used) == 1) {
    p += used;
    if (want_density) {
      if (number > 1.0f) {
        fprintf(stderr, "Error, read a density from a string that is > 1.0\n");
        fatal_stop();
      }
      density = number;
    } else {
      if (number < 0.0f) {
        fprintf(stderr, "Error, read a value from a string that is < 0\n");
        fatal_stop();
      }
      append(density, number);
    }
    want_density = !want_density;
  }
}

// ---------------------------------------------------------------- bundle

void DistributionBundle::duplicate(DistributionBundle& other) {
  cost.duplicate(other.cost);
  quality.duplicate(other.quality);
  duration.duplicate(other.duration);
}

void DistributionBundle::print(FILE* stream) {
  fprintf(stream, "DistributionBundle:\n");
  fprintf(stream, "  Quality: ");
  quality.print(stream);
  fprintf(stream, "  Cost: ");
  cost.print(stream);
  fprintf(stream, "  Duration: ");
  duration.print(stream);
}

// Alternatives and the list of a node's alternatives: copies, comparisons, prints and
// ordered insertion.
#include "scheduler/alternative.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/combinatorics.h"
#include "foundation/tagged_new.h"

// ---------------------------------------------------------------- Alternative

void Alternative::duplicate(Alternative& other) {
  // Walking its own method list while appending to it would never end.
  if (&other == this) return;
  duplicate_all_but_methods(other);
  for (long i = 0; i < other.method_list.length(); i++) method_list.add(other.method_list.get(i));
}

void Alternative::duplicate_all_but_methods(Alternative& other) {
  if (&other == this) return;
  rating = other.rating;
  reason_alt_was_selected = other.reason_alt_was_selected;
  of_task = other.of_task;
  of_dp = other.of_dp;
  already_been_scheduled = other.already_been_scheduled;
  cost.duplicate(other.cost);
  quality.duplicate(other.quality);
  duration.duplicate(other.duration);
  potential_cost.duplicate(other.potential_cost);
  potential_quality.duplicate(other.potential_quality);
  potential_duration.duplicate(other.potential_duration);
}

void Alternative::reset_as_new() {
  of_task = EMPTY_ID;
  of_dp = nullptr;
  already_been_scheduled = 0;
  reason_alt_was_selected = EMPTY_ID;
  rating = -1.0f;
  for (Distribution* d : {&cost, &quality, &duration, &potential_cost, &potential_quality, &potential_duration})
    d->delete_all();
  prob_expected_q_or_better = -1.0f;
  prob_expected_c_or_better = -1.0f;
  prob_expected_d_or_better = -1.0f;
  method_list.delete_list(0);
}

// ---------------------------------------------------------------- CombineMemo

void CombineMemo::clear() {
  used = 0;
  // A new mark empties every slot at once; when the marks run out they start again.
  if (++mark == 0) {
    std::fill(slots.begin(), slots.end(), Slot{});
    mark = 1;
  }
}

void CombineMemo::set_probe(const Distribution& d1, const Distribution& d2, int operation) {
  static_assert(sizeof(DistributionPair) == sizeof(uint64_t));
  probe.operation = operation;
  probe.first_length = static_cast<int>(d1.next_slot);
  probe.second_length = static_cast<int>(d2.next_slot);
  memcpy(static_cast<void*>(probe.pairs), d1.data, sizeof(DistributionPair) * d1.next_slot);
  memcpy(static_cast<void*>(probe.pairs + d1.next_slot), d2.data, sizeof(DistributionPair) * d2.next_slot);
  // A pair is one 64-bit word.
  uint64_t h = static_cast<uint64_t>(operation) * 0x9E3779B97F4A7C15ULL ^
               (static_cast<uint64_t>(probe.first_length) << 32 | static_cast<uint64_t>(probe.second_length));
  for (long i = 0; i < d1.next_slot + d2.next_slot; i++) {
    uint64_t word;
    memcpy(&word, &probe.pairs[i], sizeof word);
    h = (h ^ word) * 0xFF51AFD7ED558CCDULL;
    h ^= h >> 29;
  }
  probe_hash = h ^ (h >> 32);
}

// Bit for bit: a NaN matches itself, 0 and -0 differ.
bool CombineMemo::probe_matches(const Key& key) const {
  return key.operation == probe.operation && key.first_length == probe.first_length &&
         key.second_length == probe.second_length &&
         memcmp(key.pairs, probe.pairs, sizeof(DistributionPair) * (probe.first_length + probe.second_length)) == 0;
}

const Distribution* CombineMemo::find_probe() {
  if (slots.empty()) return nullptr;
  size_t mask = slots.size() - 1;
  for (size_t s = probe_hash & mask;; s = (s + 1) & mask) {
    if (slots[s].mark != mark) {
      probe_slot = s;
      return nullptr;
    }
    Entry& kept = entry(slots[s].entry);
    if (kept.hash == probe_hash && probe_matches(kept.key)) return &kept.result;
  }
}

void CombineMemo::grow() {
  std::vector<Slot> larger(slots.empty() ? FIRST_TABLE_SLOTS : 2 * slots.size());
  size_t mask = larger.size() - 1;
  for (long i = 0; i < used; i++) {
    size_t s = entry(i).hash & mask;
    while (larger[s].mark == mark) s = (s + 1) & mask;
    larger[s] = {mark, static_cast<uint32_t>(i)};
  }
  slots.swap(larger);
}

void CombineMemo::keep_probe(const Distribution& result) {
  if (used >= MAX_RESULTS) return;
  // At most half the slots are filled, so that a search meets an empty one soon.
  if (static_cast<size_t>(2 * (used + 1)) > slots.size()) {
    grow();
    find_probe();
  }
  long k = static_cast<long>(chunks.size());
  if (used == held_by_chunks(k))
    chunks.emplace_back(new ("CombineMemo::keep_probe") Entry[static_cast<size_t>(held_by_chunks(k + 1) - used)]);
  Entry& kept = entry(used);
  kept.hash = probe_hash;
  kept.key.operation = probe.operation;
  kept.key.first_length = probe.first_length;
  kept.key.second_length = probe.second_length;
  memcpy(static_cast<void*>(kept.key.pairs), probe.pairs,
         sizeof(DistributionPair) * (probe.first_length + probe.second_length));
  kept.result.duplicate(result);
  slots[probe_slot] = {mark, static_cast<uint32_t>(used)};
  used++;
}

// ---------------------------------------------------------------- AlternativePool

AlternativePool::~AlternativePool() {
  for (Alternative* alt : spare) delete alt;
}

Alternative* AlternativePool::take(const char* tag) {
  if (spare.empty()) return new (tag) Alternative;
  Alternative* alt = spare.back();
  spare.pop_back();
  // Made new when taken: most of those given back are never taken again.
  alt->reset_as_new();
  return alt;
}

void AlternativePool::give_back(Alternative* alt) { spare.push_back(alt); }

int Alternative::dominates(Alternative* other) {
  constexpr Density MARGIN = 0.51f;
  return cost.probability_that_this_dominates_d2(other->cost) > MARGIN &&
                 quality.probability_that_this_dominates_d2(other->quality) > MARGIN &&
                 duration.probability_that_this_dominates_d2(other->duration) > MARGIN
             ? 1
             : 0;
}

long Alternative::memory_used_by_distributions() {
  return cost.memory_used() + quality.memory_used() + duration.memory_used() + potential_cost.memory_used() +
         potential_quality.memory_used() + potential_duration.memory_used();
}

long Alternative::memory_used() { return 440 + memory_used_by_distributions() + method_list.memory_used(); }

void Alternative::print(FILE* stream) {
  fprintf(stream, "Alternative %s\n", of_task.c_str());
  fprintf(stream, "\tRating %f\n", rating);
  fprintf(stream, "\tAlready been scheduled: %s\n", boolean_to_string(already_been_scheduled));
  fprintf(stream, "\tMethod List: ");
  method_list.print_task_ids_on_one_line(stream);
  fprintf(stream, "\n");
  fprintf(stream, "\tProb q or better %f, c %f, d %f\n", prob_expected_q_or_better, prob_expected_c_or_better,
          prob_expected_d_or_better);
  struct Part {
    const char* heading;
    Distribution* d;
  };
  Part parts[] = {{"\tQuality : ", &quality},         {"\tPotential Quality : ", &potential_quality},
                  {"\tCost: ", &cost},                {"\tPotential Cost: ", &potential_cost},
                  {"\tDuration : ", &duration},       {"\tPotential Duration : ", &potential_duration}};
  for (Part& part : parts) {
    fprintf(stream, "%s", part.heading);
    part.d->print(stream);
    fprintf(stream, "\tev: %f\n", part.d->get_expected_value());
  }
}

void Alternative::small_print(FILE* stream) {
  // "%0f" (a full "%f") for the duration is the line's established form.
  fprintf(stream, "Alternative %s, rating %.2f, q %.0f, c %.0f, d %0f\n", of_task.c_str(), rating,
          quality.get_expected_value(), cost.get_expected_value(), duration.get_expected_value());
}

// ---------------------------------------------------------------- AlternativeList

void AlternativeList::delete_function(void* item) { delete static_cast<Alternative*>(item); }

bool AlternativeList::has_key(Alternative* item, const char* key) { return item != nullptr && item->of_task == key; }

int AlternativeList::consider_adding_new_alternative(Alternative* alt, int copy, const char* label) {
  Alternative* kept = alt;
  if (copy == 1) {
    kept = new ("AlternativeList::consider_adding_new_alternative") Alternative;
    kept->duplicate(*alt);
    kept->rating = -1.0f;
  }
  if (label != nullptr) kept->reason_alt_was_selected = label;
  add(kept);
  return 1;
}

int AlternativeList::alt_exists(Alternative* alt) {
  for (long i = 0; i < length(); i++) {
    TaskList& methods = get(i)->method_list;
    if (methods.length() != alt->method_list.length()) continue;
    bool all_found = true;
    for (long k = 0; k < methods.length() && all_found; k++) all_found = alt->method_list.in_list(methods.get(k));
    if (all_found) return 1;
  }
  return 0;
}

long AlternativeList::duplicate(AlternativeList& other) {
  // Emptying itself first would lose every alternative.
  if (&other == this) return length();
  delete_list(1);
  for (long i = 0; i < other.length(); i++) {
    Alternative* copy = new ("AlternativeList::duplicate") Alternative;
    copy->duplicate(*other.get(i));
    add(copy);
  }
  return length();
}

void AlternativeList::small_print(FILE* stream) {
  for (long i = 0; i < length(); i++) get(i)->small_print(stream);
}

long AlternativeList::memory_used_inclusive() {
  long total = 32 + 16 * (length() + 2);
  for (long i = 0; i < length(); i++) total += get(i)->memory_used();
  return total;
}

void AlternativeList::insert_alternative_by_rating(Alternative* alt) {
  for (long i = 0; i < length(); i++) {
    if (get(i)->rating < alt->rating) {
      move_to(i);
      add_new_item_at_position(alt, 0);
      return;
    }
  }
  append(alt);
}

void AlternativeList::order_alternatives_for_final_output(ScheduleCriteriaBundle& cb, ScheduleSettingBundle& s) {
  rate_alternatives_and_sort(cb, s, 1);
  std::vector<Alternative*> scheduled;
  std::vector<Alternative*> others;
  for (long i = 0; i < length(); i++) (get(i)->already_been_scheduled ? scheduled : others).push_back(get(i));
  empty_list();
  AlternativeList rest;
  for (Alternative* alt : scheduled) insert_alternative_by_rating(alt);
  for (Alternative* alt : others) rest.insert_alternative_by_rating(alt);
  append_list_not_copy_items(&rest);
  rest.empty_list();
}

// The extremes it would find are written nowhere: all a caller learns is the count.
long AlternativeList::find_highest_q_lowest_d_lowest_c(Alternative*, Alternative*, Alternative*) { return length(); }

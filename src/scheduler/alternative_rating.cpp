// Rating alternatives against the criteria, and the two ways of pruning a node's list:
// the n best, or quotas per threshold dimension with a duration assortment by buckets.
// Also the quality loss of a missed hard deadline and the alternative data files.
//
// Ratings are relative to the list: extremes are taken over its current members.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "foundation/combinatorics.h"
#include "foundation/fatal_stop.h"
#include "foundation/system_wrappers.h"
#include "foundation/text_and_file_utilities.h"
#include "scheduler/alternative.h"
#include "scheduler/duration_threshold.h"

namespace {
OnceOnlyFlag deadline_note;
OnceOnlyFlag quality_note;
OnceOnlyFlag cost_note;

// The three values an alternative is rated by: the mean of the actual and the potential
// statistic in each dimension, and the chance of doing at least that well.
struct Reading {
  float vq, vc, vd;
  float pq, pc, pd;
};

Reading read_alternative(Alternative* a, ScheduleSettingBundle& s) {
  Reading r;
  r.vq = (a->quality.get_specified_value(s.q) + a->potential_quality.get_specified_value(s.q)) / 2.0f;
  r.vc = (a->cost.get_specified_value(s.c) + a->potential_cost.get_specified_value(s.c)) / 2.0f;
  r.vd = (a->duration.get_specified_value(s.d) + a->potential_duration.get_specified_value(s.d)) / 2.0f;
  r.pq = a->quality.get_probability_value_is_gt_or_equal_to_x(r.vq);
  r.pc = a->cost.get_probability_value_is_lt_or_equal_to_x(r.vc);
  r.pd = a->duration.get_probability_value_is_lt_or_equal_to_x(r.vd);
  return r;
}

std::vector<Alternative*> members_of(AlternativeList& list) {
  std::vector<Alternative*> members;
  members.reserve(static_cast<size_t>(list.length()));
  for (long i = 0; i < list.length(); i++) members.push_back(list.get(i));
  return members;
}

struct Range {
  float min = 0.0f;
  float max = 0.0f;
  void take(float v, bool first) {
    if (first || v < min) min = v;
    if (first || v > max) max = v;
  }
  // Where v stands between the extremes, times the weight; 0 when they are equal.
  float upward(float v, float weight) const { return max == min ? 0.0f : (v - min) / (max - min) * weight; }
  float downward(float v, float weight) const { return max == min ? 0.0f : (max - v) / (max - min) * weight; }
};

}  // namespace

Alternative* AlternativeList::rate_alternatives_and_sort(ScheduleCriteriaBundle& cb, ScheduleSettingBundle& s,
                                                         int sort) {
  // Each member is read once: a reading may sort a distribution, and reading it again
  // gives the same values.
  std::vector<Alternative*> all = members_of(*this);
  std::vector<Reading> readings(all.size());
  std::vector<char> rated(all.size(), 0);
  Range rq, rc, rd, rpq, rpc, rpd;
  bool first = true;
  for (size_t i = 0; i < all.size(); i++) {
    Alternative* a = all[i];
    if (!a->quality.some_values_are_gt_zero()) continue;
    rated[i] = 1;
    Reading& r = readings[i];
    r = read_alternative(a, s);
    rq.take(r.vq, first);
    rc.take(r.vc, first);
    rd.take(r.vd, first);
    rpq.take(r.pq, first);
    rpc.take(r.pc, first);
    rpd.take(r.pd, first);
    first = false;
  }

  for (size_t i = 0; i < all.size(); i++) {
    Alternative* a = all[i];
    if (!rated[i]) {
      a->prob_expected_q_or_better = -1.0f;
      a->prob_expected_c_or_better = -1.0f;
      a->prob_expected_d_or_better = -1.0f;
      a->rating = -1.0f;
      continue;
    }
    const Reading& r = readings[i];
    a->prob_expected_q_or_better = r.pq;
    a->prob_expected_c_or_better = r.pc;
    a->prob_expected_d_or_better = r.pd;

    float goodness = 0.0f;
    if (float total = cb.total_points_in_goodness_bank; total != 0.0f) {
      goodness = rq.upward(r.vq, cb.goodness_quality_slider) / total +
                 rc.downward(r.vc, cb.goodness_cost_slider) / total +
                 rd.downward(r.vd, cb.goodness_duration_slider) / total;
    }
    float threshold = 0.0f;
    if (float total = cb.total_points_in_threshold_bank; total != 0.0f) {
      float tq = r.vq > cb.quality_threshold ? cb.threshold_quality_slider / total : 0.0f;
      float tc = r.vc < cb.cost_limit ? cb.threshold_cost_slider / total : 0.0f;
      threshold = tq + tc + threshold_duration_points(r.vd, cb);
    }
    float certainty = 0.0f;
    if (float total = cb.total_points_in_uncertainty_bank; total != 0.0f) {
      certainty = rpq.upward(r.pq, cb.uncertainty_quality_slider) / total +
                  rpc.upward(r.pc, cb.uncertainty_cost_slider) / total +
                  rpd.upward(r.pd, cb.uncertainty_duration_slider) / total;
    }
    float certainty_threshold = 0.0f;
    if (float total = cb.total_points_in_uncertainty_threshold_bank; total != 0.0f) {
      float cq = r.pq > cb.quality_certainty_threshold ? cb.threshold_certainty_quality_slider / total : 0.0f;
      float cc = r.pc > cb.cost_certainty_threshold ? cb.threshold_certainty_cost_slider / total : 0.0f;
      float cd = r.pd > cb.duration_certainty_threshold ? cb.threshold_certainty_duration_slider / total : 0.0f;
      certainty_threshold = cq + cc + cd;
    }
    a->rating = goodness * cb.meta_goodness_slider + threshold * cb.meta_threshold_slider +
                certainty * cb.meta_uncertainty_slider + certainty_threshold * cb.meta_uncertainty_threshold_slider;
  }

  Alternative* best = nullptr;
  for (Alternative* a : all)
    if (a->already_been_scheduled == 0 && (best == nullptr || a->rating > best->rating)) best = a;

  if (sort == 1) {
    std::stable_sort(all.begin(), all.end(), [](Alternative* a, Alternative* b) { return a->rating > b->rating; });
    empty_list();
    for (Alternative* a : all) append(a);
  }
  return best;
}

Alternative* AlternativeList::rate_alternatives_and_NO_sort(ScheduleCriteriaBundle& cb, ScheduleSettingBundle& s) {
  return rate_alternatives_and_sort(cb, s, 0);
}

int AlternativeList::alternative_func_to_sort_by_rating(const void* a, const void* b) {
  float ra = (*static_cast<Alternative* const*>(a))->rating;
  float rb = (*static_cast<Alternative* const*>(b))->rating;
  if (ra > rb) return -1;
  if (ra < rb) return 1;
  return 0;
}

// ---------------------------------------------------------------- pruning

namespace {

// The positions of up to n members, each round the first of the highest rating among
// those left. Without a NaN rating that order is the ratings descending, earlier first on
// a tie, and a partial sort finds it; a NaN wins or loses by where it stands, so then the
// rounds are walked as they are.
std::vector<size_t> best_positions(const std::vector<Alternative*>& members, long n) {
  size_t count = n <= 0 ? 0 : std::min(members.size(), static_cast<size_t>(n));
  std::vector<size_t> order(members.size());
  for (size_t k = 0; k < order.size(); k++) order[k] = k;
  bool any_nan = std::any_of(members.begin(), members.end(), [](Alternative* a) { return std::isnan(a->rating); });
  if (!any_nan) {
    std::partial_sort(order.begin(), order.begin() + static_cast<long>(count), order.end(), [&](size_t x, size_t y) {
      float rx = members[x]->rating;
      float ry = members[y]->rating;
      return rx > ry || (rx == ry && x < y);
    });
    order.resize(count);
    return order;
  }
  std::vector<size_t> picks;
  for (size_t round = 0; round < count; round++) {
    size_t best = 0;
    for (size_t i = 1; i < order.size(); i++)
      if (members[order[i]]->rating > members[order[best]]->rating) best = i;
    picks.push_back(order[best]);
    order.erase(order.begin() + static_cast<long>(best));
  }
  return picks;
}

// The members of one bin in the order the picks count in, with a Fenwick tree of those
// still there: the k-th one left is found, and taken out, in log steps.
class BinMembers {
 public:
  explicit BinMembers(std::vector<size_t> members) : slots(std::move(members)), tree(slots.size() + 1, 0) {
    for (size_t i = 1; i <= slots.size(); i++) {
      tree[i] += 1;
      size_t up = i + (i & (~i + 1));
      if (up <= slots.size()) tree[up] += tree[i];
    }
    left = static_cast<long>(slots.size());
  }
  long size() const { return left; }
  // Takes out the member at position k (from 0) among those left.
  size_t take(long k) {
    size_t at = 0;
    size_t step = 1;
    while (step * 2 <= slots.size()) step *= 2;
    long remaining = k + 1;
    for (; step > 0; step /= 2) {
      if (at + step <= slots.size() && tree[at + step] < remaining) {
        at += step;
        remaining -= tree[at];
      }
    }
    // at + 1 is the slot, counted from 1.
    for (size_t i = at + 1; i <= slots.size(); i += i & (~i + 1)) tree[i] -= 1;
    left--;
    size_t member = slots[at];
    slots[at] = TAKEN;
    return member;
  }
  template <class F>
  void for_each_left(F f) const {
    for (size_t member : slots)
      if (member != TAKEN) f(member);
  }

 private:
  static constexpr size_t TAKEN = static_cast<size_t>(-1);
  std::vector<size_t> slots;
  std::vector<long> tree;
  long left = 0;
};

// The duration assortment over the members, as their positions: the bins' picks, then
// what each bin has left. n_d becomes the number of picks.
std::vector<size_t> duration_assortment(const std::vector<Alternative*>& members, long& n_d) {
  long count = static_cast<long>(members.size());
  if (count == 0) error_exit("Build assortment passed alt list w/no members!\n", 1);
  float n_float = static_cast<float>(count);
  long bins = static_cast<long>(std::min(n_float, log10f(n_float) + 10.0f));

  // The expected durations compacted to that many values mark the bins' upper bounds;
  // the compaction keeps the largest value, so every alternative finds a bin.
  std::vector<Value> expected(members.size());
  Distribution durations;
  // Grown once: growing pair by pair copies the array at every step.
  durations.reallocate_data(count);
  for (long i = 0; i < count; i++) {
    expected[i] = members[i]->duration.get_expected_value();
    durations.append(1.0f / n_float, expected[i]);
  }
  durations.compact_to_x_values(static_cast<int>(bins));
  bins = durations.length();
  std::vector<Value> boundaries(static_cast<size_t>(bins));
  std::vector<long> quotas(static_cast<size_t>(bins));
  for (long b = 0; b < bins; b++) {
    DistributionPair pair = *durations.get(b);
    long quota = simple_nearest_long(pair.density * static_cast<float>(n_d));
    boundaries[b] = pair.value;
    quotas[b] = quota < 3 ? 3 : quota;
  }
  std::vector<std::vector<size_t>> in_bin(static_cast<size_t>(bins));
  for (long i = 0; i < count; i++) {
    size_t b = 0;
    while (b + 1 < boundaries.size() && boundaries[b] < expected[i]) b++;
    in_bin[b].push_back(static_cast<size_t>(i));
  }
  // A bin counts its members latest first.
  std::vector<BinMembers> buckets;
  buckets.reserve(in_bin.size());
  for (std::vector<size_t>& bin : in_bin) {
    std::reverse(bin.begin(), bin.end());
    buckets.emplace_back(std::move(bin));
  }
  // One draw of the random stream per pick and no other draws, so runs repeat.
  std::vector<size_t> assortment;
  assortment.reserve(members.size());
  long picked = 0;
  for (size_t b = 0; b < buckets.size(); b++) {
    long takes = std::min(quotas[b], buckets[b].size());
    for (long k = 0; k < takes; k++) {
      int position = random_number_between_inclusive(0, static_cast<int>(buckets[b].size()) - 1);
      assortment.push_back(buckets[b].take(position));
      picked++;
    }
  }
  n_d = picked;
  for (BinMembers& bin : buckets) bin.for_each_left([&](size_t member) { assortment.push_back(member); });
  return assortment;
}

// One of the lists the quotas take from: positions in the source, walked once, skipping
// what another list has taken already.
struct QuotaWalk {
  const std::vector<size_t>& order;
  size_t at = 0;
  // Takes the first count members not taken yet (all of them for a negative count).
  void take_front(long count, std::vector<char>& taken, std::vector<size_t>& result) {
    for (long k = 0; count < 0 || k < count; k++) {
      while (at < order.size() && taken[order[at]]) at++;
      if (at == order.size()) return;
      taken[order[at]] = 1;
      result.push_back(order[at]);
    }
  }
};
}  // namespace

Alternative* AlternativeList::rate_alternatives_and_prune_to_n_best(ScheduleCriteriaBundle& cb,
                                                                    ScheduleSettingBundle& s, long n,
                                                                    int delete_dropped) {
  rate_alternatives_and_NO_sort(cb, s);
  std::vector<Alternative*> members = members_of(*this);
  std::vector<size_t> picks = best_positions(members, n);
  std::vector<char> picked(members.size(), 0);
  for (size_t k : picks) picked[k] = 1;
  empty_list();
  if (delete_dropped == 1)
    for (size_t k = 0; k < members.size(); k++)
      if (!picked[k]) delete_function(members[k]);
  for (size_t k : picks) append(members[k]);
  return picks.empty() ? nullptr : members[picks.front()];
}

Alternative* AlternativeList::rate_alternatives_and_prune_to_n_best_using_heuristic_approach(
    ScheduleCriteriaBundle& cb, ScheduleSettingBundle& s, long n, int hard_deadline, int delete_dropped) {
  sort_alternatives_using_heuristic_bucket_approach(n, cb, s, hard_deadline);
  while (length() > n) remove(length() - 1, delete_dropped == 1 ? 1 : 0);
  return length() > 0 ? get(0L) : nullptr;
}

void AlternativeList::sort_alternatives_using_heuristic_bucket_approach(long& n, ScheduleCriteriaBundle& cb,
                                                                        ScheduleSettingBundle& s,
                                                                        int hard_deadline) {
  long n_q = 0;
  long n_c = 0;
  long n_d = 0;
  if (float total = cb.total_points_in_threshold_bank; total != 0.0f) {
    float count = static_cast<float>(n);
    n_q = static_cast<long>(cb.threshold_quality_slider / total * count);
    n_c = static_cast<long>(cb.threshold_cost_slider / total * count);
    n_d = static_cast<long>(cb.threshold_duration_slider / total * count);
  }
  if (hard_deadline == 1 && n_d == 0) {
    if (deadline_note.first_time())
      fprintf(stderr, "\nNote: Translating hard deadline to criteria deadline for heursitic alternative selection.\n\n");
    n_d = n;
  }

  // Each quota's list is an order of positions in the source list; a member taken by one
  // is marked, and the others' walks pass over it.
  std::vector<Alternative*> members = members_of(*this);
  std::vector<size_t> q_order, c_order, d_order;
  auto fallback_note = [](OnceOnlyFlag& flag, const char* dimension_line) {
    if (!flag.first_time()) return;
    fprintf(stderr, "\n");
    fprintf(stderr, "Note: encountered a situation calling for heuristic alternative construction\n");
    fprintf(stderr, "%s", dimension_line);
    fprintf(stderr, "Falling back on standard criteria-directed approach.\n");
    fprintf(stderr, "\n");
    fflush(stderr);
  };
  // The ratings of a list do not change while it is not: it is rated once.
  bool rated = false;
  auto rate_once = [&] {
    if (!rated) rate_alternatives_and_NO_sort(cb, s);
    rated = true;
  };
  if (n_q > 0) {
    fallback_note(quality_note, "in the quality dimension.  Please notify Ilse Brack of this message.\n");
    rate_once();
    q_order = best_positions(members, n_q);
  }
  if (n_c > 0) {
    fallback_note(cost_note, "in the cost dimension.  Please notify Ilse Brack of this message.\n");
    rate_once();
    c_order = best_positions(members, n_c);
  }
  if (n_d > 0) d_order = duration_assortment(members, n_d);

  std::vector<char> taken(members.size(), 0);
  std::vector<size_t> result;
  result.reserve(members.size());
  QuotaWalk q{q_order}, c{c_order}, d{d_order};
  if (n_q + n_c + n_d == 0) {
    // No quota at all would keep nothing: keep the n best instead.
    rate_alternatives_and_NO_sort(cb, s);
    std::vector<size_t> best = best_positions(members, n);
    QuotaWalk{best}.take_front(-1, taken, result);
  } else {
    q.take_front(n_q, taken, result);
    c.take_front(n_c, taken, result);
    d.take_front(n_d, taken, result);
  }
  // Only what the quotas took is kept. Q and C rank by the same rating, so C's picks may
  // be Q's again; counting the quotas instead would keep leftovers in source order.
  long kept = static_cast<long>(result.size());
  q.take_front(-1, taken, result);
  c.take_front(-1, taken, result);
  d.take_front(-1, taken, result);
  // Whatever no list holds goes behind, where the caller's truncation frees it.
  std::vector<size_t> source(members.size());
  for (size_t k = 0; k < source.size(); k++) source[k] = k;
  QuotaWalk{source}.take_front(-1, taken, result);
  empty_list();
  for (size_t k : result) append(members[k]);
  n = kept;
}

void AlternativeList::build_assortment_using_bucket_scheme_d(AlternativeList* destination, long& n_d) {
  std::vector<Alternative*> members = members_of(*this);
  for (size_t k : duration_assortment(members, n_d)) destination->append(members[k]);
}

// Declared alongside the duration scheme; the quality and cost quotas take the n best.
void AlternativeList::build_assortment_using_bucket_scheme_q(AlternativeList*, long&) {}
void AlternativeList::build_assortment_using_bucket_scheme_c(AlternativeList*, long&) {}

// ---------------------------------------------------------------- deadlines and data files

void AlternativeList::decrease_qualities_by_degree_alts_miss_hard_deadline_up_to_some_bounds(float deadline,
                                                                                          float factor) {
  for (long i = 0; i < length(); i++) {
    Alternative* a = get(i);
    Density p = a->potential_duration.get_probability_value_is_gt_x(deadline);
    if (!(p > 0.0f)) continue;
    Density w = p * factor;
    for (Distribution* q : {&a->quality, &a->potential_quality}) {
      q->reduce_total_density_to_x_percent(1.0f - w);
      q->append(w, 0.0f);
      q->sort_and_combine();
    }
  }
}

namespace {
using ibutil::file_is_empty;

void print_row(FILE* f, Alternative* a, bool with_id) {
  fprintf(f, "(%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %d %.4f", a->quality.get_expected_value(),
          a->cost.get_expected_value(), a->duration.get_expected_value(), a->prob_expected_q_or_better,
          a->prob_expected_c_or_better, a->prob_expected_d_or_better, a->potential_quality.get_expected_value(),
          a->potential_cost.get_expected_value(), a->potential_duration.get_expected_value(),
          a->already_been_scheduled, a->rating);
  if (with_id) fprintf(f, " %s", a->of_task.c_str());
  fprintf(f, ")\n");
}

constexpr const char* DATA_COLUMNS =
    "\"q\" \"c\" \"d\" \"prob_q\" \"prob_c\" \"prob_d\" \"pq\" \"pc\" \"pd\" \"scheduled\" \"Rating\"\n";
}  // namespace

void AlternativeList::print_to_data_files(FILE* stats_file, FILE* plain_file) {
  if (stats_file != nullptr && file_is_empty(stats_file)) {
    fprintf(stats_file, "\"exp_dat\"\n");
    fprintf(stats_file, "%s", DATA_COLUMNS);
  }
  if (plain_file != nullptr && file_is_empty(plain_file)) fprintf(plain_file, "%s", DATA_COLUMNS);
  for (long i = 0; i < length(); i++) {
    if (stats_file != nullptr) print_row(stats_file, get(i), false);
    if (plain_file != nullptr) print_row(plain_file, get(i), true);
  }
}

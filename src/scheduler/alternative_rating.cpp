// Rating alternatives against the criteria, and the two ways of pruning a node's list:
// the n best, or quotas per threshold dimension with a duration assortment by buckets.
// Also the quality loss of a missed hard deadline and the alternative data files.
//
// Ratings are relative to the list: extremes are taken over its current members.
#include <algorithm>
#include <cmath>
#include <cstdio>
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
  Range rq, rc, rd, rpq, rpc, rpd;
  bool first = true;
  for (long i = 0; i < length(); i++) {
    Alternative* a = get(i);
    if (!a->quality.some_values_are_gt_zero()) continue;
    Reading r = read_alternative(a, s);
    rq.take(r.vq, first);
    rc.take(r.vc, first);
    rd.take(r.vd, first);
    rpq.take(r.pq, first);
    rpc.take(r.pc, first);
    rpd.take(r.pd, first);
    first = false;
  }

  for (long i = 0; i < length(); i++) {
    Alternative* a = get(i);
    if (!a->quality.some_values_are_gt_zero()) {
      a->prob_expected_q_or_better = -1.0f;
      a->prob_expected_c_or_better = -1.0f;
      a->prob_expected_d_or_better = -1.0f;
      a->rating = -1.0f;
      continue;
    }
    Reading r = read_alternative(a, s);
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
  for (long i = 0; i < length(); i++) {
    Alternative* a = get(i);
    if (a->already_been_scheduled == 0 && (best == nullptr || a->rating > best->rating)) best = a;
  }

  if (sort == 1) {
    std::vector<Alternative*> all;
    for (long i = 0; i < length(); i++) all.push_back(get(i));
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

std::vector<Alternative*> AlternativeList::take_n_best(long n) {
  // Each round takes the first of the highest-rated members left. The rounds pick from an
  // array of positions, and the list then drops the picks in one walk in order: removing
  // them one by one would walk the list for every comparison.
  std::vector<Alternative*> members;
  members.reserve(static_cast<size_t>(length()));
  for (long i = 0; i < length(); i++) members.push_back(get(i));
  std::vector<size_t> left(members.size());
  for (size_t k = 0; k < left.size(); k++) left[k] = k;
  std::vector<bool> picked(members.size(), false);
  std::vector<Alternative*> picks;
  for (long round = 0; round < n && !left.empty(); round++) {
    size_t best = 0;
    for (size_t i = 1; i < left.size(); i++)
      if (members[left[i]]->rating > members[left[best]]->rating) best = i;
    picks.push_back(members[left[best]]);
    picked[left[best]] = true;
    left.erase(left.begin() + static_cast<long>(best));
  }
  long at = 0;
  for (size_t k = 0; k < members.size(); k++) {
    if (picked[k])
      remove(at, 0);
    else
      at++;
  }
  return picks;
}

Alternative* AlternativeList::rate_alternatives_and_prune_to_n_best(ScheduleCriteriaBundle& cb,
                                                                    ScheduleSettingBundle& s, long n,
                                                                    int delete_dropped) {
  rate_alternatives_and_NO_sort(cb, s);
  std::vector<Alternative*> picks = take_n_best(n);
  delete_list(delete_dropped == 1 ? 1 : 0);
  for (Alternative* a : picks) append(a);
  return picks.empty() ? nullptr : picks.front();
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

  // The source list keeps every member not picked yet; every list below shares them.
  AlternativeList q_list, c_list, d_list;
  auto fallback_note = [](OnceOnlyFlag& flag, const char* dimension_line) {
    if (!flag.first_time()) return;
    fprintf(stderr, "\n");
    fprintf(stderr, "Note: encountered a situation calling for heuristic alternative construction\n");
    fprintf(stderr, "%s", dimension_line);
    fprintf(stderr, "Falling back on standard criteria-directed approach.\n");
    fprintf(stderr, "\n");
    fflush(stderr);
  };
  if (n_q > 0) {
    fallback_note(quality_note, "in the quality dimension.  Please notify Ilse Brack of this message.\n");
    q_list.append_list_not_copy_items(this);
    q_list.rate_alternatives_and_prune_to_n_best(cb, s, n_q, 0);
  }
  if (n_c > 0) {
    fallback_note(cost_note, "in the cost dimension.  Please notify Ilse Brack of this message.\n");
    c_list.append_list_not_copy_items(this);
    c_list.rate_alternatives_and_prune_to_n_best(cb, s, n_c, 0);
  }
  if (n_d > 0) build_assortment_using_bucket_scheme_d(&d_list, n_d);

  std::vector<Alternative*> result;
  auto take = [&](Alternative* a) {
    for (AlternativeList* list : {&q_list, &c_list, &d_list, this})
      if (list->item_is_in_list(a)) list->remove(a, 0);
    result.push_back(a);
  };
  auto take_front = [&](AlternativeList& list, long count) {
    for (long k = 0; k < count && list.length() > 0; k++) take(list.get(0L));
  };
  if (n_q + n_c + n_d == 0) {
    // No quota at all would keep nothing: keep the n best instead.
    rate_alternatives_and_NO_sort(cb, s);
    for (Alternative* a : take_n_best(n)) result.push_back(a);
  } else {
    take_front(q_list, n_q);
    take_front(c_list, n_c);
    take_front(d_list, n_d);
  }
  // Only what the quotas took is kept. Q and C rank by the same rating, so C's picks may
  // be Q's again; counting the quotas instead would keep leftovers in source order.
  long kept = static_cast<long>(result.size());
  take_front(q_list, q_list.length());
  take_front(c_list, c_list.length());
  take_front(d_list, d_list.length());
  // Whatever no list holds goes behind, where the caller's truncation frees it.
  while (length() > 0) take(get(0L));
  for (Alternative* a : result) append(a);
  n = kept;
  q_list.empty_list();
  c_list.empty_list();
  d_list.empty_list();
}

void AlternativeList::build_assortment_using_bucket_scheme_d(AlternativeList* destination, long& n_d) {
  long count = length();
  if (count == 0) error_exit("Build assortment passed alt list w/no members!\n", 1);
  float n_float = static_cast<float>(count);
  long bins = static_cast<long>(std::min(n_float, log10f(n_float) + 10.0f));

  // The expected durations compacted to that many values mark the bins' upper bounds;
  // the compaction keeps the largest value, so every alternative finds a bin.
  Distribution durations;
  for (long i = 0; i < count; i++) durations.append(1.0f / n_float, get(i)->duration.get_expected_value());
  durations.compact_to_x_values(static_cast<int>(bins));
  bins = durations.length();
  struct Bin {
    Value boundary;
    long quota;
    std::vector<Alternative*> members;
  };
  std::vector<Bin> buckets(static_cast<size_t>(bins));
  for (long b = 0; b < bins; b++) {
    DistributionPair pair = *durations.get(b);
    long quota = simple_nearest_long(pair.density * static_cast<float>(n_d));
    buckets[b].boundary = pair.value;
    buckets[b].quota = quota < 3 ? 3 : quota;
  }
  for (long i = 0; i < count; i++) {
    Alternative* a = get(i);
    Value d = a->duration.get_expected_value();
    size_t b = 0;
    while (b + 1 < buckets.size() && buckets[b].boundary < d) b++;
    buckets[b].members.insert(buckets[b].members.begin(), a);
  }
  // One draw of the random stream per pick and no other draws, so runs repeat.
  long picked = 0;
  for (Bin& bin : buckets) {
    long takes = std::min(bin.quota, static_cast<long>(bin.members.size()));
    for (long k = 0; k < takes; k++) {
      int position = random_number_between_inclusive(0, static_cast<int>(bin.members.size()) - 1);
      destination->append(bin.members[position]);
      bin.members.erase(bin.members.begin() + position);
      picked++;
    }
  }
  n_d = picked;
  for (Bin& bin : buckets)
    for (Alternative* a : bin.members) destination->append(a);
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

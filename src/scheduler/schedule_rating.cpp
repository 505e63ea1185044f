// Rating a round's schedules against the criteria, ordering them best first, and the
// emphasis on schedules that satisfy the most hard commitments.
#include <cstdio>
#include <vector>

#include "foundation/system_wrappers.h"
#include "scheduler/duration_threshold.h"
#include "scheduler/scheduler.h"

namespace {

// What the rating reads of one schedule, by the setting's value specifiers.
struct ScheduleReading {
  bool has_quality = false;
  float vq = 0.0f, vc = 0.0f, vd = 0.0f;
  float pq = -1.0f, pc = -1.0f, pd = -1.0f;
};

ScheduleReading read_schedule(Schedule* s, ScheduleSettingBundle& setting) {
  ScheduleReading r;
  r.has_quality = s->quality.some_values_are_gt_zero() != 0;
  if (!r.has_quality) return r;
  r.vq = s->quality.get_specified_value(setting.q);
  r.vc = s->cost.get_specified_value(setting.c);
  r.vd = s->finish_time.get_specified_value(setting.d);
  r.pq = s->quality.get_probability_value_is_gt_or_equal_to_x(r.vq);
  r.pc = s->cost.get_probability_value_is_lt_or_equal_to_x(r.vc);
  r.pd = s->finish_time.get_probability_value_is_lt_or_equal_to_x(r.vd);
  return r;
}

void widen(float value, float& low, float& high) {
  if (value > high) high = value;
  if (value < low) low = value;
}

// The extremes over the schedules that have quality; all 0 when none has.
MinMaxBundle observe_extremes(const std::vector<ScheduleReading>& readings) {
  MinMaxBundle m;
  bool first = true;
  for (const ScheduleReading& r : readings) {
    if (!r.has_quality) continue;
    if (first) {
      m.minq = m.maxq = r.vq;
      m.minc = m.maxc = r.vc;
      m.mind = m.maxd = r.vd;
      m.uminq = m.umaxq = r.pq;
      m.uminc = m.umaxc = r.pc;
      m.umind = m.umaxd = r.pd;
      first = false;
      continue;
    }
    widen(r.vq, m.minq, m.maxq);
    widen(r.vc, m.minc, m.maxc);
    widen(r.vd, m.mind, m.maxd);
    widen(r.pq, m.uminq, m.umaxq);
    widen(r.pc, m.uminc, m.umaxc);
    widen(r.pd, m.umind, m.umaxd);
  }
  return m;
}

float threshold_points(const ScheduleReading& r, ScheduleCriteriaBundle& cb) {
  float bank = cb.total_points_in_threshold_bank;
  if (bank == 0.0f) return 0.0f;
  float t = 0.0f;
  if (r.vq > cb.quality_threshold) t += cb.threshold_quality_slider / bank;
  if (r.vc < cb.cost_limit) t += cb.threshold_cost_slider / bank;
  return t + threshold_duration_points(r.vd, cb);
}

float uncertainty_points(const ScheduleReading& r, ScheduleCriteriaBundle& cb, MinMaxBundle& m) {
  float bank = cb.total_points_in_uncertainty_bank;
  if (bank == 0.0f) return 0.0f;
  float u = 0.0f;
  if (m.umaxq - m.uminq != 0.0f) u += (r.pq - m.uminq) / (m.umaxq - m.uminq) * cb.uncertainty_quality_slider / bank;
  if (m.umaxc - m.uminc != 0.0f) u += (r.pc - m.uminc) / (m.umaxc - m.uminc) * cb.uncertainty_cost_slider / bank;
  if (m.umaxd - m.umind != 0.0f) u += (r.pd - m.umind) / (m.umaxd - m.umind) * cb.uncertainty_duration_slider / bank;
  return u;
}

float certainty_points(const ScheduleReading& r, ScheduleCriteriaBundle& cb) {
  float bank = cb.total_points_in_uncertainty_threshold_bank;
  if (bank == 0.0f) return 0.0f;
  float c = 0.0f;
  if (r.pq > cb.quality_certainty_threshold) c += cb.threshold_certainty_quality_slider / bank;
  if (r.pc > cb.cost_certainty_threshold) c += cb.threshold_certainty_cost_slider / bank;
  if (r.pd > cb.duration_certainty_threshold) c += cb.threshold_certainty_duration_slider / bank;
  return c;
}

float combine_banks(float g, float t, float u, float c, ScheduleCriteriaBundle& cb) {
  return g * cb.meta_goodness_slider + t * cb.meta_threshold_slider + u * cb.meta_uncertainty_slider +
         c * cb.meta_uncertainty_threshold_slider;
}

// Stores the probabilities and the rating of every schedule; goodness comes from the caller.
template <class Goodness>
void rate_each(ScheduleList& list, const std::vector<ScheduleReading>& readings, ScheduleCriteriaBundle& cb,
               MinMaxBundle& m, Goodness goodness) {
  for (long i = 0; i < list.length(); i++) {
    Schedule* s = list.get(i);
    const ScheduleReading& r = readings[static_cast<size_t>(i)];
    s->prob_expected_q_or_better = r.pq;
    s->prob_expected_c_or_better = r.pc;
    s->prob_expected_d_or_better = r.pd;
    if (!r.has_quality) {
      s->rating = -1.0f;
      continue;
    }
    s->rating = combine_banks(goodness(r), threshold_points(r, cb), uncertainty_points(r, cb, m),
                              certainty_points(r, cb), cb);
  }
}

std::vector<ScheduleReading> read_all(ScheduleList& list, ScheduleSettingBundle& setting) {
  std::vector<ScheduleReading> readings;
  for (long i = 0; i < list.length(); i++) readings.push_back(read_schedule(list.get(i), setting));
  return readings;
}

}  // namespace

int ScheduleList::schedule_func_to_sort_by_rating(const void* a, const void* b) {
  float ra = static_cast<const Schedule*>(a)->rating;
  float rb = static_cast<const Schedule*>(b)->rating;
  if (ra > rb) return 1;
  if (ra < rb) return -1;
  return 0;
}

void ScheduleList::rate_schedules_and_sort(ScheduleCriteriaBundle& cb, ScheduleSettingBundle& setting) {
  std::vector<ScheduleReading> readings = read_all(*this, setting);
  MinMaxBundle m = observe_extremes(readings);
  auto goodness = [&cb, &m](const ScheduleReading& r) {
    float bank = cb.total_points_in_goodness_bank;
    if (bank == 0.0f) return 0.0f;
    float g = 0.0f;
    if (m.maxq - m.minq != 0.0f) g += (r.vq - m.minq) / (m.maxq - m.minq) * cb.goodness_quality_slider / bank;
    if (m.maxc - m.minc != 0.0f) g += (m.maxc - r.vc) / (m.maxc - m.minc) * cb.goodness_cost_slider / bank;
    if (m.maxd - m.mind != 0.0f) g += (m.maxd - r.vd) / (m.maxd - m.mind) * cb.goodness_duration_slider / bank;
    return g;
  };
  rate_each(*this, readings, cb, m, goodness);
  sort_list_via_func(schedule_func_to_sort_by_rating);
  observed_min_max = m;
}

void ScheduleList::rate_schedules_and_sort(ScheduleCriteriaBundle& cb, ScheduleSettingBundle& setting,
                                           MinMaxBundle& bounds) {
  std::vector<ScheduleReading> readings = read_all(*this, setting);
  MinMaxBundle m = bounds;
  for (float* low : {&m.minq, &m.minc, &m.mind, &m.uminq, &m.uminc, &m.umind})
    if (*low > 0.0f) *low = 0.0f;
  // A term outside [0, 1] means the client's maximum was too low: it earns nothing.
  auto term = [](float low, float high, float numerator, float slider, float bank, const char* warning) {
    if (!(high - low > 0.0f)) return 0.0f;
    float value = numerator / (high - low) * slider / bank;
    if (value < 0.0f || value > 1.0f) {
      fputs(warning, stderr);
      return 0.0f;
    }
    return value;
  };
  auto goodness = [&cb, &m, &term](const ScheduleReading& r) {
    float bank = cb.total_points_in_goodness_bank;
    if (bank == 0.0f) return 0.0f;
    return term(m.minq, m.maxq, r.vq - m.minq, cb.goodness_quality_slider, bank,
                "Warning, client specified maxq for schedule rating is too low.\n") +
           term(m.minc, m.maxc, m.maxc - r.vc, cb.goodness_cost_slider, bank,
                "Warning, client specified maxc for schedule rating is too low.\n") +
           term(m.mind, m.maxd, m.maxd - r.vd, cb.goodness_duration_slider, bank,
                "Warning, client specified maxd for schedule rating is too low.\n");
  };
  rate_each(*this, readings, cb, m, goodness);
  sort_list_via_func(schedule_func_to_sort_by_rating);
}

Schedule* Scheduler::kludge_reweight_schedules_and_sort_based_on_hard_commitments() {
  long n = good_schedules.length();
  if (n == 0) return nullptr;
  float best = good_schedules.get(0L)->rating;
  if (best == 0.0f) best = 1.0f;
  // Half the size of the best rating: with a negative best a signed half would lower
  // the schedules that satisfy the most.
  float hard_bonus = 0.5f * (best < 0.0f ? -best : best);

  std::vector<int> hard(static_cast<size_t>(n), 0), regular(static_cast<size_t>(n), 0),
      what_if(static_cast<size_t>(n), 0);
  int hard_max = 0, regular_max = 0, what_if_max = 0;
  for (long i = 0; i < n; i++) {
    CommitmentList& satisfied = good_schedules.get(i)->satisfied_local_commitments;
    size_t k = static_cast<size_t>(i);
    for (long j = 0; j < satisfied.length(); j++) {
      LocalCommitment* c = satisfied.get(j)->as_local();
      if (c == nullptr) continue;
      if (c->importance >= 1)
        hard[k]++;
      else if (c->importance == 0)
        regular[k]++;
      else
        what_if[k]++;
    }
    if (hard[k] > hard_max) hard_max = hard[k];
    if (regular[k] > regular_max) regular_max = regular[k];
    if (what_if[k] > what_if_max) what_if_max = what_if[k];
  }
  if (hard_max == 0 && regular_max == 0 && what_if_max == 0) return good_schedules.get(0L);

  for (long i = 0; i < n; i++) {
    Schedule* s = good_schedules.get(i);
    size_t k = static_cast<size_t>(i);
    // Whole-number quotients: only the schedules that reach a maximum gain.
    int a = hard_max > 0 ? hard[k] / hard_max : 0;
    int b = regular_max > 0 ? regular[k] / regular_max : 0;
    int c = what_if_max > 0 ? what_if[k] / what_if_max : 0;
    float old = s->rating;
    s->annotations += formatted_text("\tRating pre commitment kludge %f\n", old);
    s->rating = static_cast<float>(a) * hard_bonus + old + static_cast<float>(b) / 10.0f +
                static_cast<float>(c) / 100.0f;
  }
  good_schedules.sort_list_via_func(ScheduleList::schedule_func_to_sort_by_rating);
  return good_schedules.get(0L);
}

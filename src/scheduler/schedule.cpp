// Schedules: the final bookkeeping, commitments left open, sameness, copies, and the
// operations of the list of a round's schedules.
#include <cstdio>

#include "foundation/fatal_stop.h"
#include "foundation/tagged_new.h"
#include "scheduler/alternative.h"
#include "scheduler/schedule.h"

long Schedule_Element_Creation_Counter = 0;

void reset_schedule_element_creation_counter() { Schedule_Element_Creation_Counter = 0; }

// ---------------------------------------------------------------- the alternative's methods

bool Schedule::alternative_holds(const BasicTask* task) {
  if (alt_schedule_is_for == nullptr) return false;
  if (alternative_is_indexed) return alternative_methods.count(task) != 0;
  return alt_schedule_is_for->method_list.in_list(const_cast<BasicTask*>(task)) != 0;
}

void Schedule::index_alternative_methods() {
  alternative_methods.clear();
  if (alt_schedule_is_for != nullptr) {
    TaskList& methods = alt_schedule_is_for->method_list;
    for (long i = 0; i < methods.length(); i++) alternative_methods.insert(methods.get(i));
  }
  alternative_is_indexed = true;
}

void Schedule::forget_alternative_index() {
  alternative_methods.clear();
  alternative_is_indexed = false;
}

// ---------------------------------------------------------------- ScheduleElement

ScheduleElement* ScheduleElement::duplicate_element_but_not_supporting_data_structures() {
  ScheduleElement* copy = new ("ScheduleElement::duplicate_element_but_not_supporting_data_structures") ScheduleElement;
  copy->method_id = method_id;
  copy->required_quality = required_quality;
  copy->required_duration = required_duration;
  copy->finish_time_distribution.duplicate(finish_time_distribution);
  copy->start_time_distribution.duplicate(start_time_distribution);
  copy->total_schedule_cost_to_end_of_this_method.duplicate(total_schedule_cost_to_end_of_this_method);
  copy->methods_finish_time_changed_due_to_overlap = methods_finish_time_changed_due_to_overlap;
  copy->element_is_slack_element = element_is_slack_element;
  copy->cost.duplicate(cost);
  copy->quality.duplicate(quality);
  copy->duration.duplicate(duration);
  copy->quality_envelope = quality_envelope;
  copy->aggregate_cost_envelope = aggregate_cost_envelope;
  copy->finish_time_envelope = finish_time_envelope;
  copy->q_at_tg_after_this_method_executes.duplicate(q_at_tg_after_this_method_executes);
  copy->unused_cpu_time = unused_cpu_time;
  return copy;
}

void ScheduleElement::duplicate(ScheduleElement&) { fatal_stop("Error, schedule element duplicate is not done.\n"); }

void ScheduleElementList::duplicate(ScheduleElementList& other) {
  if (&other == this) return;
  delete_list(1);
  for (long i = 0; i < other.length(); i++)
    append(other.get(i)->duplicate_element_but_not_supporting_data_structures());
}

// ---------------------------------------------------------------- Schedule

void Schedule::schedule_is_complete_do_final_bookkeeping() {
  if (timeline_schedule.length() == 0) {
    cost.replace_with(1.0f, 0.0f);
    finish_time.replace_with(1.0f, 0.0f);
    quality.replace_with(1.0f, 0.0f);
  }
  if (quality.length() == 0 || finish_time.length() == 0 || cost.length() == 0) {
    fprintf(stderr, "%s%s%s%s%s%s", "Warning, schedule_is_complete_do_final_bookkeeping",
            " was called for a schedule that is missing at least one", " of its q,c, or d distributions.  ",
            "This is probably because ", "calc_sched_overall_quality_from_working_qualities_of_dps",
            " needs to be called first and hasn't been.\n");
  }
  prob_expected_q_or_better = quality.get_probability_value_is_gt_or_equal_to_x(quality.get_specified_value(schedule_with.q));
  prob_expected_c_or_better = cost.get_probability_value_is_lt_or_equal_to_x(cost.get_specified_value(schedule_with.c));
  prob_expected_d_or_better =
      finish_time.get_probability_value_is_lt_or_equal_to_x(finish_time.get_specified_value(schedule_with.d));
}

void Schedule::all_undetermined_are_now_violated() {
  for (long i = 0; i < undetermined_local_commitments.length(); i++) {
    Commitment* c = undetermined_local_commitments.get(i);
    if (c->existing_or_proposed == COMMITMENT_IS_PROPOSED) num_proposed_local_commitments_violated++;
    if (c->existing_or_proposed == COMMITMENT_IS_EXISTING) num_existing_local_commitments_violated++;
    violated_local_commitments.append(c);
  }
  undetermined_local_commitments.empty_list();
  num_violated_local_commitments = static_cast<int>(violated_local_commitments.length());
}

int Schedule::this_is_the_same(Schedule* other) {
  // Position by position: joined ids would make [a, bc] equal to [ab, c].
  ScheduleElementList& mine = timeline_schedule;
  ScheduleElementList& theirs = other->timeline_schedule;
  if (mine.length() != theirs.length()) return 0;
  for (long i = 0; i < mine.length(); i++)
    if (mine.get(i)->method_id != theirs.get(i)->method_id) return 0;
  return 1;
}

Schedule* Schedule::duplicate_schedule_but_not_supporting_data_structures() {
  Schedule* copy = new ("Schedule::duplicate_schedule_but_not_supporting_data_structures") Schedule;
  copy->start_time_to_schedule_for = start_time_to_schedule_for;
  copy->num_satisfied_local_commitments = num_satisfied_local_commitments;
  copy->num_violated_local_commitments = num_violated_local_commitments;
  copy->num_existing_local_commitments_satisfied = num_existing_local_commitments_satisfied;
  copy->num_proposed_local_commitments_satisfied = num_proposed_local_commitments_satisfied;
  copy->num_existing_local_commitments_violated = num_existing_local_commitments_violated;
  copy->num_proposed_local_commitments_violated = num_proposed_local_commitments_violated;
  copy->overall_deadline = overall_deadline;
  copy->overall_max_cost = overall_max_cost;
  copy->rating = rating;
  copy->id = id;
  copy->schedule_with = schedule_with;
  copy->quality.duplicate(quality);
  copy->cost.duplicate(cost);
  copy->finish_time.duplicate(finish_time);
  copy->prob_expected_q_or_better = prob_expected_q_or_better;
  copy->prob_expected_c_or_better = prob_expected_c_or_better;
  copy->prob_expected_d_or_better = prob_expected_d_or_better;
  copy->annotations = annotations;
  copy->annotations_from_last_method_rating_run = annotations_from_last_method_rating_run;
  copy->created_through_simple_copy_has_no_supporting_structures = 1;
  copy->quality_includes_commitment_value = quality_includes_commitment_value;
  copy->timeline_schedule.duplicate(timeline_schedule);
  return copy;
}

void Schedule::duplicate(Schedule&) { fatal_stop("Error, schedule duplicate is not complete.\n"); }

// ---------------------------------------------------------------- ScheduleList

long ScheduleList::number_with_non_zero_q() {
  long n = 0;
  for (long i = 0; i < length(); i++)
    if (get(i)->quality.some_values_are_gt_zero()) n++;
  return n;
}

long ScheduleList::append_if_not_already_in_list(Schedule* s) {
  for (long i = 0; i < length(); i++)
    if (get(i)->this_is_the_same(s)) return -1;
  append(s);
  return length() - 1;
}

void ScheduleList::duplicate(ScheduleList& other) {
  if (&other == this) return;
  delete_list(1);
  if (other.length() == 0) return;
  Schedule copy;
  copy.duplicate(*other.get(0L));
}

// The readable listing of schedules and their elements ("for people"), and three checks
// of a schedule's methods used while debugging a builder.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "foundation/fatal_stop.h"
#include "model/task.h"
#include "scheduler/decision_point.h"
#include "scheduler/library_mode.h"
#include "scheduler/schedule.h"

namespace {

// Toward zero, as a cast would, with the ends of the int range for values beyond it and
// 0 for NaN, where a cast is undefined.
int truncated_toward_zero(float x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0f) return 2147483647;
  if (x <= -2147483648.0f) return -2147483647 - 1;
  return static_cast<int>(x);
}

void print_value_block(FILE* fp, const char* title, Distribution& d, const char* probability_label, float probability,
                       ValueSpecifier specifier) {
  fprintf(fp, "%s", title);
  d.print(fp);
  fprintf(fp, "Expected value:  %.2f\n", d.get_expected_value());
  fprintf(fp, "%s:  %.2f\n", probability_label, probability);
  fprintf(fp, "Schedule value:  %.2f\n", d.get_specified_value(specifier));
}

void flush_both_streams() {
  fflush(stdout);
  fflush(stderr);
}

}  // namespace

// ---------------------------------------------------------------- ScheduleElement

void ScheduleElement::print(FILE* fp, ScheduleSettingBundle* s) {
  fprintf(fp, "Schedule Element of Method %s:\n", method_id.c_str());
  fprintf(fp, "\tRequired quality %.2f, required duration %d\n", required_quality,
          truncated_toward_zero(required_duration));
  fprintf(fp, "\tExpected q. %.2f, cost %.2f, t start %.2f t finish %.2f\n", quality.get_expected_value(),
          cost.get_expected_value(), start_time_distribution.get_expected_value(),
          finish_time_distribution.get_expected_value());
  // Before the listings: a specifier other than the mean sorts and merges the pairs.
  if (s != nullptr)
    fprintf(fp, "\tSchedule value q. %.2f, cost %.2f, t start %.2f t finish %.2f\n", quality.get_specified_value(s->q),
            cost.get_specified_value(s->c), start_time_distribution.get_specified_value(s->d),
            finish_time_distribution.get_specified_value(s->d));
  fprintf(fp, "\tStart time distribution: ");
  start_time_distribution.print(fp);
  fprintf(fp, "\tFinish time distribution: ");
  finish_time_distribution.print(fp);
  fprintf(fp, "\tQuality distribution: ");
  quality.print(fp);
  fprintf(fp, "\tDuration distribution: ");
  duration.print(fp);
  fprintf(fp, "\tUnused cpu time: %.2f\n", unused_cpu_time);
  fprintf(fp, "\tCost distribution: ");
  cost.print(fp);
  fprintf(fp, "\tTotal schedule cost to end of this method: ");
  total_schedule_cost_to_end_of_this_method.print(fp);
  fprintf(fp, "\tExpected task group quality after this executes: ");
  q_at_tg_after_this_method_executes.print(fp);
  fprintf(fp, "\tEnvelopes: (min max) q %.2f %.2f, total c %.2f %.2f, finish t %.2f %.2f\n", quality_envelope.min,
          quality_envelope.max, aggregate_cost_envelope.min, aggregate_cost_envelope.max, finish_time_envelope.min,
          finish_time_envelope.max);
}

void ScheduleElementList::print(FILE* fp, ScheduleSettingBundle* s) {
  for (long i = 0; i < length(); i++) get(i)->print(fp, s);
}

// ---------------------------------------------------------------- Schedule

void Schedule::print(FILE* fp, long sched_number) {
  if (sched_number == -1)
    fprintf(fp, "Schedule %s, Rating %.2f\n", id.c_str(), rating);
  else
    fprintf(fp, "Schedule %s, Number %d, Rating %.2f\n", id.c_str(), static_cast<int>(sched_number), rating);

  std::string timeline = "\t|";
  for (long i = 0; i < timeline_schedule.length(); i++) {
    ScheduleElement* e = timeline_schedule.get(i);
    bool non_local = !vela_library_mode && e->method_to_execute != nullptr && e->method_to_execute->method_is_local != 1;
    timeline += non_local ? " **(non-local) " : " ";
    timeline += e->method_id;
    timeline += " |";
  }
  std::string dashes = "\t" + std::string(timeline.size() - 1, '-');
  // The box may go to the error stream between other messages: keep their order.
  flush_both_streams();
  fprintf(fp, "%s\n%s\n%s\n", dashes.c_str(), timeline.c_str(), dashes.c_str());
  flush_both_streams();
  flush_both_streams();

  print_value_block(fp, "Quality distribution (sum of TGs):\n", quality, "Probability q or greater",
                    prob_expected_q_or_better, schedule_with.q);
  print_value_block(fp, "Cost distribution (sum of methods costs):\n", cost, "Probability c or lower",
                    prob_expected_c_or_better, schedule_with.c);
  print_value_block(fp, "Finish time distribution (finish time of last method):\n", finish_time,
                    "Probability d or lower", prob_expected_d_or_better, schedule_with.d);

  fprintf(fp, "Timeline Schedule :\n");
  timeline_schedule.print(fp, &schedule_with);
  fprintf(fp, "Satisfied %ld commitments:\n", static_cast<long>(num_satisfied_local_commitments));
  satisfied_local_commitments.print(fp);
  fprintf(fp, "Violated %ld commitments:\n", static_cast<long>(num_violated_local_commitments));
  violated_local_commitments.print(fp);
  if (!vela_library_mode) {
    fprintf(fp, "Of existing commitments %ld satisfied, %ld violated.\n",
            static_cast<long>(num_existing_local_commitments_satisfied),
            static_cast<long>(num_existing_local_commitments_violated));
    fprintf(fp, "Of proposed commitments %ld satisfied, %ld violated.\n",
            static_cast<long>(num_proposed_local_commitments_satisfied),
            static_cast<long>(num_proposed_local_commitments_violated));
  }
  fprintf(fp, "Annotations:\n%s", annotations.c_str());
  fprintf(fp, "Annotations from last method rating run:\n%s", annotations_from_last_method_rating_run.c_str());
  fprintf(fp, "\n\n");
}

void Schedule::print_method_list(FILE* fp) {
  if (timeline_schedule.length() == 0) {
    fprintf(fp, "| Empty Schedule |\n");
    return;
  }
  for (long i = 0; i < timeline_schedule.length(); i++) fprintf(fp, "| %s ", timeline_schedule.get(i)->method_id.c_str());
  fprintf(fp, "|\n");
}

void Schedule::print_addresses_of_methods_in_schedule(FILE* fp) {
  for (long i = 0; i < timeline_schedule.length(); i++) {
    ScheduleElement* e = timeline_schedule.get(i);
    fprintf(fp, "Schedule method #%ld, named %s, has an address of %ld.\n", i, e->method_id.c_str(),
            static_cast<long>(reinterpret_cast<intptr_t>(e->method_to_execute)));
  }
}

void Schedule::verify_addresses_of_methods_in_schedule(BasicTask* task_root, DecisionPoint* dp_root) {
  TaskList tasks;
  task_root->list_all_descendants(tasks);
  DecisionPointList nodes;
  dp_root->list_all_descendants(nodes);
  fprintf(stderr, "Verifying the following schedule: ");
  print_method_list(stderr);
  for (long i = 0; i < timeline_schedule.length(); i++) {
    ScheduleElement* e = timeline_schedule.get(i);
    const char* id = e->method_id.c_str();
    if (e->method_to_execute == nullptr) {
      if (e->element_is_for_slack_time()) {
        fprintf(stderr, "Method %s is a slack element and thus isn't considered.\n", id);
        continue;
      }
      fprintf(stderr, "Error, during schedule verify encountered a null method not associated with a slack element.\n");
      abort_on_broken_promise();
    }
    if (!tasks.in_list(e->method_to_execute)) {
      fprintf(stderr, "Error, method %s is not in the task structure passed to schedule verification.\n", id);
      abort_on_broken_promise();
    }
    if (!nodes.in_list(e->dp_of_method)) {
      fprintf(stderr, "Error, dp %s is not in the dp structure passed to schedule verification.\n", id);
      abort_on_broken_promise();
    }
    fprintf(stderr, "Method %s checks out with tasks and dps in the structures.\n", id);
  }
  tasks.empty_list();
  nodes.empty_list();
}

// ---------------------------------------------------------------- ScheduleList

void ScheduleList::print(FILE* fp) {
  for (long i = 0; i < length(); i++) get(i)->print(fp, -1);
}

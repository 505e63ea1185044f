// Every ordering instead of one greedy choice: of every subset of the methods under the
// root (the pure mode), or of one alternative's methods (the exhaustive modes that go
// through alternatives). Executed methods are final and take no place in an ordering.
#include <algorithm>
#include <cstdio>
#include <numeric>
#include <unordered_set>
#include <vector>

#include "foundation/combinatorics.h"
#include "foundation/tagged_new.h"
#include "scheduler/method_rating_codes.h"
#include "scheduler/scheduler.h"

namespace {
bool executed(BasicTask* method) {
  DecisionPoint* dp = BasicTask::get_dp_of_task(method);
  return dp != nullptr && dp->working_values_are_always_locked == 1;
}
}  // namespace

void Scheduler::create_schedules_for_task_group_exhaustively(DecisionPoint* root, int&, ScheduleCriteriaBundle&) {
  TaskList all;
  // A method under several parents is one method, however many paths reach it.
  root->task_or_method->list_each_method_for_task_once(all);
  TaskList methods;
  for (long i = 0; i < all.length(); i++)
    if (!executed(all.get(i))) methods.append(all.get(i));
  all.delete_list(0);
  int n = static_cast<int>(methods.length());
  if (n > 0) {
    char* subsets = power_set(n);
    for (const char* mark = subsets; *mark != '\0'; mark += n + 1) {
      Alternative* alt = new ("Scheduler::create_schedules_for_task_group_exhaustively") Alternative;
      alt->of_dp = root;
      num_alternatives_created++;
      char name[64];
      snprintf(name, sizeof name, "root_exhaustive_%ld", root->alternatives.length());
      alt->of_task = name;
      alt->rating = -1.0f;
      for (int k = 0; k < n; k++)
        if (mark[k] == '1') alt->method_list.append(methods.get(static_cast<long>(k)));
      root->alternatives.append(alt);
    }
    delete[] subsets;
  }
  for (long i = 0; i < root->alternatives.length(); i++) {
    exhaustively_build_schedules_for_given_alternative(root, root->alternatives.get(i), 1);
    if (silent == 0) fprintf(stderr, "Building schedules, have built %ld\n", good_schedules.length());
  }
  methods.delete_list(0);
}

void Scheduler::exhaustively_build_schedules_for_given_alternative(DecisionPoint* root, Alternative* alt,
                                                                   int exhaustive) {
  std::vector<Method*> methods;
  // Each method once, in its first place: the timeline holds a method at most once.
  std::unordered_set<BasicTask*> listed;
  for (long i = 0; i < alt->method_list.length(); i++) {
    BasicTask* method = alt->method_list.get(i);
    if (!executed(method) && listed.insert(method).second) methods.push_back(static_cast<Method*>(method));
  }
  if (methods.empty()) return;
  std::vector<size_t> order(methods.size());
  std::iota(order.begin(), order.end(), 0);
  ResourceList saved;
  do {
    reset_all_dp_variables_prior_to_scheduling(root, root);
    Schedule* schedule = begin_schedule_for_alternative(alt);
    if (silent == 0) {
      fprintf(stderr, "Building schedule #%ld\n", good_schedules.length());
      fflush(stderr);
    }
    for (size_t position : order) {
      Method* method = methods[position];
      DecisionPoint* dp = BasicTask::get_dp_of_task(method);
      // Only the waits apply here; every other test would reject an ordering.
      saved.duplicate_list_into_this_and_copy_items(working_resources, 1);
      float rating = enforce_enables(*schedule, method, dp, scale_local_method_rating(1.0f, 5.0f));
      if (rating == FAILED_ENFORCE_ENABLES_DUE_TO_DELAY) {
        schedule->add_slack_time_element(dp->earliest_method_may_be_scheduled);
        end_of_the_current_working_schedule = schedule->get_next_expected_start_time();
      }
      working_resources.duplicate_list_into_this_and_copy_items(saved, 1);
      rating = enforce_earliest_start_time(*schedule, method, dp, rating);
      if (rating == FAILED_ENFORCE_EARLIEST_START_TIME) {
        schedule->add_slack_time_element(dp->earliest_method_may_be_scheduled);
        end_of_the_current_working_schedule = schedule->get_next_expected_start_time();
      }
      working_resources.duplicate_list_into_this_and_copy_items(saved, 1);
      add_method_to_schedule(*schedule, method);
    }
    finish_schedule_quality(*schedule);
    file_finished_schedule(schedule, alt, root, exhaustive == 0, 0, 1);
  } while (std::next_permutation(order.begin(), order.end()));
  saved.delete_list(1);
}

// Repairs proposed after a build: new root alternatives that add the work which would
// enable (or facilitate) the built alternative's methods.
#include <cstdio>
#include <vector>

#include "foundation/tagged_new.h"
#include "model/nle.h"
#include "scheduler/scheduler.h"

namespace {

struct RepairKind {
  NLETypes first_type;
  NLETypes second_type;
  const char* cross_product_tag;
  const char* name_suffix;
  bool prune;
};

const RepairKind ENABLING = {NLE_ENABLES, NLE_ENABLES, "fix_unenabled", "_fix_unenabled_%ld", true};
const RepairKind FACILITATING = {NLE_U_FACILITATES, NLE_B_FACILITATES, "fix_unfacilitated", "_fix_facilitator_%ld",
                                 false};

// The nodes behind the effects of that kind on the alternative's methods that have no
// quality yet, are not among its methods and have alternatives of their own.
void collect_sources(Alternative* alt, const RepairKind& kind, DecisionPointList& sources) {
  for (long i = 0; i < alt->method_list.length(); i++) {
    DecisionPoint* method_dp = BasicTask::get_dp_of_task(alt->method_list.get(i));
    if (method_dp == nullptr) continue;
    NLEList& incoming = *method_dp->affected_by_actually;
    for (long k = 0; k < incoming.length(); k++) {
      NLE* nle = incoming.get(k);
      if (nle->type != kind.first_type && nle->type != kind.second_type) continue;
      DecisionPoint* source = BasicTask::get_dp_of_task(nle->from);
      if (source == nullptr) continue;
      if (source->working_quality.some_values_are_gt_zero()) continue;
      if (sources.in_list(source)) continue;
      if (alt->method_list.in_list(source->task_or_method)) continue;
      if (source->alternatives.length() == 0) continue;
      sources.append(source);
    }
  }
}

}  // namespace

void Scheduler::suggest_improvments_via_new_alternatives(Schedule*, Alternative* alt, DecisionPoint* dp) {
  enable_unenabled_methods(alt, dp);
  facilitate_unfacilitated_methods(alt, dp);
}

void Scheduler::enable_unenabled_methods(Alternative* alt, DecisionPoint* dp) { add_repair_alternatives(alt, dp, 1); }

void Scheduler::facilitate_unfacilitated_methods(Alternative* alt, DecisionPoint* dp) {
  add_repair_alternatives(alt, dp, 0);
}

void Scheduler::add_repair_alternatives(Alternative* alt, DecisionPoint* dp, int enabling) {
  const RepairKind& kind = enabling ? ENABLING : FACILITATING;
  DecisionPointList sources;
  collect_sources(alt, kind, sources);
  AlternativeList candidates;
  if (sources.length() > 0) {
    std::vector<DecisionPoint*> members;
    for (long i = 0; i < sources.length(); i++) members.push_back(sources.get(i));
    create_cross_product_alternatives_from_a_set_of_dps(dp, candidates, members.data(),
                                                        static_cast<long>(members.size()), kind.cross_product_tag, 1,
                                                        100);
  }
  if (kind.prune && turn_off_alternative_pruning == 0 &&
      candidates.length() > max_number_of_alternatives_at_each_task_group)
    candidates.rate_alternatives_and_prune_to_n_best(criteria_bundle, schedule_with,
                                                     max_number_of_alternatives_at_each_task_group, 1);

  for (long i = 0; i < candidates.length(); i++) {
    Alternative* candidate = candidates.get(i);
    Alternative* repair = new ("Scheduler::add_repair_alternatives") Alternative;
    num_alternatives_created++;
    repair->duplicate(*alt);
    for (long m = 0; m < candidate->method_list.length(); m++) {
      BasicTask* method = candidate->method_list.get(m);
      if (!repair->method_list.in_list(method)) repair->method_list.append(method);
    }
    candidate->method_list.delete_list(0);
    if (dp->alternatives.alt_exists(repair)) {
      delete repair;
      continue;
    }
    repair->cost.combine_costs(candidate->cost);
    repair->potential_cost.combine_costs(candidate->potential_cost);
    repair->duration.combine_durations(candidate->duration);
    repair->potential_duration.combine_durations(candidate->potential_duration);
    repair->of_dp = dp;
    char suffix[64];
    snprintf(suffix, sizeof suffix, kind.name_suffix, i);
    repair->of_task = dp->of_task + suffix;
    repair->already_been_scheduled = 0;
    repair->rating = -1.0f;
    dp->alternatives.add(repair);
  }
  // Their methods have moved into the repairs, and nothing else refers to them.
  candidates.delete_list(1);
  sources.delete_list(0);
}

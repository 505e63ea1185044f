#include "model/nle.h"

#include <cstdio>

#include "foundation/fatal_stop.h"
#include "foundation/tagged_new.h"
#include "model/outcome.h"
#include "model/task.h"
#include "scheduler/decision_point.h"

long NLE_Creation_Counter = 0;

void reset_nle_creation_counter() { NLE_Creation_Counter = 0; }

// ---------------------------------------------------------------------------------------
// Pair rules

namespace {

// No quality, cost or duration below 0: a power above 1, a negative power or a power
// scaled by many units would otherwise make one.
inline Value clamp_at_zero(Value v) { return v < 0.0f ? 0.0f : v; }

template <class Rule>
void apply_pair_rule(Distribution& w, Distribution& x, Distribution& y, Rule rule) {
  y.delete_all();
  if (w.length() == 0) {
    y.duplicate(x);
    return;
  }
  y.reallocate_data(w.length() * x.length());
  for (long i = 0; i < w.length(); i++) {
    DistributionPair power = w.data[i];
    for (long j = 0; j < x.length(); j++) {
      DistributionPair target = x.data[j];
      y.append(power.density * target.density, clamp_at_zero(rule(power.value, target.value)));
    }
  }
  y.sort_and_combine();
  y.compact_to_std_num_values();
}

}  // namespace

void apply_positive_rule(Distribution& w, Distribution& x, Distribution& y) {
  apply_pair_rule(w, x, y, [](Value p, Value v) {
    Value factor = 1.0f + p;
    return factor * v;
  });
}

void apply_negative_rule(Distribution& w, Distribution& x, Distribution& y) {
  apply_pair_rule(w, x, y, [](Value p, Value v) {
    Value factor = 1.0f - p;
    return factor * v;
  });
}

void apply_bounded_positive_rule(Distribution& w, Distribution& x, Distribution& y, Value bound) {
  apply_pair_rule(w, x, y, [bound](Value p, Value v) {
    if (v > bound) return bound;
    Value gap = bound - v;
    Value step = gap * p;
    return v + step;
  });
}

void apply_bounded_negative_rule(Distribution& w, Distribution& x, Distribution& y, Value bound) {
  apply_pair_rule(w, x, y, [bound](Value p, Value v) {
    if (v < bound) return bound;
    Value gap = v - bound;
    Value step = gap * p;
    return v - step;
  });
}

void apply_product_rule(Distribution& w, Distribution& x, Distribution& y) {
  apply_pair_rule(w, x, y, [](Value p, Value v) { return p * v; });
}

// ---------------------------------------------------------------------------------------
// NLE

NLE::NLE()
    : quality_power(&quality_power_uncertainty),
      duration_power(&duration_power_uncertainty),
      cost_power(&cost_power_uncertainty) {}

NLE::~NLE() {
  // The target keeps no pointer to a freed effect. A target that goes first clears `to`.
  if (to == nullptr) return;
  to->affected_by_conceptually->remove_every(this);
  to->affected_by_actually->remove_every(this);
}

void NLE::create_and_set_unique_nle_identifier(const char* word) {
  char number[32];
  snprintf(number, sizeof number, "%ld", NLE_Creation_Counter);
  nle_id = std::string(word) + "_" + number;
}

const char* NLE::type_to_string() const {
  switch (type) {
    case NLE_U_FACILITATES:
      return "facilitates";
    case NLE_B_FACILITATES:
      return "bounded_facilitates";
    case NLE_U_HINDERS:
      return "hinders";
    case NLE_ENABLES:
      return "enables";
    case NLE_DISABLES:
      return "disables";
    default:
      return "undefined nle";
  }
}

void NLE::point_powers_at_mode_set() {
  if (current_mode == SCHEDULE_USING_UNCERTAINTY) {
    quality_power = &quality_power_uncertainty;
    duration_power = &duration_power_uncertainty;
    cost_power = &cost_power_uncertainty;
  } else {
    quality_power = &quality_power_expected_value;
    duration_power = &duration_power_expected_value;
    cost_power = &cost_power_expected_value;
  }
}

namespace {
// An empty power stays empty (no effect) rather than becoming the statistic of nothing.
void rebuild_expected_value_copy(Distribution& uncertainty, Distribution& expected) {
  if (uncertainty.length() == 0) {
    expected.delete_all();
    return;
  }
  expected.replace_with(1.0f, uncertainty.get_expected_value());
}
}  // namespace

void NLE::switch_to_mode(UncertaintyModeSetting mode) {
  current_mode = mode;
  if (mode != SCHEDULE_USING_UNCERTAINTY) {
    rebuild_expected_value_copy(quality_power_uncertainty, quality_power_expected_value);
    rebuild_expected_value_copy(duration_power_uncertainty, duration_power_expected_value);
    rebuild_expected_value_copy(cost_power_uncertainty, cost_power_expected_value);
  }
  point_powers_at_mode_set();
}

void NLE::copy_all_standard_nle_items(NLE* copy) {
  char number[32];
  snprintf(number, sizeof number, "_%ld", NLE_Creation_Counter);
  copy->nle_id = nle_id + number;
  copy->from = from;
  copy->to = to;
  copy->type = type;
  copy->owner_agent = owner_agent;
  copy->outcome_from_if_applicable = outcome_from_if_applicable;
  copy->outcome_id_from_if_applicable = outcome_id_from_if_applicable;
  copy->current_mode = current_mode;
  copy->point_powers_at_mode_set();
  copy->quality_power_uncertainty.duplicate(quality_power_uncertainty);
  copy->duration_power_uncertainty.duplicate(duration_power_uncertainty);
  copy->cost_power_uncertainty.duplicate(cost_power_uncertainty);
  copy->quality_power_expected_value.duplicate(quality_power_expected_value);
  copy->duration_power_expected_value.duplicate(duration_power_expected_value);
  copy->cost_power_expected_value.duplicate(cost_power_expected_value);
  copy->propagation_delay.duplicate(propagation_delay);
}

int NLE::nle_delay_is_ok(float start_time) {
  DecisionPoint* dp = BasicTask::get_dp_of_task(from);
  if (dp == nullptr) return 0;
  MyTime gets_quality = dp->time_task_or_method_gets_quality;
  if (gets_quality == UNSET_TIME) return 0;
  return gets_quality + propagation_delay_value(-2.0f) <= start_time ? 1 : 0;
}

Value NLE::propagation_delay_value(ValueSpecifier s) {
  return propagation_delay.length() > 0 ? propagation_delay.get_specified_value(s) : 0.0f;
}

Distribution* NLE::source_working_quality() {
  DecisionPoint* dp = BasicTask::get_dp_of_task(from);
  if (dp == nullptr || dp->working_quality.length() == 0) return nullptr;
  return &dp->working_quality;
}

void NLE::enforce_proper_usage_of_outcomes() {
  if (from == nullptr) return;
  if (from->task_type != VORNA_METHOD) {
    if (outcome_from_if_applicable == nullptr) return;
    fprintf(stderr, "Error, a nle from a non-method task is ");
    fprintf(stderr, "attached to an outcome.  All nles from \n");
    fprintf(stderr, "tasks cannot be associated with outcomes.\n");
    fprintf(stderr, "The NLE follows:\n");
    print(stderr);
    fprintf(stderr, "Processing continues -- ");
    fprintf(stderr, "ignoring the outcome attachment.\n");
    outcome_from_if_applicable = nullptr;
    outcome_id_from_if_applicable = EMPTY_ID;
    return;
  }
  if (outcome_from_if_applicable != nullptr) return;
  fprintf(stderr, "Error, a nle from a method is ");
  fprintf(stderr, "not attached to an outcome.\n");
  fprintf(stderr, "All nles from methods must be");
  fprintf(stderr, " associated with an outcome.\n");
  fprintf(stderr, "The NLE follows:\n");
  print(stderr);
  fprintf(stderr, "Processing continues -- using the 1st");
  fprintf(stderr, " outcome as the NLE originator.\n");
  Method* method = static_cast<Method*>(from);
  if (method->outcomes.length() == 0) {
    fprintf(stderr, "Error, no outcomes for the task.\n");
    fprintf(stderr, "Cannot continue.\n");
    fatal_stop();
  }
  outcome_from_if_applicable = method->outcomes.get(0L);
  outcome_id_from_if_applicable = outcome_from_if_applicable->outcome_id;
}

void NLE::weight_effect_according_to_outcome_liklihood(float p) {
  if (p == 1.0f) return;
  Distribution* powers[] = {quality_power, duration_power, cost_power};
  for (Distribution* power : powers) {
    // An empty power has no effect to weight.
    if (power->length() == 0) continue;
    power->reduce_total_density_to_x_percent(p);
    power->append(1.0f - p, 0.0f);
  }
}

void NLE::consider_uncertainty_of_quality_in_from_task_in_nle_effect(DistributionBundle& powers, Distribution& q) {
  struct Route {
    Distribution* power;
    Distribution* out;
  };
  Route routes[] = {{quality_power, &powers.quality}, {cost_power, &powers.cost}, {duration_power, &powers.duration}};
  for (long i = 0; i < q.length(); i++) {
    DistributionPair source = q.data[i];
    for (Route& route : routes) {
      for (long j = 0; j < route.power->length(); j++) {
        DistributionPair power = route.power->data[j];
        route.out->append(power.density * source.density, source.value == 0.0f ? 0.0f : power.value);
      }
    }
  }
}

void NLE::consider_degree_of_effects_by_examining_quality_of_from_task_in_nle(DistributionBundle& powers,
                                                                             Distribution& q) {
  powers.quality.sort_and_combine();
  powers.cost.sort_and_combine();
  powers.duration.sort_and_combine();
  Value qmax = q.get_value_max();
  if (qmax == 0.0f) return;
  ScratchBundle result;
  ScratchBundle scaled;
  for (long i = 0; i < q.length(); i++) {
    DistributionPair source = q.data[i];
    scaled.duplicate(powers);
    Value degree = source.value / qmax;
    Distribution* parts[][2] = {{&scaled.cost, &result.cost},
                                {&scaled.quality, &result.quality},
                                {&scaled.duration, &result.duration}};
    for (auto& part : parts) {
      if (part[0]->length() == 0) continue;
      part[0]->reduce_total_density_to_x_percent(source.density);
      part[0]->multiply_all_values_by(degree);
      part[1]->merge_with_this(*part[0]);
    }
  }
  powers.duplicate(result);
}

void NLE::print_head_line(FILE* stream) {
  auto node_text = [](BasicTask* node) {
    if (node == nullptr) return std::string("not specified");
    return std::string(node->type_to_string()) + "::" + node->id;
  };
  std::string outcome_text = "not specified";
  if (outcome_from_if_applicable != nullptr) {
    char text[64];
    snprintf(text, sizeof text, "density_%.2f", outcome_from_if_applicable->probability);
    outcome_text = text;
  }
  fprintf(stream, "NLE %s (agent %s) (address %ld) of type %s from %s:outcome %s (aka %s) to %s\n", nle_id.c_str(),
          owner_agent.c_str(), reinterpret_cast<long>(this), type_to_string(), node_text(from).c_str(),
          outcome_text.c_str(), outcome_id_from_if_applicable.c_str(), node_text(to).c_str());
}

void NLE::print(FILE* stream) { print_head_line(stream); }

// ---------------------------------------------------------------------------------------
// The facilitates family

namespace {

// The working path's powers, steps 1 and 2 (with_degree) or step 1 only. False when the
// effect does not act: not in time, or the source has no quality to condition on.
bool build_working_powers(NLE& e, DistributionBundle& powers, float start_time, bool with_degree) {
  if (!e.nle_delay_is_ok(start_time)) return false;
  Distribution* source_quality = e.source_working_quality();
  if (source_quality == nullptr) return false;
  ScratchDistribution q;
  q.duplicate(*source_quality);
  e.consider_uncertainty_of_quality_in_from_task_in_nle_effect(powers, q);
  if (with_degree) e.consider_degree_of_effects_by_examining_quality_of_from_task_in_nle(powers, q);
  return true;
}

void copy_raw_powers(NLE& e, DistributionBundle& powers) {
  powers.quality.duplicate(*e.quality_power);
  powers.cost.duplicate(*e.cost_power);
  powers.duration.duplicate(*e.duration_power);
}

// The facilitates kinds compact each result once more.
void replace_and_compact(DistributionBundle& target, DistributionBundle& result) {
  result.quality.compact_to_std_num_values();
  result.cost.compact_to_std_num_values();
  result.duration.compact_to_std_num_values();
  target.duplicate(result);
}

}  // namespace

Facilitates::Facilitates() { create_and_set_unique_nle_identifier("facilitates"); }

void Facilitates::print(FILE* stream) {
  print_head_line(stream);
  fprintf(stream, "Delay:");
  propagation_delay.print(stream);
  fprintf(stream, "Quality power:");
  quality_power_uncertainty.print(stream);
  fprintf(stream, "Duration power:");
  duration_power_uncertainty.print(stream);
  fprintf(stream, "Cost power:");
  cost_power_uncertainty.print(stream);
  fprintf(stream, "Quality power expected value:");
  quality_power_expected_value.print(stream);
  fprintf(stream, "Duration power expected value:");
  duration_power_expected_value.print(stream);
  fprintf(stream, "Cost power expected value:");
  cost_power_expected_value.print(stream);
}

BoundedFacilitates::BoundedFacilitates() {
  type = NLE_B_FACILITATES;
  create_and_set_unique_nle_identifier("bounded_facilitates");
}

void BoundedFacilitates::print(FILE* stream) {
  Facilitates::print(stream);
  fprintf(stream, "Quality multiplier %.2f, cost divisor %.2f, duration divisor %.2f\n",
          quality_multiplier_that_determines_bounds, cost_divisor_that_determines_bounds,
          duration_divisor_that_determines_bounds);
  fprintf(stream, "Max quality %.2f, min cost %.2f, min duration %.2f\n", quality_upper_bounds, cost_lower_bounds,
          duration_lower_bounds);
}

NLE* BoundedFacilitates::duplicate() {
  BoundedFacilitates* copy = new ("BoundedFacilitates::duplicate") BoundedFacilitates();
  copy_all_standard_nle_items(copy);
  copy->have_received_initial_distributions = have_received_initial_distributions;
  copy->quality_multiplier_that_determines_bounds = quality_multiplier_that_determines_bounds;
  copy->cost_divisor_that_determines_bounds = cost_divisor_that_determines_bounds;
  copy->duration_divisor_that_determines_bounds = duration_divisor_that_determines_bounds;
  copy->quality_upper_bounds = quality_upper_bounds;
  copy->cost_lower_bounds = cost_lower_bounds;
  copy->duration_lower_bounds = duration_lower_bounds;
  return copy;
}

int BoundedFacilitates::determine_bounds_if_needed() {
  if (have_received_initial_distributions) return 1;
  // A target outside the scheduled tree has nothing to take bounds from (yet).
  DecisionPoint* dp = BasicTask::get_dp_of_task(to);
  if (dp == nullptr || dp->combined_outcomes == nullptr) return 0;
  Outcome* combined = dp->combined_outcomes;
  quality_upper_bounds = combined->quality.get_expected_value() * quality_multiplier_that_determines_bounds;
  cost_lower_bounds = combined->cost.get_expected_value() / cost_divisor_that_determines_bounds;
  duration_lower_bounds = combined->duration.get_expected_value() / duration_divisor_that_determines_bounds;
  have_received_initial_distributions = 1;
  return 1;
}

void BoundedFacilitates::apply_nle_to(DistributionBundle& target, int potential_only, UncertaintyModeSetting mode,
                                      float start_time) {
  switch_to_mode(mode);
  if (!determine_bounds_if_needed()) return;
  ScratchBundle powers;
  if (potential_only == 1) {
    copy_raw_powers(*this, powers);
  } else if (!build_working_powers(*this, powers, start_time, true)) {
    return;
  }
  ScratchBundle result;
  apply_bounded_positive_rule(powers.quality, target.quality, result.quality, quality_upper_bounds);
  apply_bounded_negative_rule(powers.cost, target.cost, result.cost, cost_lower_bounds);
  apply_bounded_negative_rule(powers.duration, target.duration, result.duration, duration_lower_bounds);
  replace_and_compact(target, result);
}

UnBoundedFacilitates::UnBoundedFacilitates() { type = NLE_U_FACILITATES; }

NLE* UnBoundedFacilitates::duplicate() {
  UnBoundedFacilitates* copy = new ("UnBoundedFacilitates::duplicate") UnBoundedFacilitates();
  copy_all_standard_nle_items(copy);
  return copy;
}

void UnBoundedFacilitates::apply_nle_to(DistributionBundle& target, int potential_only, UncertaintyModeSetting mode,
                                        float start_time) {
  switch_to_mode(mode);
  ScratchBundle powers;
  if (potential_only == 1) {
    copy_raw_powers(*this, powers);
  } else if (!build_working_powers(*this, powers, start_time, true)) {
    return;
  }
  ScratchBundle result;
  apply_positive_rule(powers.quality, target.quality, result.quality);
  apply_negative_rule(powers.cost, target.cost, result.cost);
  apply_negative_rule(powers.duration, target.duration, result.duration);
  replace_and_compact(target, result);
}

UnBoundedHinders::UnBoundedHinders() {
  type = NLE_U_HINDERS;
  create_and_set_unique_nle_identifier("hinders");
}

NLE* UnBoundedHinders::duplicate() {
  UnBoundedHinders* copy = new ("UnBoundedHinders::duplicate") UnBoundedHinders();
  copy_all_standard_nle_items(copy);
  return copy;
}

void UnBoundedHinders::apply_nle_to(DistributionBundle& target, int potential_only, UncertaintyModeSetting mode,
                                    float start_time) {
  switch_to_mode(mode);
  // A hinders never acts on potentials.
  if (potential_only == 1) return;
  ScratchBundle powers;
  if (!build_working_powers(*this, powers, start_time, true)) return;
  ScratchBundle result;
  apply_positive_rule(powers.cost, target.cost, result.cost);
  apply_positive_rule(powers.duration, target.duration, result.duration);
  apply_negative_rule(powers.quality, target.quality, result.quality);
  replace_and_compact(target, result);
}

// ---------------------------------------------------------------------------------------
// Enables and disables

namespace {
void set_one_pair_powers(NLE& e) {
  Distribution* all[] = {&e.quality_power_uncertainty,    &e.duration_power_uncertainty,
                         &e.cost_power_uncertainty,       &e.quality_power_expected_value,
                         &e.duration_power_expected_value, &e.cost_power_expected_value};
  for (Distribution* d : all) d->replace_with(1.0f, 1.0f);
}

void print_with_delay(NLE& e, FILE* stream) {
  fprintf(stream, "Propagation delay: ");
  e.propagation_delay.print(stream);
}

// Quality becomes the product with the power; cost and duration are copied.
void replace_quality_by_product(DistributionBundle& target, Distribution& power) {
  ScratchBundle result;
  apply_product_rule(power, target.quality, result.quality);
  result.cost.duplicate(target.cost);
  result.duration.duplicate(target.duration);
  target.duplicate(result);
}
}  // namespace

Enables::Enables() {
  type = NLE_ENABLES;
  create_and_set_unique_nle_identifier("enables");
  set_one_pair_powers(*this);
}

void Enables::print(FILE* stream) {
  print_head_line(stream);
  print_with_delay(*this, stream);
}

NLE* Enables::duplicate() {
  Enables* copy = new ("Enables::duplicate") Enables();
  copy_all_standard_nle_items(copy);
  return copy;
}

void Enables::apply_nle_to(DistributionBundle& target, int potential_only, UncertaintyModeSetting mode,
                           float start_time) {
  switch_to_mode(mode);
  if (potential_only == 1) {
    replace_quality_by_product(target, *quality_power);
    return;
  }
  ScratchBundle powers;
  if (!build_working_powers(*this, powers, start_time, false)) {
    // Not enabled (yet): certainly no quality.
    target.quality.set_to_100_percent_zero_value();
    return;
  }
  replace_quality_by_product(target, powers.quality);
}

Disables::Disables() {
  type = NLE_DISABLES;
  create_and_set_unique_nle_identifier("disables");
  set_one_pair_powers(*this);
}

void Disables::print(FILE* stream) {
  print_head_line(stream);
  print_with_delay(*this, stream);
}

NLE* Disables::duplicate() {
  Disables* copy = new ("Disables::duplicate") Disables();
  copy_all_standard_nle_items(copy);
  return copy;
}

void Disables::apply_nle_to(DistributionBundle& target, int potential_only, UncertaintyModeSetting mode,
                            float start_time) {
  switch_to_mode(mode);
  if (potential_only == 1) return;
  ScratchBundle powers;
  if (!build_working_powers(*this, powers, start_time, false)) return;
  Density disabled = powers.quality.get_probability_value_is_x(1.0f);
  Density not_disabled = powers.quality.get_probability_value_is_x(0.0f);
  powers.quality.delete_all();
  powers.quality.append(disabled, 0.0f);
  powers.quality.append(not_disabled, 1.0f);
  replace_quality_by_product(target, powers.quality);
}

// ---------------------------------------------------------------------------------------
// NLEList

void NLEList::delete_function(void* item) { delete static_cast<NLE*>(item); }

long NLEList::append(void*) {
  fprintf(stderr, "Error, attempting to use a void* list access function when sub\nprohibits untyped access.\n");
  abort_on_broken_promise();
}

void NLEList::remove_every(NLE* e) {
  while (in_list(e)) remove(e, 0);
}

NLEList* NLEList::return_all_from(const ID& task_id) {
  NLEList* found = new ("NLEList::return_all_from") NLEList();
  for (long i = 0; i < length(); i++) {
    NLE* e = get(i);
    if (e->from != nullptr && e->from->id == task_id) found->add(e);
  }
  return found;
}

NLEList* NLEList::return_all_to(const ID& task_id) {
  NLEList* found = new ("NLEList::return_all_to") NLEList();
  for (long i = 0; i < length(); i++) {
    NLE* e = get(i);
    if (e->to != nullptr && e->to->id == task_id) found->add(e);
  }
  return found;
}

NLEList* NLEList::return_all_relating_to(const ID& task_id) {
  NLEList* found = return_all_from(task_id);
  NLEList* to_list = return_all_to(task_id);
  found->append_list_not_copy_items(to_list);
  to_list->delete_list(0);
  delete to_list;
  return found;
}

long NLEList::append_list_and_copy_nles(NLEList& other) {
  for (long i = 0; i < other.length(); i++) add(other.get(i)->duplicate());
  return length();
}

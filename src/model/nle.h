// Non-local effects: a directed relation from one task-tree node to another that changes
// the target's quality, cost and duration once the source has produced quality.
//
// Every effect holds its powers twice: as given in the text (the uncertainty copies) and
// as one-pair expected-value copies rebuilt on each switch to that mode; the three power
// pointers say which set is in force. Results never go below 0 in any dimension.
#pragma once

#include <cstdio>
#include <string>

#include "foundation/shared_types.h"
#include "foundation/typed_list.h"
#include "model/distribution.h"

class BasicTask;
class Outcome;
class NLE;

enum NLETypes {
  NLE_UNDEFINED = -9,
  NLE_U_FACILITATES = 1,
  NLE_B_FACILITATES = 2,
  NLE_U_HINDERS = 3,
  NLE_ENABLES = 4,
  NLE_DISABLES = 5,
  // Reserved for the resource effects.
  NLE_USES = 6,
  NLE_LIMITS = 7,
};

// Suffix of every constructed and copied effect id; nothing advances it.
extern long NLE_Creation_Counter;
void reset_nle_creation_counter();

// The pair rules shared by the effects and the resource limits. For every pair (dw, p) of
// the power W (outer loop) and (dx, v) of the target X (inner loop) the result Y gets
// (dw * dx, v'), then is sorted, merged and compacted to the standard number of values.
// v' never goes below 0. An empty power is no effect: Y becomes a copy of X.
void apply_positive_rule(Distribution& w, Distribution& x, Distribution& y);  // (1 + p) v
void apply_negative_rule(Distribution& w, Distribution& x, Distribution& y);  // (1 - p) v
// B if v > B, else v + (B - v) p
void apply_bounded_positive_rule(Distribution& w, Distribution& x, Distribution& y, Value bound);
// B if v < B, else v - (v - B) p
void apply_bounded_negative_rule(Distribution& w, Distribution& x, Distribution& y, Value bound);
void apply_product_rule(Distribution& w, Distribution& x, Distribution& y);  // p v

class NLE {
 public:
  NLE();
  virtual ~NLE();
  virtual void print(FILE* stream);
  // A new effect of the same concrete kind with everything copied.
  virtual NLE* duplicate() = 0;
  // Changes the target bundle. potential_only == 1: raw powers, no timing; otherwise
  // the delay test and the powers conditioned by the source's working quality.
  virtual void apply_nle_to(DistributionBundle& target, int potential_only, UncertaintyModeSetting mode,
                            float start_time) = 0;

  NLE(const NLE&) = delete;
  NLE& operator=(const NLE&) = delete;

  void create_and_set_unique_nle_identifier(const char* word);
  const char* type_to_string() const;
  void switch_to_mode(UncertaintyModeSetting mode);
  void copy_all_standard_nle_items(NLE* copy);
  // 1 when the source got quality and that time plus the expected delay is not after
  // start_time; 0 otherwise, and 0 when the source has no decision point.
  int nle_delay_is_ok(float start_time);
  // The delay read with the specifier; an effect given no delay acts at once (0).
  Value propagation_delay_value(ValueSpecifier s);
  void enforce_proper_usage_of_outcomes();
  void weight_effect_according_to_outcome_liklihood(float p);

  // The powers conditioned by the source's working quality (working path, step 1);
  // q is that quality. A source quality of exactly 0 carries no effect.
  void consider_uncertainty_of_quality_in_from_task_in_nle_effect(DistributionBundle& powers, Distribution& q);
  // Step 2 (facilitates and hinders): the powers scaled by the degree of the source's quality.
  void consider_degree_of_effects_by_examining_quality_of_from_task_in_nle(DistributionBundle& powers,
                                                                          Distribution& q);
  // The source's working quality, or null when there is no decision point or it is empty:
  // then the working path has nothing to condition on.
  Distribution* source_working_quality();

  AgentID owner_agent = EMPTY_ID;
  NLEID nle_id = EMPTY_ID;
  BasicTask* from = nullptr;
  // While set, the target is alive: a node clears `to` in the effects its affected_by
  // lists hold when it goes, and an effect takes itself out of those lists when freed.
  BasicTask* to = nullptr;
  NLETypes type = NLE_UNDEFINED;
  Outcome* outcome_from_if_applicable = nullptr;
  OutcomeID outcome_id_from_if_applicable = EMPTY_ID;
  // The powers in force: always the uncertainty set or the expected-value set below.
  Distribution* quality_power;
  Distribution* duration_power;
  Distribution* cost_power;
  Distribution quality_power_uncertainty;
  Distribution duration_power_uncertainty;
  Distribution cost_power_uncertainty;
  Distribution quality_power_expected_value;
  Distribution duration_power_expected_value;
  Distribution cost_power_expected_value;
  UncertaintyModeSetting current_mode = SCHEDULE_USING_UNCERTAINTY;
  Distribution propagation_delay;

 protected:
  void point_powers_at_mode_set();
  void print_head_line(FILE* stream);
};

class Facilitates : public NLE {
 public:
  Facilitates();
  ~Facilitates() override = default;
  void print(FILE* stream) override;
};

class BoundedFacilitates : public Facilitates {
 public:
  BoundedFacilitates();
  ~BoundedFacilitates() override = default;
  void print(FILE* stream) override;
  NLE* duplicate() override;
  void apply_nle_to(DistributionBundle& target, int potential_only, UncertaintyModeSetting mode,
                    float start_time) override;
  // Fixes the bounds from the target's combined outcomes, once; 1 when bounds are known.
  int determine_bounds_if_needed();

  int have_received_initial_distributions = 0;
  float quality_multiplier_that_determines_bounds = 1.0f;
  float cost_divisor_that_determines_bounds = 1.0f;
  float duration_divisor_that_determines_bounds = 1.0f;
  // -9.0 until the first application fixes them.
  Value quality_upper_bounds = -9.0f;
  Value cost_lower_bounds = -9.0f;
  Value duration_lower_bounds = -9.0f;
};

class UnBoundedFacilitates : public Facilitates {
 public:
  UnBoundedFacilitates();
  ~UnBoundedFacilitates() override = default;
  NLE* duplicate() override;
  void apply_nle_to(DistributionBundle& target, int potential_only, UncertaintyModeSetting mode,
                    float start_time) override;
};

class UnBoundedHinders : public UnBoundedFacilitates {
 public:
  UnBoundedHinders();
  ~UnBoundedHinders() override = default;
  NLE* duplicate() override;
  void apply_nle_to(DistributionBundle& target, int potential_only, UncertaintyModeSetting mode,
                    float start_time) override;
};

class Enables : public NLE {
 public:
  Enables();
  ~Enables() override = default;
  void print(FILE* stream) override;
  NLE* duplicate() override;
  void apply_nle_to(DistributionBundle& target, int potential_only, UncertaintyModeSetting mode,
                    float start_time) override;
};

class Disables : public NLE {
 public:
  Disables();
  ~Disables() override = default;
  void print(FILE* stream) override;
  NLE* duplicate() override;
  void apply_nle_to(DistributionBundle& target, int potential_only, UncertaintyModeSetting mode,
                    float start_time) override;
};

// Effects enter only through the typed operations; add puts a new effect at the front.
class NLEList : public TypedList<NLEList, NLE> {
 public:
  static constexpr const char* access_text = "NLEList access function";
  static constexpr bool adds_at_front = true;
  static void delete_function(void* item);

  // Refused: writes the message and aborts.
  long append(void* item);
  // Takes every occurrence of e out of the list, leaving e alone.
  void remove_every(NLE* e);

  // New lists (the caller deletes them, emptied) sharing the effects whose source
  // (resp. target) node has exactly this id.
  NLEList* return_all_from(const ID& task_id);
  NLEList* return_all_to(const ID& task_id);
  // The from-list with the to-list's effects after them.
  NLEList* return_all_relating_to(const ID& task_id);
  // Adds a duplicate of every effect of other; returns the new length.
  long append_list_and_copy_nles(NLEList& other);
};

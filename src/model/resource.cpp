#include "model/resource.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <locale>
#include <sstream>

#include "foundation/fatal_stop.h"
#include "foundation/tagged_new.h"
#include "model/nle.h"
#include "model/task.h"

// ---------------------------------------------------------------------------------------
// Resource

Resource::Resource(const ID& id, ResourceUnit state, ResourceUnit depleted_at)
    : Resource(RESOURCE_UNDEFINED, id, state, depleted_at, DEFAULT_OVERLOADED_AT) {}

Resource::Resource(const ID& id, ResourceUnit state, ResourceUnit depleted_at, ResourceUnit overloaded_at)
    : Resource(RESOURCE_UNDEFINED, id, state, depleted_at, overloaded_at) {}

Resource::Resource(ResourceTypes type, const ID& id, ResourceUnit state, ResourceUnit depleted_at,
                   ResourceUnit overloaded_at)
    : state(state), id(id), depleted_at(depleted_at), overloaded_at(overloaded_at), type(type) {
  verify_initial_resource_state();
}

ConsumableResource::ConsumableResource(const ID& id, ResourceUnit state, ResourceUnit depleted_at)
    : Resource(RESOURCE_CONSUMABLE, id, state, depleted_at, DEFAULT_OVERLOADED_AT) {}

ConsumableResource::ConsumableResource(const ID& id, ResourceUnit state, ResourceUnit depleted_at,
                                       ResourceUnit overloaded_at)
    : Resource(RESOURCE_CONSUMABLE, id, state, depleted_at, overloaded_at) {}

NonConsumableResource::NonConsumableResource(const ID& id, ResourceUnit state, ResourceUnit depleted_at)
    : Resource(RESOURCE_NON_CONSUMABLE, id, state, depleted_at, DEFAULT_OVERLOADED_AT) {}

NonConsumableResource::NonConsumableResource(const ID& id, ResourceUnit state, ResourceUnit depleted_at,
                                             ResourceUnit overloaded_at)
    : Resource(RESOURCE_NON_CONSUMABLE, id, state, depleted_at, overloaded_at) {}

void Resource::set_resource_status(float s) {
  state = s;
  mark_if_over_depleted();
  mark_if_over_produced();
}

void Resource::set_resource_depleted_at(float d) {
  depleted_at = d;
  mark_if_over_depleted();
  mark_if_over_produced();
}

int Resource::resource_is_depleted_or_overproduced() const {
  if (state < depleted_at) return 1;
  if (state > overloaded_at && overloaded_at != NO_UPPER_MARK) return 1;
  return 0;
}

void Resource::verify_initial_resource_state() {
  if (depleted_at < 0.0f) error_exit("Error, depleted_at must be >= 0\n", 1);
  if (overloaded_at < depleted_at && overloaded_at != NO_UPPER_MARK)
    error_exit("Error, overloaded_at must be > depleted_at \n", 1);
  if (state < 0.0f) error_exit("Error, resources cannot be initialized with negative values.\n", 1);
  mark_if_over_depleted();
  mark_if_over_produced();
}

void Resource::process_attributes_for_resource_models(StringAssociationList& attributes) {
  for (long i = 0; i < attributes.length(); i++) {
    StringAssociation* entry = attributes.get_association_at(i);
    if (entry == nullptr || entry->return_key() != "overloaded_at") continue;
    // The value is a word, then the number: "x 20".
    std::istringstream text(entry->return_item() != nullptr ? entry->return_item() : "");
    // "20.5" means 20.5 whatever the process locale.
    text.imbue(std::locale::classic());
    std::string word;
    float number = -1.0f;
    bool nothing_to_read = !(text >> word);
    float read = 0.0f;
    if (!nothing_to_read && (text >> read)) number = read;
    fprintf(stderr, "Got overloaded_at of %f\n", number);
    overloaded_at = number;
    if (number < 0.0f || nothing_to_read)
      error_exit("\aError, negative overloaded_at or unable to parse attributes.\n", 1);
  }
}

Resource* Resource::create_new_instance_duplicate_and_return_it() const {
  Resource* copy = nullptr;
  switch (type) {
    case RESOURCE_CONSUMABLE:
      copy = new ("Resource::create_new_instance_duplicate_and_return_it") ConsumableResource();
      break;
    case RESOURCE_NON_CONSUMABLE:
      copy = new ("Resource::create_new_instance_duplicate_and_return_it") NonConsumableResource();
      break;
    default:
      error_exit("Resource attempting to duplicate an undefined resource type.\n", 1);
  }
  *copy = *this;
  return copy;
}

void Resource::print(FILE* stream) const {
  fprintf(stream, "%s (owned by %s) has a current state of %f and a depletion point of %f\n", id.c_str(),
          owner_agent.c_str(), state, depleted_at);
}

// One above the mark. From 2^24 on that sum is the mark itself in float, and the
// resource would no longer read as over-produced: there the next float above it is used.
ResourceUnit Resource::over_produced_flag() const {
  ResourceUnit flag = overloaded_at + 1.0f;
  if (flag == overloaded_at) flag = std::nextafterf(overloaded_at, std::numeric_limits<float>::infinity());
  return flag;
}

void Resource::mark_if_over_depleted() {
  if (type == RESOURCE_NON_CONSUMABLE) return;
  if (state < depleted_at) state = DEPLETED_FLAG;
}

void Resource::mark_if_over_produced() {
  if (type == RESOURCE_NON_CONSUMABLE || overloaded_at == NO_UPPER_MARK) return;
  if (state > overloaded_at) state = over_produced_flag();
}

void Resource::fix_before_produce() {
  if (type == RESOURCE_NON_CONSUMABLE) return;
  if (state == DEPLETED_FLAG) state = depleted_at;
}

void Resource::fix_before_consume() {
  if (type == RESOURCE_NON_CONSUMABLE || overloaded_at == NO_UPPER_MARK) return;
  // The flag or above. A level put back just above the mark is not a flag and is
  // consumed from where it stands.
  if (state >= over_produced_flag()) state = overloaded_at;
}

void Resource::apply_recovery_rule() {
  if (!resource_is_depleted_or_overproduced() && method_that_put_the_resource_into_a_bad_state != nullptr) {
    method_that_put_the_resource_into_a_bad_state = nullptr;
    number_of_time_units_resource_is_in_bad_state = -1.0f;
  }
}

namespace {
// The part of t that lies beyond the mark, at rate a per time unit, within [0, t].
MyTime units_beyond_mark(MyTime t, ResourceUnit distance_to_mark, ResourceUnit a) {
  MyTime inside = distance_to_mark / a;
  MyTime units = t - inside;
  if (units > t) units = t;
  if (units < 0.0f) units = 0.0f;
  return units;
}
}  // namespace

ResourceUnit Resource::consume_resource(ResourceUnit a, MyTime t, Method* m) {
  fix_before_consume();
  ResourceUnit amount = a * t;
  if (state >= depleted_at && state - amount < depleted_at) {
    method_that_put_the_resource_into_a_bad_state = m;
    number_of_time_units_resource_is_in_bad_state = units_beyond_mark(t, state - depleted_at, a);
  } else {
    apply_recovery_rule();
  }
  state -= amount;
  mark_if_over_produced();
  mark_if_over_depleted();
  return state;
}

ResourceUnit Resource::produce_resource(ResourceUnit a, MyTime t, Method* m) {
  fix_before_produce();
  ResourceUnit amount = a * t;
  if (overloaded_at != NO_UPPER_MARK && state <= overloaded_at && state + amount > overloaded_at) {
    method_that_put_the_resource_into_a_bad_state = m;
    number_of_time_units_resource_is_in_bad_state = units_beyond_mark(t, overloaded_at - state, a);
  } else {
    apply_recovery_rule();
  }
  state += amount;
  mark_if_over_produced();
  mark_if_over_depleted();
  return state;
}

ResourceUnit Resource::consume_resource(ResourceUnit a) {
  fix_before_consume();
  state -= a;
  mark_if_over_depleted();
  mark_if_over_produced();
  return state;
}

ResourceUnit Resource::produce_resource(ResourceUnit a) {
  fix_before_produce();
  state += a;
  mark_if_over_produced();
  mark_if_over_depleted();
  return state;
}

ResourceUnit Resource::putback_resource(ResourceUnit a) {
  state += a;
  return state;
}

ResourceUnit Resource::putback_resource(ResourceUnit a, MyTime t, Method*) {
  state += a * t;
  apply_recovery_rule();
  return state;
}

// ---------------------------------------------------------------------------------------
// ResourceList

void ResourceList::delete_function(void* item) { delete static_cast<Resource*>(item); }

bool ResourceList::has_key(Resource* item, const char* key) { return item != nullptr && item->id == key; }

void ResourceList::duplicate_list_into_this_and_copy_items(ResourceList& other, int free_items) {
  // Emptying this list first would lose (or free) the very resources to be copied.
  if (&other == this) return;
  if (free_items && copy_onto_same_kinds_in_place(other)) return;
  delete_list(free_items);
  for (long i = 0; i < other.length(); i++) add(other.get(i)->create_new_instance_duplicate_and_return_it());
}

// Restoring a saved list, the common case, finds resources of the same kinds in the
// places the copies would take (the copies go in at the front, so in reverse order):
// copying onto them ends the same without freeing and allocating every resource again.
bool ResourceList::copy_onto_same_kinds_in_place(ResourceList& other) {
  long n = length();
  if (other.length() != n) return false;
  for (long i = 0; i < n; i++) {
    ResourceTypes kind = other.get(i)->type;
    if (kind != get(n - 1 - i)->type || (kind != RESOURCE_CONSUMABLE && kind != RESOURCE_NON_CONSUMABLE))
      return false;
  }
  for (long i = 0; i < n; i++) *get(n - 1 - i) = *other.get(i);
  return true;
}

void ResourceList::prune_away_resources_not_owned_by_this_agent(const ID& agent) {
  for (long i = 0; i < length(); i++) {
    Resource* r = get(i);
    if (r->owner_agent != EMPTY_ID && r->owner_agent != agent) {
      remove(i, 1);
      i--;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Resource effects

ResourceNLE::~ResourceNLE() { fprintf(stderr, "Deleted a resource nle %s\n", id.c_str()); }

const char* ResourceNLE::type_to_string() const {
  switch (type) {
    case RNLE_USES:
      return "Consumes";
    case RNLE_PRODUCES:
      return "Produces";
    case RNLE_LIMITS:
      return "Limits";
    default:
      return "Error, undefined";
  }
}

void ResourceNLE::print_task_id_if_set(FILE* stream, const char* label, BasicTask* task) {
  if (task == nullptr) {
    fprintf(stream, "\tTask unknown or not yet bound\n");
    return;
  }
  fprintf(stream, "\t%s %s\n", label, task->id.c_str());
}

void Uses::print(FILE* stream) {
  fprintf(stream, "Uses resource nle:\n");
  fprintf(stream, "\tID %s, agent id %s, client consumes %f\n", id.c_str(), owner_agent.c_str(), consumes);
  print_task_id_if_set(stream, "From task", from);
  fprintf(stream, "\tTo resource %s\n", to.c_str());
}

void Uses::apply_rnle_to(Resource* r, float duration, Method* m) {
  if (from == nullptr || r == nullptr) error_exit("Attempt to apply uses to a null resource or from a null task.\n", 1);
  if (model_is_per_time_unit)
    r->consume_resource(consumes, duration, m);
  else
    r->consume_resource(consumes);
}

void Uses::apply_rnle_to(DistributionBundle&, Resource* r, float duration, Method* m) { apply_rnle_to(r, duration, m); }

void Uses::restore_resource(Resource* r, float duration, Method* m) {
  if (r == nullptr) return;  // nothing was taken
  if (model_is_per_time_unit)
    r->putback_resource(consumes, duration, m);
  else
    r->putback_resource(consumes);
}

void Produces::print(FILE* stream) {
  fprintf(stream, "Produces resource nle:\n");
  fprintf(stream, "\tID %s, agent id %s, producer produces %f\n", id.c_str(), owner_agent.c_str(), produces);
  print_task_id_if_set(stream, "From task", from);
  fprintf(stream, "\tTo resource %s\n", to.c_str());
}

void Produces::apply_rnle_to(Resource* r, float duration, Method* m) {
  if (from == nullptr || r == nullptr)
    error_exit("Attempt to apply produces to a null resource or from a null task.\n", 1);
  if (model_is_per_time_unit)
    r->produce_resource(produces, duration, m);
  else
    r->produce_resource(produces);
}

void Produces::apply_rnle_to(DistributionBundle&, Resource* r, float duration, Method* m) {
  apply_rnle_to(r, duration, m);
}

void Limits::print(FILE* stream) {
  fprintf(stream, "Limits resource nle:\n");
  fprintf(stream, "\tid %s\n", id.c_str());
  fprintf(stream, "\tagent id %s\n", owner_agent.c_str());
  fprintf(stream, "\tQuality power ");
  quality_power.print(stream);
  fprintf(stream, "\tCost power ");
  cost_power.print(stream);
  fprintf(stream, "\tDuration power ");
  duration_power.print(stream);
  print_task_id_if_set(stream, "To task", to);
  fprintf(stream, "\tFrom resource %s\n", from.c_str());
}

void Limits::apply_rnle_to(Resource*, float, Method*) {
  fprintf(stderr, "Error, limits resource nle called via the virtual void function\n");
  fprintf(stderr, "that does not require the distribution bundle parameter.  This \n");
  fprintf(stderr, "function cannot be used with the limits NLE as it requires that \n");
  fprintf(stderr, "parameter.  Please correct the code and recompile.\n");
  exit_or_abort();
}

void Limits::apply_rnle_to(DistributionBundle& b, Resource* r, float duration, Method*) {
  if (to == nullptr || r == nullptr) error_exit("Attempt to apply limits to a null task or from a null resource.\n", 1);
  if (!r->resource_is_depleted_or_overproduced()) return;
  Distribution q_power(quality_power);
  Distribution d_power(duration_power);
  Distribution c_power(cost_power);
  if (model_is_per_time_unit) {
    MyTime units = r->number_of_time_units_resource_is_in_bad_state;
    float scale = units;
    if (r->method_that_put_the_resource_into_a_bad_state == nullptr) {
      scale = duration;
      if (units != 0.0f) {
        fprintf(stderr, "\aWarning, either there is an error in the per_time_unit resource computation\n");
        fprintf(stderr, "or you are mixing duration_independent consumption with per_time_unit");
        fprintf(stderr, "\nlimits and the semantics of that model are unclear.\n");
        fprintf(stderr, "The limits computation will not be correct.\n");
      }
    }
    q_power.multiply_all_values_by(scale);
    d_power.multiply_all_values_by(scale);
    c_power.multiply_all_values_by(scale);
  }
  DistributionBundle result;
  apply_negative_rule(q_power, b.quality, result.quality);
  apply_positive_rule(d_power, b.duration, result.duration);
  apply_positive_rule(c_power, b.cost, result.cost);
  b.duplicate(result);
}

// ---------------------------------------------------------------------------------------
// ResourceNLEList

void ResourceNLEList::delete_function(void* item) { delete static_cast<ResourceNLE*>(item); }

bool ResourceNLEList::has_key(ResourceNLE* item, const char* key) { return item != nullptr && item->id == key; }

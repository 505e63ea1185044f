// Resources (a level with a lower and an upper mark) and the effects of methods on them:
// Uses takes from a resource, Produces adds to it, Limits makes the methods it points to
// worse while the resource is in a bad state.
//
// A consumable resource that went below its lower mark holds the flag -1.0 until the next
// produce starts again from the lower mark; one that went above its upper mark holds the
// mark + 1 (the next float above a mark of 2^24 or more) until the next consume starts
// again from the mark. A non-consumable resource is never adjusted, and an upper mark of
// -1 means "none".
#pragma once

#include <cstdio>
#include <string>

#include "foundation/association_list.h"
#include "foundation/shared_types.h"
#include "foundation/typed_list.h"
#include "model/distribution.h"

class BasicTask;
class Method;

enum ResourceTypes {
  RESOURCE_CONSUMABLE = 0,
  RESOURCE_NON_CONSUMABLE = 1,
  RESOURCE_UNDEFINED = 2,
};

// The upper mark of a resource that was given none.
constexpr ResourceUnit DEFAULT_OVERLOADED_AT = 2147483648.0f;
// The upper mark that turns the upper tests off.
constexpr ResourceUnit NO_UPPER_MARK = -1.0f;
// The level of a consumable that went below its lower mark.
constexpr ResourceUnit DEPLETED_FLAG = -1.0f;

class Resource {
 public:
  Resource() = default;
  // Store the values, then check them (with the checks' stops) and mark.
  Resource(const ID& id, ResourceUnit state, ResourceUnit depleted_at);
  Resource(const ID& id, ResourceUnit state, ResourceUnit depleted_at, ResourceUnit overloaded_at);
  virtual ~Resource() = default;
  Resource(const Resource&) = default;
  Resource& operator=(const Resource&) = default;

  ResourceUnit get_resource_status() const { return state; }
  // Setting the level or the lower mark runs both marking steps afterwards.
  void set_resource_status(float s);
  ResourceUnit get_resource_depleted_at() const { return depleted_at; }
  void set_resource_depleted_at(float d);
  ResourceUnit get_resource_overloaded_at() const { return overloaded_at; }
  void set_resource_overloaded_at(float o) { overloaded_at = o; }
  const ID& get_resource_id() const { return id; }
  void set_resource_id(const ID& new_id) { id = new_id; }

  int resource_is_depleted_or_overproduced() const;
  // Stops with exit status 1 on a negative lower mark, an upper mark below the lower
  // one, or a negative level; then marks.
  void verify_initial_resource_state();
  // The "overloaded_at" attribute ("word number") overrides the upper mark.
  void process_attributes_for_resource_models(StringAssociationList& attributes);
  Resource* create_new_instance_duplicate_and_return_it() const;
  void print(FILE* stream) const;

  // Marking and fixing steps; no-ops on a non-consumable resource.
  void mark_if_over_depleted();
  void mark_if_over_produced();
  void fix_before_produce();
  void fix_before_consume();
  // The level that marks an over-produced consumable.
  ResourceUnit over_produced_flag() const;

  // Amount a per time unit over t time units, recording the method that puts the
  // resource into a bad state; return the new level.
  ResourceUnit consume_resource(ResourceUnit a, MyTime t, Method* m);
  ResourceUnit produce_resource(ResourceUnit a, MyTime t, Method* m);
  // Amount a once, whatever the duration; the culprit is not touched.
  ResourceUnit consume_resource(ResourceUnit a);
  ResourceUnit produce_resource(ResourceUnit a);
  // Undo of a use.
  ResourceUnit putback_resource(ResourceUnit a);
  ResourceUnit putback_resource(ResourceUnit a, MyTime t, Method* m);

  AgentID owner_agent = EMPTY_ID;
  ResourceUnit state = 0.0f;
  ID id = EMPTY_ID;
  ResourceUnit depleted_at = 0.0f;
  ResourceUnit overloaded_at = DEFAULT_OVERLOADED_AT;
  ResourceTypes type = RESOURCE_UNDEFINED;
  int being_used_per_time_unit = 0;
  Method* method_that_put_the_resource_into_a_bad_state = nullptr;
  // How long the culprit keeps the resource bad; -1.0 after a recovery.
  MyTime number_of_time_units_resource_is_in_bad_state = 0.0f;

 protected:
  Resource(ResourceTypes type, const ID& id, ResourceUnit state, ResourceUnit depleted_at,
           ResourceUnit overloaded_at);

 private:
  // The culprit is cleared when the resource is fine again.
  void apply_recovery_rule();
};

class ConsumableResource : public Resource {
 public:
  ConsumableResource() { type = RESOURCE_CONSUMABLE; }
  ConsumableResource(const ID& id, ResourceUnit state, ResourceUnit depleted_at);
  ConsumableResource(const ID& id, ResourceUnit state, ResourceUnit depleted_at, ResourceUnit overloaded_at);
};

class NonConsumableResource : public Resource {
 public:
  NonConsumableResource() { type = RESOURCE_NON_CONSUMABLE; }
  NonConsumableResource(const ID& id, ResourceUnit state, ResourceUnit depleted_at);
  NonConsumableResource(const ID& id, ResourceUnit state, ResourceUnit depleted_at, ResourceUnit overloaded_at);
};

class ResourceList : public TypedList<ResourceList, Resource> {
 public:
  static constexpr const char* access_text = "ResourceList access function";
  static constexpr bool adds_at_front = true;
  static void delete_function(void* item);
  static bool has_key(Resource* item, const char* key);

  // Empties this list (deleting its resources when free_items is set) and adds a copy
  // of every resource of other, in other's order, each at the front. A list copied into
  // itself stays as it is.
  void duplicate_list_into_this_and_copy_items(ResourceList& other, int free_items);
  // Removes and deletes the resources another agent owns.
  void prune_away_resources_not_owned_by_this_agent(const ID& agent);

 private:
  bool copy_onto_same_kinds_in_place(ResourceList& other);
};

enum ResourceNLETypes {
  RNLE_USES = 0,
  RNLE_PRODUCES = 1,
  RNLE_LIMITS = 2,
  RNLE_UNDEFINED = 3,
};

class ResourceNLE {
 public:
  ResourceNLE() = default;
  // Announces the deletion on the error stream.
  virtual ~ResourceNLE();
  virtual void print(FILE* stream) = 0;
  virtual void apply_rnle_to(Resource* r, float duration, Method* m) = 0;
  virtual void apply_rnle_to(DistributionBundle& b, Resource* r, float duration, Method* m) = 0;

  ResourceNLE(const ResourceNLE&) = delete;
  ResourceNLE& operator=(const ResourceNLE&) = delete;

  const char* type_to_string() const;
  // "\t<label> <id>\n", or a note that the node is not bound yet.
  static void print_task_id_if_set(FILE* stream, const char* label, BasicTask* task);

  ID id = EMPTY_ID;
  ID task_id = EMPTY_ID;
  ID resource_id = EMPTY_ID;
  AgentID owner_agent;
  ResourceNLETypes type = RNLE_UNDEFINED;
  // 0: the amount applies once; 1: per time unit of the method's duration.
  int model_is_per_time_unit = 0;
};

class Uses : public ResourceNLE {
 public:
  Uses() { type = RNLE_USES; }
  void print(FILE* stream) override;
  void apply_rnle_to(Resource* r, float duration, Method* m) override;
  // The bundle is untouched.
  void apply_rnle_to(DistributionBundle& b, Resource* r, float duration, Method* m) override;
  // Undoes apply_rnle_to.
  void restore_resource(Resource* r, float duration, Method* m);

  ResourceUnit consumes = 0.0f;
  BasicTask* from = nullptr;
  ID to = EMPTY_ID;
};

class Produces : public ResourceNLE {
 public:
  Produces() { type = RNLE_PRODUCES; }
  void print(FILE* stream) override;
  void apply_rnle_to(Resource* r, float duration, Method* m) override;
  // The bundle is untouched.
  void apply_rnle_to(DistributionBundle& b, Resource* r, float duration, Method* m) override;

  ResourceUnit produces = 0.0f;
  BasicTask* from = nullptr;
  ID to = EMPTY_ID;
};

class Limits : public ResourceNLE {
 public:
  Limits() { type = RNLE_LIMITS; }
  void print(FILE* stream) override;
  // Not usable without the bundle: stops with exit status 1.
  void apply_rnle_to(Resource* r, float duration, Method* m) override;
  void apply_rnle_to(DistributionBundle& b, Resource* r, float duration, Method* m) override;

  Distribution duration_power;
  Distribution quality_power;
  Distribution cost_power;
  ID from = EMPTY_ID;
  BasicTask* to = nullptr;
};

class ResourceNLEList : public TypedList<ResourceNLEList, ResourceNLE> {
 public:
  static constexpr const char* access_text = "ResourceNLEList access function";
  static constexpr bool adds_at_front = true;
  static void delete_function(void* item);
  static bool has_key(ResourceNLE* item, const char* key);
};

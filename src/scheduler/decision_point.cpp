// The decision-point node itself: construction and destruction, the consistency check
// against the task tree, the prints and the size reports. Building the tree is in
// decision_point_tree.cpp.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/fatal_stop.h"
#include "foundation/tagged_new.h"
#include "model/nle.h"
#include "scheduler/decision_point.h"

namespace {
// The effect copies held by task nodes of every live tree.
long task_node_effect_copies = 0;
}  // namespace

bool DecisionPoint::some_task_node_has_outgoing_effects() { return task_node_effect_copies > 0; }

void DecisionPoint::count_task_effect_copy() {
  counted_task_effect_copies++;
  task_node_effect_copies++;
}

void DecisionPointList::delete_function(void* item) { delete static_cast<DecisionPoint*>(item); }

DecisionPoint::DecisionPoint()
    : affects_actually(new ("DecisionPoint::DecisionPoint") NLEList),
      affected_by_actually(new ("DecisionPoint::DecisionPoint") NLEList) {
  for (Distribution* d : {&working_cost, &working_quality, &working_duration, &base_cost, &base_quality, &base_duration,
                          &communicated_quality})
    d->report_writes_to(&last_write);
  working_cost.set_to_100_percent_zero_value();
  working_quality.set_to_100_percent_zero_value();
  working_duration.set_to_100_percent_zero_value();
  take_working_values_as_base();
  communicated_quality.set_to_100_percent_zero_value();
  Outcome* both[] = {&combined_outcomes_uncertainty, &combined_outcomes_expected_value};
  for (Outcome* o : both) {
    o->quality.set_to_100_percent_zero_value();
    o->cost.set_to_100_percent_zero_value();
    o->duration.set_to_100_percent_zero_value();
    o->probability = 1.0f;
  }
}

namespace {
void remove_every(DecisionPointList& list, DecisionPoint* node) {
  while (list.item_is_in_list(node)) list.remove(node, 0);
}
}  // namespace

DecisionPoint::~DecisionPoint() {
  methods_for_task.empty_list();
  dps_for_methods_for_task.empty_list();
  alternatives.delete_list(1);

  std::vector<DecisionPoint*> children = subs.distinct_items("DecisionPoint::~DecisionPoint");
  subs.empty_list();
  for (DecisionPoint* child : children) {
    remove_every(child->supers, this);
    if (child->supers.length() == 0) delete child;
  }
  // Freed while a parent still lists it: the parent must not keep a dangling link.
  for (DecisionPoint* super : supers.distinct_items("DecisionPoint::~DecisionPoint"))
    remove_every(super->subs, this);
  supers.empty_list();
  commitments.empty_list();

  // The copies in affected_by_actually belong to the nodes that made them.
  task_node_effect_copies -= counted_task_effect_copies;
  affects_actually->delete_list(1);
  affected_by_actually->empty_list();
  delete affects_actually;
  delete affected_by_actually;

  if (task_or_method != nullptr) {
    if (BasicTask::get_dp_of_task(task_or_method) == this) task_or_method->set_dp_of_task(nullptr);
    std::vector<DecisionPoint*>& nodes = task_or_method->dps_of_task;
    nodes.erase(std::remove(nodes.begin(), nodes.end(), this), nodes.end());
  }
}

void DecisionPoint::take_working_values_as_base() {
  base_quality.duplicate(working_quality);
  base_cost.duplicate(working_cost);
  base_duration.duplicate(working_duration);
}

void DecisionPoint::take_working_quality_as_base() { base_quality.duplicate(working_quality); }

namespace {
// A method node's own values, between a node and a kept copy either way.
template <class To, class From>
void copy_method_values(To& to, const From& from) {
  to.working_quality.duplicate(from.working_quality);
  to.working_cost.duplicate(from.working_cost);
  to.working_duration.duplicate(from.working_duration);
  to.base_quality.duplicate(from.base_quality);
  to.base_cost.duplicate(from.base_cost);
  to.base_duration.duplicate(from.base_duration);
  to.time_task_or_method_gets_quality = from.time_task_or_method_gets_quality;
}
}  // namespace

// The six distributions of a node's or a kept set of values, in the order of their versions.
template <class Values>
auto six_of(Values& v) {
  return std::array{&v.working_quality, &v.working_cost, &v.working_duration,
                    &v.base_quality,    &v.base_cost,    &v.base_duration};
}

void DecisionPoint::keep_values_in(MethodNodeValues& kept) {
  copy_method_values(kept, *this);
  const auto own = six_of(*this);
  for (size_t i = 0; i < own.size(); i++) kept.versions[i] = own[i]->version();
}

void DecisionPoint::give_back_values(const MethodNodeValues& kept) {
  const auto own = six_of(*this);
  const auto from = six_of(kept);
  for (size_t i = 0; i < own.size(); i++) own[i]->take_back(*from[i], kept.versions[i]);
  if (memcmp(&time_task_or_method_gets_quality, &kept.time_task_or_method_gets_quality, sizeof(MyTime)) != 0) {
    time_task_or_method_gets_quality = kept.time_task_or_method_gets_quality;
    note_write();
  }
  share_working_values_with_the_other_nodes_of_task();
}

bool DecisionPoint::task_has_other_nodes() const {
  return task_or_method != nullptr && task_or_method->dps_of_task.size() > 1;
}

void DecisionPoint::share_working_values_with_the_other_nodes_of_task() {
  if (!task_has_other_nodes()) return;
  for (DecisionPoint* other : task_or_method->dps_of_task)
    if (other != this) other->take_working_values_of(*this);
}

void DecisionPoint::take_working_values_of(DecisionPoint& from) {
  copy_method_values(*this, from);
  working_change_counter = from.working_change_counter;
  working_values_are_locked = from.working_values_are_locked;
}

// ---------------------------------------------------------------- verification

void DecisionPoint::verify_dp_to_task_links_and_vice_versa() {
  if (task_or_method == nullptr) {
    fprintf(stderr, "Error, dp points to a null task.  DP follows:\n");
    print(stderr, 1);
    fatal_stop();
  }
  DecisionPoint* back = BasicTask::get_dp_of_task(task_or_method);
  if (back == nullptr) {
    fprintf(stderr, "Error, task does not point to a dp.  DP follows:\n");
    print(stderr, 1);
    fatal_stop();
  }
  if (back != this) {
    fprintf(stderr, "Error, dp points to a task that does not point back to it.\n");
    fprintf(stderr, "DP and Task follow:\n");
    print(stderr, 1);
    task_or_method->print(stderr);
    fatal_stop();
  }
  fprintf(stderr, "DecsionPoint %s (at %ld) and its associated task %s (at %ld) are fine.\n", of_task.c_str(),
          reinterpret_cast<long>(this), task_or_method->id.c_str(), reinterpret_cast<long>(task_or_method));
  if (subs.length() != task_or_method->subtasks.length()) {
    fprintf(stderr, "Error, dp and task have different # of subs.  They follow:\n");
    print(stderr, 1);
    task_or_method->print(stderr);
    fatal_stop();
  }
  for (long i = 0; i < subs.length(); i++) {
    DecisionPoint* child = subs.get(i);
    if (!task_or_method->subtasks.in_list(child->task_or_method)) {
      fprintf(stderr, "Error with the children of the following dp and the following task:\n");
      print(stderr, 1);
      task_or_method->print(stderr);
      fatal_stop();
    }
    child->verify_dp_to_task_links_and_vice_versa();
  }
}

// ---------------------------------------------------------------- prints

namespace {
void print_nle_list(FILE* stream, NLEList* list) {
  if (list->length() == 0) {
    fprintf(stream, "\n");
    return;
  }
  for (long i = 0; i < list->length(); i++) list->get(i)->print(stream);
}

void indent(FILE* stream, long depth) {
  for (long i = 0; i < depth; i++) fprintf(stream, "    ");
}
}  // namespace

void DecisionPoint::print(FILE* stream, int without_alternatives) {
  fprintf(stream, "DecisionPoint %s\n", of_task.c_str());
  fprintf(stream, "Address in memory is %ld\n", reinterpret_cast<long>(this));
  fprintf(stream, "Affected by: ");
  print_nle_list(stream, affected_by_actually);
  fprintf(stream, "Affects : ");
  print_nle_list(stream, affects_actually);
  struct Line {
    const char* heading;
    Distribution* d;
  };
  Line lines[] = {{"Working Quality: ", &working_quality},     {"Working Cost: ", &working_cost},
                  {"Working Duration: ", &working_duration},   {"Potential Quality: ", &potential_quality},
                  {"Potential Cost: ", &potential_cost},       {"Potential Duration: ", &potential_duration}};
  for (Line& line : lines) {
    fprintf(stream, "%s", line.heading);
    line.d->print(stream);
  }
  fprintf(stream, "Time task or method gets quality %f\n", time_task_or_method_gets_quality);
  fprintf(stream, "Earliest may be scheduled %f\n", earliest_method_may_be_scheduled);
  if (without_alternatives != 1) alternatives.print(stream);
}

void DecisionPoint::print_detailed_hierarchy(FILE* stream, int without_alternatives) {
  print(stream, without_alternatives);
  fprintf(stream, "\n");
  for (long i = 0; i < subs.length(); i++) subs.get(i)->print_detailed_hierarchy(stream, without_alternatives);
}

void DecisionPoint::print_hierarchy(FILE* stream, long depth) {
  indent(stream, depth);
  fprintf(stream, "%s (check %s), methods: ", of_task.c_str(),
          task_or_method != nullptr ? task_or_method->id.c_str() : "null");
  std::string ids;
  methods_for_task.string_print_task_ids_on_one_line(ids);
  fprintf(stream, "%s\n", ids.c_str());
  for (long i = 0; i < subs.length(); i++) subs.get(i)->print_hierarchy(stream, depth + 1);
}

void DecisionPoint::print_hierarchy_with_potentials(FILE* stream, long depth) {
  std::string pad(static_cast<size_t>(depth > 0 ? depth : 0) * 4, ' ');
  fprintf(stream, "%sTask %s:\n", pad.c_str(), of_task.c_str());
  fprintf(stream, "%sAddress in memory is %ld\n", pad.c_str(), reinterpret_cast<long>(this));
  for (long i = 0; i < dps_for_methods_for_task.length(); i++) {
    DecisionPoint* m = dps_for_methods_for_task.get(i);
    fprintf(stream, "%s  Methods for task %s:\n", pad.c_str(), m->of_task.c_str());
    Distribution* shown[] = {&m->combined_outcomes->quality, &m->combined_outcomes->duration,
                             &m->combined_outcomes->cost,    &m->potential_quality,
                             &m->potential_duration,         &m->potential_cost};
    const char* headings[] = {"%s Combined Q: ",  "%s Combined D: ",  "%s Combined C: ",
                              "%s Potential Q: ", "%s Potential D: ", "%s Potential C: "};
    for (int k = 0; k < 6; k++) {
      fprintf(stream, headings[k], pad.c_str());
      shown[k]->print(stream);
    }
  }
  fprintf(stream, "\n");
  fflush(stream);
  for (long i = 0; i < subs.length(); i++) subs.get(i)->print_hierarchy_with_potentials(stream, depth + 1);
}

// ---------------------------------------------------------------- sizes

long DecisionPoint::memory_used_by_distributions() {
  Distribution* all[] = {&potential_cost,  &potential_quality, &potential_duration,   &working_cost,
                         &working_quality, &working_duration,  &communicated_quality};
  long total = 0;
  for (Distribution* d : all) total += d->memory_used();
  return total;
}

void DecisionPoint::print_sizeof() {
  long distributions = memory_used_by_distributions();
  long alternative_list = alternatives.memory_used_inclusive();
  long neighbours = supers.memory_used() + subs.memory_used();
  long methods = methods_for_task.memory_used();
  long method_nodes = dps_for_methods_for_task.memory_used();
  long own = static_cast<long>(sizeof(DecisionPoint));
  fprintf(stderr, "#Bytes occupied by dp %s is %ld\n", of_task.c_str(), own);
  fprintf(stderr, "\t#bytes occupied by its distributions is %ld\n", distributions);
  fprintf(stderr, "\t#bytes occupied by its alternative list is %ld\n", alternative_list);
  fprintf(stderr, "\tnote, alt list has %ld alternatives\n", alternatives.length());
  fprintf(stderr, "\t#bytes occupied by its super and sub lists is %ld\n", neighbours);
  fprintf(stderr, "\t#bytes occupied by its method list %ld\n", methods);
  fprintf(stderr, "\t#bytes occupied by its dps to methods list %ld\n", method_nodes);
  fprintf(stderr, "\t#approx total #bytes occupied by this dp %ld\n",
          own + distributions + alternative_list + neighbours + methods + method_nodes);
}

void DecisionPoint::print_sizeof_recursively() {
  print_sizeof();
  for (long i = 0; i < subs.length(); i++) subs.get(i)->print_sizeof_recursively();
}

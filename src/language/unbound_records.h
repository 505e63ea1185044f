// While the text is parsed, tasks and effects refer to each other by name, and a name may
// be used before the form that defines it. The parser wraps every new task, effect and
// resource effect in an unbound record that keeps those names until the binder resolves
// them. A record owns its names, never the model object it points to.
#pragma once

#include <cstdio>

#include "foundation/shared_types.h"
#include "foundation/string_list.h"
#include "foundation/typed_list.h"
#include "model/nle.h"
#include "model/resource.h"
#include "model/task.h"

class UnboundTask {
 public:
  // Creates the task object of the given kind; any other kind is a fatal stop.
  explicit UnboundTask(TaskType type);
  // Frees the names, never the task.
  ~UnboundTask();
  UnboundTask(const UnboundTask&) = delete;
  UnboundTask& operator=(const UnboundTask&) = delete;

  void print(FILE* stream);

  BasicTask* task = nullptr;
  TaskID id = EMPTY_ID;
  // Names as read, in text order.
  NoCaseUnorderedStringList list_of_sub_names;
  NoCaseUnorderedStringList list_of_super_names;
};

class UnboundNLE {
 public:
  // Creates the effect object of the given kind; any other kind is a fatal stop.
  explicit UnboundNLE(NLETypes type);
  ~UnboundNLE() = default;
  UnboundNLE(const UnboundNLE&) = delete;
  UnboundNLE& operator=(const UnboundNLE&) = delete;

  void print(FILE* stream);

  NLE* nle = nullptr;
  TaskID from = EMPTY_ID;
  TaskID to = EMPTY_ID;
  // EMPTY_ID: the effect names no outcome of its source.
  OutcomeID outcome_from = EMPTY_ID;
};

class UnboundResourceNLE {
 public:
  // Creates the resource effect of the given kind; any other kind is a fatal stop.
  explicit UnboundResourceNLE(ResourceNLETypes type);
  ~UnboundResourceNLE() = default;
  UnboundResourceNLE(const UnboundResourceNLE&) = delete;
  UnboundResourceNLE& operator=(const UnboundResourceNLE&) = delete;

  void print(FILE* stream);

  ResourceNLE* rnle = nullptr;
  // Uses and produces: from the task to the resource; limits: from the resource to the task.
  ID from = EMPTY_ID;
  ID to = EMPTY_ID;
};

// Tasks are kept in file order.
class UnboundTaskList : public TypedList<UnboundTaskList, UnboundTask> {
 public:
  static constexpr const char* access_text = "UnboundTaskList access function";
  static constexpr bool adds_at_front = false;
  static void delete_function(void* item);
  // First record whose id equals the name, ignoring case.
  static bool has_key(UnboundTask* item, const char* key);
  static void report_missing_key(const char* key);

  void print(FILE* stream);
  void print_task_ids_on_one_line(FILE* stream);
};

// New records go to the front, so the list runs from the last form of the file to the first.
class UnboundNLEList : public TypedList<UnboundNLEList, UnboundNLE> {
 public:
  static constexpr const char* access_text = "UnboundNLEList access function";
  static constexpr bool adds_at_front = true;
  static void delete_function(void* item);

  // No lookup by name.
  void print(FILE* stream);
};

class UnboundResourceNLEList : public TypedList<UnboundResourceNLEList, UnboundResourceNLE> {
 public:
  static constexpr const char* access_text = "UnboundResourceNLEList access function";
  static constexpr bool adds_at_front = true;
  static void delete_function(void* item);

  void print(FILE* stream);
};

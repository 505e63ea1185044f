// Small helpers shared by the tests that build task trees by hand.
#pragma once

#include "model/task.h"

namespace task_tree_test {

// A new node of that id; its owner agent is set when one is given.
template <class T>
T* node(const char* id, const char* owner_agent = nullptr) {
  T* n = new T;
  n->id = id;
  if (owner_agent != nullptr) n->owner_agent = owner_agent;
  return n;
}

// Makes sub a subtask of super, both ways.
inline void link(BasicTask* super, BasicTask* sub) {
  super->subtasks.append(sub);
  sub->supertasks.append(super);
}

}  // namespace task_tree_test

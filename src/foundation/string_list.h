// Lists of names (the agents of a file, the task names of a commitment) and of integers.
#pragma once

#include <cstdio>
#include <string>
#include <unordered_set>

#include "foundation/list.h"

class StringList : public List {
 public:
  StringList(ListDirection direction, int case_sensitive);
  StringList(ListDirection direction, int case_sensitive, const char* label);

  // By value: the list stores its own copy.
  long append(const std::string& text);
  long insert(const std::string& text);
  // A null text is a null item: the list warns and returns -1.
  long append(const char* text) { return text != nullptr ? append(std::string(text)) : List::append(nullptr); }
  long insert(const char* text) { return text != nullptr ? insert(std::string(text)) : List::insert(nullptr); }
  // By pointer: the list stores the caller's string.
  long append(std::string* text) { return List::append(text); }
  long insert(std::string* text) { return List::insert(text); }

  long insert_in_order(std::string* text);
  long insert_in_order(const std::string& text);

  std::string* operator[](long i) { return static_cast<std::string*>(List::get(i)); }
  std::string* operator[](int i) { return (*this)[static_cast<long>(i)]; }
  std::string* get(long i) { return (*this)[i]; }

  // Exact comparison, whatever is_case_sensitive says.
  int in_list(const std::string& text);
  void simple_print(FILE* stream);
  void delete_list(int free);
  // The untyped removals; a copy removed without freeing passes to the caller, and one
  // freed through del is forgotten, so that delete_list never frees it a second time.
  int remove(long i, int free_item, ListDeleteFunction del);
  int remove(int i, int free_item, ListDeleteFunction del) { return remove(static_cast<long>(i), free_item, del); }
  int remove(void* item, int free_item, ListDeleteFunction del);

  int case_sensitive() const { return is_case_sensitive; }
  int holds_copies() const { return did_do_dynamic; }

 protected:
  int is_case_sensitive;
  int did_do_dynamic = 0;

 private:
  std::string* make_copy(const std::string& text);
  // The copies this list made, so that it frees exactly those.
  std::unordered_set<const void*> own_copies;
};

class NoCaseUnorderedStringList : public StringList {
 public:
  NoCaseUnorderedStringList() : StringList(LIST_UNORDERED, 0) {}
  // Ignores letter case.
  int in_list(const std::string& text);
};

// Never constructed; they share the case-insensitive lookup.
class NoCaseAscendingStringList : public NoCaseUnorderedStringList {};
class NoCaseDescendingStringList : public NoCaseUnorderedStringList {};

using TaskIDList = NoCaseUnorderedStringList;
using AgentIDList = NoCaseUnorderedStringList;

int string_compare(const void* a, const void* b);
int no_case_string_compare(const void* a, const void* b);
int long_compare(const void* a, const void* b);
void long_print(FILE* stream, void* item);

// Nothing in the system constructs one.
class IntList : public List {
 public:
  explicit IntList(ListDirection direction) : List(direction) {}
  long append(long* value) { return List::append(value); }
  long insert(long* value) { return List::insert(value); }
  long* operator[](long i) { return static_cast<long*>(List::get(i)); }
  long insert_in_order(long* value) { return List::insert_in_order(value, long_compare); }
  void simple_print(FILE* stream);
};

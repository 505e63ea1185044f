// Lists of names (the agents of a file, the task names of a commitment) and of integers.
#pragma once

#include <cstdio>
#include <string>

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
  // Frees exactly the copies the list made; strings stored by pointer belong to the caller.
  // A copy taken out by any removal without freeing passes to the caller.
  void delete_list(int free);

  int case_sensitive() const { return is_case_sensitive; }
  int holds_copies() const { return did_do_dynamic; }

 protected:
  int is_case_sensitive;
  int did_do_dynamic = 0;

 private:
  std::string* make_copy(const std::string& text);
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

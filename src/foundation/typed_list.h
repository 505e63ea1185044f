// The pattern of every typed list: a List of T* with typed access by position, an
// optional lookup by name, and the item type's own delete function.
//
// The concrete list derives from TypedList<ItsOwnClass, T> and provides:
//   static constexpr const char* access_text;   // "<Class> access function"
//   static constexpr bool adds_at_front;         // where add() puts a new item
//   static void delete_function(void* item);     // destroys one item (null ignored)
// and, when it has a lookup by name:
//   static bool has_key(T* item, const char* key);   // the class's key and case rule
//   static void report_missing_key(const char* key); // optional: a message on a miss
#pragma once

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "foundation/list.h"
#include "foundation/tagged_new.h"

// For a list whose items must only enter through its typed operations: it hides the
// untyped append with one that calls this, which writes the refusal and aborts.
[[noreturn]] void refuse_untyped_list_access();

template <class Derived, class T>
class TypedList : public List {
 public:
  TypedList() : List(LIST_UNORDERED) {}

  T* get(long i) {
    move_to_exit_on_error(i, Derived::access_text);
    return static_cast<T*>(return_item_of_current());
  }
  T* get(int i) { return get(static_cast<long>(i)); }
  T* operator[](long i) { return get(i); }
  T* operator[](int i) { return get(static_cast<long>(i)); }

  T* get(const char* key) {
    for (long i = 0; i < length(); i++) {
      T* item = get(i);
      if (Derived::has_key(item, key)) return item;
    }
    Derived::report_missing_key(key);
    return nullptr;
  }
  T* get(const std::string& key) { return get(key.c_str()); }
  T* operator[](const char* key) { return get(key); }
  T* operator[](const std::string& key) { return get(key.c_str()); }

  long add(T* item) { return Derived::adds_at_front ? List::insert(item) : List::append(item); }
  long append(T* item) { return List::append(item); }

  int remove(T* item, int free) { return List::remove(static_cast<void*>(item), free, Derived::delete_function); }
  int remove(long i, int free) { return List::remove(i, free, Derived::delete_function); }
  int remove(int i, int free) { return remove(static_cast<long>(i), free); }
  void delete_list(int free) { List::delete_list(free, Derived::delete_function); }
  // Empties the list and leaves the items alone. Unlike delete_list(0) it names no delete
  // function, so a library that only empties a list of another library's items does not
  // link against that library.
  void empty_list() { List::delete_list(0, nullptr); }

  // The distinct items, in first-seen order. Destructors ask for them, and nothing may be
  // thrown out of a destructor: memory running out here stops the program as a tagged
  // allocation does, with the tag.
  std::vector<T*> distinct_items(const char* tag) {
    std::vector<T*> items;
    try {
      for (long i = 0; i < length(); i++) {
        T* item = get(i);
        bool seen = false;
        for (T* earlier : items) seen = seen || earlier == item;
        if (!seen) items.push_back(item);
      }
    } catch (const std::bad_alloc&) {
      report_allocation_failure(tag);
    }
    return items;
  }

  void print(FILE* stream) {
    for (long i = 0; i < length(); i++) get(i)->print(stream);
  }

  int in_list(T* item) { return item_is_in_list(item); }

  // Lists whose lookup misses silently keep this default.
  static void report_missing_key(const char*) {}
};

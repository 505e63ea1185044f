// The one container of the system: an array of untyped item pointers in order, with a
// cursor: a position, or the length when it stands past the last item (where a new list
// and a removal of the last item leave it).
// The list never owns its items; callers pass a delete function when they want them freed.
#pragma once

#include <cstdio>

enum ListDirection { LIST_UNORDERED = 0, LIST_ASCENDING = 1, LIST_DESCENDING = 2 };

using ListCompareFunction = int (*)(const void*, const void*);
using ListDeleteFunction = void (*)(void*);
using ListPrintFunction = void (*)(FILE*, void*);

class List {
 public:
  explicit List(ListDirection direction);
  List(ListDirection direction, const char* label);
  ~List();
  List(const List&) = delete;
  List& operator=(const List&) = delete;

  long length() const { return num_stored; }
  const char* label() const { return list_label; }
  void* get(long i);
  void* operator[](long i) { return get(i); }
  void* return_item_of_current() const { return curr_pos < num_stored ? items[curr_pos] : nullptr; }
  int item_is_in_list(void* item);
  long memory_used() const { return 32 + 4 * (num_stored + 2); }
  void print(FILE* stream, ListPrintFunction print_item);

  int move_to(long i) {
    if (i < 0 || i >= num_stored) return 0;
    curr_pos = i;
    return 1;
  }
  int move_to(void* item);
  // A literal 0 would otherwise be ambiguous between a position and a null item.
  int move_to(int i) { return move_to(static_cast<long>(i)); }
  void move_to_exit_on_error(long i, const char* msg) {
    if (i >= 0 && i < num_stored) {
      curr_pos = i;
      return;
    }
    exit_outside_bounds(i, msg);
  }

  long add_new_item_at_position(void* item, int where);
  long insert(void* item);
  long append(void* item);
  long append_list_not_copy_items(List* other);
  long insert_in_order(void* item, ListCompareFunction cmp);

  int remove(long i, int free_item, ListDeleteFunction del);
  int remove(void* item, int free_item, ListDeleteFunction del);
  int remove(int i, int free_item, ListDeleteFunction del) {
    return remove(static_cast<long>(i), free_item, del);
  }
  void delete_list(int free_item, ListDeleteFunction del);

  void reverse();
  void sort_list_via_func(ListCompareFunction cmp);
  void qsort_list_via_func(ListCompareFunction cmp);
  void set_experienced_client(int experienced) { experienced_client = experienced; }
  int is_experienced_client() const { return experienced_client; }
  ListDirection direction() const { return insert_direction; }
  long cursor_position() const { return curr_pos; }

 protected:
  // Insertions of items the list must free itself when it is emptied.
  long append_owned(void* item, ListDeleteFunction release);
  long insert_owned(void* item, ListDeleteFunction release);
  long insert_in_order_owned(void* item, ListCompareFunction cmp, ListDeleteFunction release);
  // append_list_not_copy_items for lists whose owned items count their holders: each
  // owned item of the other list gets one more holder (claim) and stays owned here too.
  long append_list_sharing_owned_items(List* other, ListDeleteFunction claim);
  void fix_corrupted_list();
  void release_item_pointed_to_by_list_member(void* item, ListDeleteFunction del);

 private:
  [[noreturn]] void exit_outside_bounds(long i, const char* msg);
  long add_node(void* item, int where, ListDeleteFunction release);
  // Puts the item at the position (0..length), the later items one further on.
  void store_at(long position, void* item, ListDeleteFunction release);
  // Makes room for one more item at the front or at the back: front inserts and removals
  // take no shift of the other items, so a list built at its front stays linear.
  void make_room(bool at_front);
  void release_storage();
  void put_cursor_on_front() { curr_pos = 0; }
  void warn_if_ordered(const char* operation);
  void unlink_cursor_item(int free_item, ListDeleteFunction del);
  void swap_items(long a, long b);

  // What a read by position touches comes first, together.
  void** items = nullptr;
  long num_stored = 0;
  long curr_pos = 0;
  // Per item, set when the list itself must free it (a copy or an entry it made):
  // emptying the list frees it with this. The mark moves with its item, so every removal
  // path keeps the record right; an item removed without freeing passes to the caller.
  // Made with the first such item; until then no item is owned.
  ListDeleteFunction* owned_by_list = nullptr;
  // The slots of the storage, and how many of them lie before the first item.
  long capacity = 0;
  long front = 0;
  char* list_label = nullptr;
  ListDirection insert_direction = LIST_UNORDERED;
  int experienced_client = 0;
};

class UnorderedList : public List {
 public:
  UnorderedList() : List(LIST_UNORDERED) {}
};

// Passes LIST_UNORDERED, as it always has; nothing constructs one.
class AscendingList : public List {
 public:
  AscendingList() : List(LIST_UNORDERED) {}
};

class DescendingList : public List {
 public:
  DescendingList() : List(LIST_DESCENDING) {}
};

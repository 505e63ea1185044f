// The one container of the system: a doubly linked list of untyped item pointers
// between two sentinels, with a cursor that makes walks by position one step each.
// The list never owns its items; callers pass a delete function when they want them freed.
#pragma once

#include <cstdio>

enum ListDirection { LIST_UNORDERED = 0, LIST_ASCENDING = 1, LIST_DESCENDING = 2 };

using ListCompareFunction = int (*)(const void*, const void*);
using ListDeleteFunction = void (*)(void*);
using ListPrintFunction = void (*)(FILE*, void*);

class List;

struct ListNode {
  void* item = nullptr;
  ListNode* next = nullptr;
  ListNode* prev = nullptr;
  List* oflist = nullptr;
  // Set when the list itself must free the item (a copy or an entry it made): emptying
  // the list frees it with this. The mark goes wherever the node goes, so every removal
  // path keeps the record right; an item removed without freeing passes to the caller.
  ListDeleteFunction owned_by_list = nullptr;
};

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
  void* return_item_of_current() const { return curr != nullptr ? curr->item : nullptr; }
  int item_is_in_list(void* item);
  long memory_used() const { return 32 + 4 * (num_stored + 2); }
  void print(FILE* stream, ListPrintFunction print_item);

  int move_to(long i);
  int move_to(void* item);
  // A literal 0 would otherwise be ambiguous between a position and a null item.
  int move_to(int i) { return move_to(static_cast<long>(i)); }
  void move_to_exit_on_error(long i, const char* msg) {
    // Walks in order ask for the cursor's item or the next one: those steps are taken
    // here, without a call; move_to ends on the same node.
    if (curr != nullptr && i >= 0 && i < num_stored) {
      if (i == curr_pos) return;
      if (i == curr_pos + 1) {
        curr = curr->next;
        curr_pos = i;
        return;
      }
    }
    move_far_or_exit(i, msg);
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
  void move_far_or_exit(long i, const char* msg);
  void list_init(ListDirection direction);
  long add_node(void* item, int where, ListDeleteFunction release);
  void make_sentinels(const char* tag);
  void put_cursor_on_front();
  void warn_if_ordered(const char* operation);
  void link_before(ListNode* node, ListNode* before);
  void unlink_cursor_node(int free_item, ListDeleteFunction del);
  void swap_nodes(ListNode* a, ListNode* b);

  char* list_label = nullptr;
  ListNode* first = nullptr;
  ListNode* last = nullptr;
  ListNode* curr = nullptr;
  long curr_pos = 0;
  long num_stored = 0;
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

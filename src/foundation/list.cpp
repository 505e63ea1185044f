#include "foundation/list.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>

#include "foundation/fatal_stop.h"
#include "foundation/tagged_new.h"

namespace {
// Frees an array the list reads from `front` slots into it.
template <class T>
void free_from_front(T* at, long front) {
  delete[] (at != nullptr ? at - front : nullptr);
}
}  // namespace

List::List(ListDirection direction) : insert_direction(direction) {}

List::List(ListDirection direction, const char* label) : insert_direction(direction) {
  if (label != nullptr) {
    list_label = new ("List::List") char[strlen(label) + 1];
    strcpy(list_label, label);
  }
}

List::~List() {
  // While an allocation failure unwinds toward the run's stop, the items go with the process.
  if (num_stored != 0 && std::uncaught_exceptions() == 0) {
    std::cerr << "Warning -- always call delete_list() before destroying"
                 " lists or letting\nthem slide out of context."
                 "  The destructor DOES NOT free the memory\nused by the"
                 " stored items, you must call delete_list() explicitly.\n";
    abort_on_broken_promise();
  }
  release_storage();
  delete[] list_label;
}

void List::release_storage() {
  free_from_front(items, front);
  free_from_front(owned_by_list, front);
  items = nullptr;
  owned_by_list = nullptr;
  capacity = 0;
  front = 0;
}

void List::make_room(bool at_front) {
  long back = capacity - front - num_stored;
  if (at_front ? front > 0 : back > 0) return;
  // The free slots split between the two ends; the storage doubles when under half of it
  // (or under two slots) is free.
  long free_slots = capacity - num_stored;
  long larger = 2 * free_slots < capacity || free_slots < 2 ? (capacity < 4 ? 4 : 2 * capacity) : capacity;
  long new_front = (larger - num_stored) / 2;
  if (larger == capacity) {
    void** to = items - front + new_front;
    memmove(to, items, num_stored * sizeof(void*));
    items = to;
    if (owned_by_list != nullptr) {
      ListDeleteFunction* marks = owned_by_list - front + new_front;
      memmove(marks, owned_by_list, num_stored * sizeof(ListDeleteFunction));
      owned_by_list = marks;
    }
  } else {
    void** more = new ("List::insert") void*[larger];
    if (num_stored > 0) memcpy(more + new_front, items, num_stored * sizeof(void*));
    free_from_front(items, front);
    items = more + new_front;
    if (owned_by_list != nullptr) {
      ListDeleteFunction* marks = new ("List::insert") ListDeleteFunction[larger];
      if (num_stored > 0) memcpy(marks + new_front, owned_by_list, num_stored * sizeof(ListDeleteFunction));
      free_from_front(owned_by_list, front);
      owned_by_list = marks + new_front;
    }
    capacity = larger;
  }
  front = new_front;
}

void List::store_at(long position, void* item, ListDeleteFunction release) {
  // The shorter side moves.
  const bool at_front = position < num_stored - position;
  make_room(at_front);
  if (release != nullptr && owned_by_list == nullptr) {
    ListDeleteFunction* marks = new ("List::insert") ListDeleteFunction[capacity];
    for (long i = 0; i < capacity; i++) marks[i] = nullptr;
    owned_by_list = marks + front;
  }
  if (at_front) {
    items--;
    front--;
    if (owned_by_list != nullptr) owned_by_list--;
    if (position > 0) {
      memmove(items, items + 1, position * sizeof(void*));
      if (owned_by_list != nullptr) memmove(owned_by_list, owned_by_list + 1, position * sizeof(ListDeleteFunction));
    }
  } else {
    long later = num_stored - position;
    if (later > 0) {
      memmove(items + position + 1, items + position, later * sizeof(void*));
      if (owned_by_list != nullptr)
        memmove(owned_by_list + position + 1, owned_by_list + position, later * sizeof(ListDeleteFunction));
    }
  }
  items[position] = item;
  if (owned_by_list != nullptr) owned_by_list[position] = release;
  num_stored++;
}

void* List::get(long i) {
  if (i < 0 || i >= num_stored) {
    std::cerr << "Warning - list index out of bounds.\n";
    return nullptr;
  }
  curr_pos = i;
  return items[i];
}

int List::item_is_in_list(void* item) {
  // The cursor ends where a walk by position would leave it: on the item found, else on
  // the last item.
  for (long position = 0; position < num_stored; position++) {
    if (items[position] == item) {
      curr_pos = position;
      return 1;
    }
  }
  if (num_stored > 0) curr_pos = num_stored - 1;
  return 0;
}

void List::print(FILE* stream, ListPrintFunction print_item) {
  for (long i = 0; i < num_stored; i++) {
    if (items[i] != nullptr) print_item(stream, items[i]);
  }
  put_cursor_on_front();
}

int List::move_to(void* item) {
  if (item == nullptr) return 0;
  // The cursor's item first, then the first and the last, then the first copy from the front.
  if (curr_pos < num_stored && items[curr_pos] == item) return 1;
  for (long position = 0; position < num_stored; position++) {
    if (items[position] == item) {
      curr_pos = position;
      return 1;
    }
    if (position == 0 && items[num_stored - 1] == item) {
      curr_pos = num_stored - 1;
      return 1;
    }
  }
  put_cursor_on_front();
  return 0;
}

void List::exit_outside_bounds(long i, const char* msg) {
  fprintf(stderr, "Error, attempt to outside of list bounds.\n");
  fprintf(stderr, "List index %ld & num in list %ld.\n", i, num_stored);
  fprintf(stderr, "Msg: %s.\n", msg);
  abort_on_broken_promise();
}

long List::add_new_item_at_position(void* item, int where) { return add_node(item, where, nullptr); }

long List::add_node(void* item, int where, ListDeleteFunction release) {
  if (item == nullptr) {
    std::cerr << "Warning - item received by list insert was NULL.  "
                 "Attempting to continue.\n";
    return -1;
  }
  long position = where == 1 ? 0 : (where == 2 ? num_stored : curr_pos);
  store_at(position, item, release);
  put_cursor_on_front();
  return position;
}

void List::warn_if_ordered(const char* operation) {
  if (insert_direction != LIST_UNORDERED && !experienced_client) {
    std::cerr << "Warning, using regular " << operation << " in a list that was defined"
              << "\n as an ORDERED list.\n";
  }
}

long List::insert(void* item) {
  warn_if_ordered("INSERT");
  return add_new_item_at_position(item, 1);
}

long List::append(void* item) {
  warn_if_ordered("APPEND");
  return add_new_item_at_position(item, 2);
}

long List::append_owned(void* item, ListDeleteFunction release) {
  warn_if_ordered("APPEND");
  return add_node(item, 2, release);
}

long List::insert_owned(void* item, ListDeleteFunction release) {
  warn_if_ordered("INSERT");
  return add_node(item, 1, release);
}

long List::append_list_not_copy_items(List* other) {
  // Counted, so that appending a list to itself copies its items once instead of forever.
  long count = other->num_stored;
  for (long i = 0; i < count; i++) add_new_item_at_position(other->items[i], 2);
  return num_stored;
}

long List::append_list_sharing_owned_items(List* other, ListDeleteFunction claim) {
  long count = other->num_stored;
  for (long i = 0; i < count; i++) {
    ListDeleteFunction release = other->owned_by_list != nullptr ? other->owned_by_list[i] : nullptr;
    if (release != nullptr) claim(other->items[i]);
    add_node(other->items[i], 2, release);
  }
  return num_stored;
}

long List::insert_in_order(void* item, ListCompareFunction cmp) { return insert_in_order_owned(item, cmp, nullptr); }

long List::insert_in_order_owned(void* item, ListCompareFunction cmp, ListDeleteFunction release) {
  if (item == nullptr) {
    std::cerr << "Warning - item received by list insert was NULL.  "
                 "Attempting to continue.\n";
    return -1;
  }
  if (insert_direction == LIST_UNORDERED && !experienced_client) {
    std::cerr << "Warning, inserting using ORDERED DIRECTION when list was"
                 "specified as directionless.\nAssuming LIST_ASCENDING.\n";
    insert_direction = LIST_ASCENDING;
  }
  long position = 0;
  for (; position < num_stored; position++) {
    if (insert_direction == LIST_ASCENDING && cmp(item, items[position]) < 0) break;
    if (insert_direction == LIST_DESCENDING && cmp(item, items[position]) > 0) break;
  }
  store_at(position, item, release);
  put_cursor_on_front();
  return position;
}

void List::release_item_pointed_to_by_list_member(void* item, ListDeleteFunction del) {
  if (item == nullptr) return;
  if (del == nullptr) {
    error_exit(
        "List::delete_list requires a non-null function pointer to delete items.  Void * deletion not "
        "supported by ansi c.\n",
        1);
  }
  del(item);
}

void List::unlink_cursor_item(int free_item, ListDeleteFunction del) {
  // The cursor stays at its position: on the item that followed, or past the last.
  void* item = items[curr_pos];
  long later = num_stored - curr_pos - 1;
  if (curr_pos < later) {
    // The earlier items move up one: the storage's front grows by a slot.
    if (curr_pos > 0) {
      memmove(items + 1, items, curr_pos * sizeof(void*));
      if (owned_by_list != nullptr) memmove(owned_by_list + 1, owned_by_list, curr_pos * sizeof(ListDeleteFunction));
    }
    items++;
    front++;
    if (owned_by_list != nullptr) owned_by_list++;
  } else if (later > 0) {
    memmove(items + curr_pos, items + curr_pos + 1, later * sizeof(void*));
    if (owned_by_list != nullptr)
      memmove(owned_by_list + curr_pos, owned_by_list + curr_pos + 1, later * sizeof(ListDeleteFunction));
  }
  num_stored--;
  if (free_item == 1) release_item_pointed_to_by_list_member(item, del);
}

int List::remove(long i, int free_item, ListDeleteFunction del) {
  if (!move_to(i)) {
    std::cerr << "Warning - call to REMOVE attempted to move "
                 "beyond the end of the list.\n";
    abort_on_broken_promise();
  }
  unlink_cursor_item(free_item, del);
  return 1;
}

int List::remove(void* item, int free_item, ListDeleteFunction del) {
  if (item == nullptr) {
    std::cerr << "Warning - call to REMOVE made with NULL item .\n";
    return 0;
  }
  if (!move_to(item)) {
    std::cerr << "Warning - REMOVE unable to locate requested element.\n";
    return 0;
  }
  unlink_cursor_item(free_item, del);
  return 1;
}

void List::delete_list(int free_item, ListDeleteFunction del) {
  // The storage goes too: an emptied list holds no memory, so nothing of it outlives a
  // run of the Java library, whose allocator frees what a run left.
  // The items are freed from a detached array: the list is already empty for whatever
  // their delete functions do.
  void** stored = items;
  ListDeleteFunction* marks = owned_by_list;
  long count = num_stored;
  long stored_front = front;
  items = nullptr;
  owned_by_list = nullptr;
  capacity = 0;
  front = 0;
  num_stored = 0;
  put_cursor_on_front();
  for (long i = 0; i < count; i++) {
    if (free_item == 1) {
      release_item_pointed_to_by_list_member(stored[i], del);
    } else if (marks != nullptr && marks[i] != nullptr) {
      marks[i](stored[i]);
    }
  }
  free_from_front(stored, stored_front);
  free_from_front(marks, stored_front);
}

void List::reverse() {
  if (insert_direction != LIST_UNORDERED && !experienced_client) {
    std::cerr << "Warning, using REVERSE in a list that was defined"
                 "\n as an ORDERED list.\n";
  }
  for (long a = 0, b = num_stored - 1; a < b; a++, b--) swap_items(a, b);
  put_cursor_on_front();
}

void List::swap_items(long a, long b) {
  void* item = items[a];
  items[a] = items[b];
  items[b] = item;
  if (owned_by_list != nullptr) {
    ListDeleteFunction mark = owned_by_list[a];
    owned_by_list[a] = owned_by_list[b];
    owned_by_list[b] = mark;
  }
}

void List::sort_list_via_func(ListCompareFunction cmp) {
  // Exchange sort: the tie order it leaves is part of the system's results.
  for (long a = 0; a < num_stored; a++) {
    for (long b = a + 1; b < num_stored; b++) {
      if (cmp(items[a], items[b]) < 0) swap_items(a, b);
    }
  }
  put_cursor_on_front();
}

namespace {
// qsort hands its comparator the addresses of the array slots; the list's comparators
// take the items themselves.
ListCompareFunction qsort_item_compare = nullptr;
struct Slot {
  void* item;
  ListDeleteFunction owned_by_list;
};
int compare_items(const void* x, const void* y) {
  return qsort_item_compare(*static_cast<void* const*>(x), *static_cast<void* const*>(y));
}
int compare_slots(const void* x, const void* y) {
  return qsort_item_compare(static_cast<const Slot*>(x)->item, static_cast<const Slot*>(y)->item);
}
}  // namespace

void List::qsort_list_via_func(ListCompareFunction cmp) {
  if (num_stored <= 1) {
    sort_list_via_func(cmp);
    return;
  }
  qsort_item_compare = cmp;
  if (owned_by_list == nullptr) {
    qsort(items, num_stored, sizeof(void*), compare_items);
  } else {
    // The ownership marks travel with their items.
    Slot* slots = new ("List::qsort_list_via_func") Slot[num_stored];
    for (long i = 0; i < num_stored; i++) slots[i] = Slot{items[i], owned_by_list[i]};
    qsort(slots, num_stored, sizeof(Slot), compare_slots);
    for (long i = 0; i < num_stored; i++) {
      items[i] = slots[i].item;
      owned_by_list[i] = slots[i].owned_by_list;
    }
    delete[] slots;
  }
  // The items went back through append, with its warning on an ordered list.
  for (long i = 0; i < num_stored; i++) warn_if_ordered("APPEND");
  put_cursor_on_front();
}

void List::fix_corrupted_list() {
  std::cerr << "Warning - List is corrupted.  "
               "Attempting to continue with an empty list.\n\n";
  // The items are forgotten, not freed.
  num_stored = 0;
  put_cursor_on_front();
}

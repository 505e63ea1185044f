#include "foundation/list.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>

#include "foundation/fatal_stop.h"
#include "foundation/tagged_new.h"

List::List(ListDirection direction) { list_init(direction); }

List::List(ListDirection direction, const char* label) {
  list_init(direction);
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
  delete first;
  delete last;
  delete[] list_label;
}

void List::list_init(ListDirection direction) {
  insert_direction = direction;
  experienced_client = 0;
  make_sentinels("List::list_init");
  // A new list leaves its cursor on the back sentinel.
  curr = last;
  curr_pos = 0;
}

void List::make_sentinels(const char* tag) {
  first = new (tag) ListNode;
  last = new (tag) ListNode;
  first->next = last;
  last->prev = first;
  first->oflist = this;
  last->oflist = this;
  num_stored = 0;
}

void List::put_cursor_on_front() {
  curr = first->next;
  curr_pos = 0;
}

void* List::get(long i) {
  if (i < 0 || i >= num_stored) {
    std::cerr << "Warning - list index out of bounds.\n";
    return nullptr;
  }
  move_to(i);
  return curr->item;
}

int List::item_is_in_list(void* item) {
  // One walk along the nodes; the cursor ends where a walk by position would leave it:
  // on the item found, else on the last item.
  long position = 0;
  for (ListNode* node = first->next; node != last; node = node->next, position++) {
    if (node->item == item) {
      curr = node;
      curr_pos = position;
      return 1;
    }
  }
  if (num_stored > 0) {
    curr = last->prev;
    curr_pos = num_stored - 1;
  }
  return 0;
}

void List::print(FILE* stream, ListPrintFunction print_item) {
  for (ListNode* node = first->next; node != last; node = node->next) {
    if (node->item != nullptr) print_item(stream, node->item);
  }
  put_cursor_on_front();
}

int List::move_to(long i) {
  if (i < 0 || i >= num_stored) return 0;
  if (curr == nullptr) put_cursor_on_front();
  // Start the walk from whichever of the front, the cursor and the back is nearest, so
  // walks in order cost one step each and a jump to either end costs none.
  long from_cursor = i > curr_pos ? i - curr_pos : curr_pos - i;
  long from_back = num_stored - 1 - i;
  if (i < from_cursor && i <= from_back) {
    curr = first->next;
    curr_pos = 0;
  } else if (from_back < from_cursor) {
    curr = last->prev;
    curr_pos = num_stored - 1;
  }
  while (curr_pos < i) {
    curr = curr->next;
    curr_pos++;
  }
  while (curr_pos > i) {
    curr = curr->prev;
    curr_pos--;
  }
  return 1;
}

int List::move_to(void* item) {
  if (item == nullptr) return 0;
  if (curr == nullptr) put_cursor_on_front();
  if (curr->item == item) return 1;
  if (num_stored > 0 && first->next->item == item) {
    put_cursor_on_front();
    return 1;
  }
  if (num_stored > 0 && last->prev->item == item) {
    curr = last->prev;
    curr_pos = num_stored - 1;
    return 1;
  }
  long position = 0;
  for (ListNode* node = first->next; node != last; node = node->next, position++) {
    if (node->item == item) {
      curr = node;
      curr_pos = position;
      return 1;
    }
  }
  put_cursor_on_front();
  return 0;
}

void List::move_far_or_exit(long i, const char* msg) {
  if (move_to(i)) return;
  fprintf(stderr, "Error, attempt to outside of list bounds.\n");
  fprintf(stderr, "List index %ld & num in list %ld.\n", i, num_stored);
  fprintf(stderr, "Msg: %s.\n", msg);
  abort_on_broken_promise();
}

void List::link_before(ListNode* node, ListNode* before) {
  node->next = before;
  node->prev = before->prev;
  before->prev->next = node;
  before->prev = node;
  node->oflist = this;
}

long List::add_new_item_at_position(void* item, int where) { return add_node(item, where, nullptr); }

long List::add_node(void* item, int where, ListDeleteFunction release) {
  if (item == nullptr) {
    std::cerr << "Warning - item received by list insert was NULL.  "
                 "Attempting to continue.\n";
    return -1;
  }
  if (first == nullptr || last == nullptr) fix_corrupted_list();
  ListNode* node = new ("List::insert") ListNode;
  node->item = item;
  node->owned_by_list = release;
  long position;
  if (where == 1) {
    link_before(node, first->next);
    position = 0;
  } else if (where == 2) {
    link_before(node, last);
    position = num_stored;
  } else {
    if (curr == nullptr) put_cursor_on_front();
    link_before(node, curr);
    position = curr_pos;
  }
  num_stored++;
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
  ListNode* node = other->first->next;
  for (long i = 0; i < count; i++, node = node->next) add_new_item_at_position(node->item, 2);
  return num_stored;
}

long List::append_list_sharing_owned_items(List* other, ListDeleteFunction claim) {
  long count = other->num_stored;
  ListNode* node = other->first->next;
  for (long i = 0; i < count; i++, node = node->next) {
    if (node->owned_by_list != nullptr) claim(node->item);
    add_node(node->item, 2, node->owned_by_list);
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
  if (first == nullptr || last == nullptr) fix_corrupted_list();
  ListNode* stop = first->next;
  long position = 0;
  for (; stop != last; stop = stop->next, position++) {
    if (insert_direction == LIST_ASCENDING && cmp(item, stop->item) < 0) break;
    if (insert_direction == LIST_DESCENDING && cmp(item, stop->item) > 0) break;
  }
  ListNode* node = new ("List::insert") ListNode;
  node->item = item;
  node->owned_by_list = release;
  link_before(node, stop);
  num_stored++;
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

void List::unlink_cursor_node(int free_item, ListDeleteFunction del) {
  ListNode* node = curr;
  node->prev->next = node->next;
  node->next->prev = node->prev;
  curr = node->next;
  num_stored--;
  void* item = node->item;
  delete node;
  if (free_item == 1) release_item_pointed_to_by_list_member(item, del);
}

int List::remove(long i, int free_item, ListDeleteFunction del) {
  if (!move_to(i)) {
    std::cerr << "Warning - call to REMOVE attempted to move "
                 "beyond the end of the list.\n";
    abort_on_broken_promise();
  }
  unlink_cursor_node(free_item, del);
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
  unlink_cursor_node(free_item, del);
  return 1;
}

void List::delete_list(int free_item, ListDeleteFunction del) {
  ListNode* node = first->next;
  while (node != last) {
    ListNode* next = node->next;
    void* item = node->item;
    if (free_item == 1) {
      release_item_pointed_to_by_list_member(item, del);
    } else if (node->owned_by_list != nullptr) {
      node->owned_by_list(item);
    }
    delete node;
    node = next;
  }
  first->next = last;
  last->prev = first;
  num_stored = 0;
  put_cursor_on_front();
}

void List::reverse() {
  if (insert_direction != LIST_UNORDERED && !experienced_client) {
    std::cerr << "Warning, using REVERSE in a list that was defined"
                 "\n as an ORDERED list.\n";
  }
  ListNode* after = first;  // the last node already moved
  for (long moved = 0; moved < num_stored; moved++) {
    ListNode* node = last->prev;
    // detach the node before the back sentinel
    node->prev->next = last;
    last->prev = node->prev;
    // relink it after the last node moved
    node->next = after->next;
    node->prev = after;
    after->next->prev = node;
    after->next = node;
    after = node;
  }
  put_cursor_on_front();
}

void List::swap_nodes(ListNode* a, ListNode* b) {
  // a stands before b.
  if (a->next == b) {
    ListNode* before = a->prev;
    ListNode* after = b->next;
    before->next = b;
    b->prev = before;
    b->next = a;
    a->prev = b;
    a->next = after;
    after->prev = a;
    return;
  }
  ListNode* a_prev = a->prev;
  ListNode* a_next = a->next;
  ListNode* b_prev = b->prev;
  ListNode* b_next = b->next;
  a_prev->next = b;
  b->prev = a_prev;
  b->next = a_next;
  a_next->prev = b;
  b_prev->next = a;
  a->prev = b_prev;
  a->next = b_next;
  b_next->prev = a;
}

void List::sort_list_via_func(ListCompareFunction cmp) {
  // Exchange sort on the nodes: the tie order it leaves is part of the system's results.
  for (ListNode* a = first->next; a != last; a = a->next) {
    ListNode* b = a->next;
    while (b != last) {
      if (cmp(a->item, b->item) < 0) {
        ListNode* continue_from = b->next;
        swap_nodes(a, b);
        // b now holds position a; compare it with the nodes after the old b.
        a = b;
        b = continue_from;
      } else {
        b = b->next;
      }
    }
  }
  put_cursor_on_front();
}

namespace {
// qsort hands its comparator the addresses of the array slots; the list's comparators
// take the items themselves.
ListCompareFunction qsort_item_compare = nullptr;
int compare_slots(const void* x, const void* y) {
  return qsort_item_compare(static_cast<const ListNode*>(x)->item, static_cast<const ListNode*>(y)->item);
}
}  // namespace

void List::qsort_list_via_func(ListCompareFunction cmp) {
  if (num_stored <= 1) {
    sort_list_via_func(cmp);
    return;
  }
  long count = num_stored;
  // The items are sorted with their ownership marks, which must survive the re-append.
  ListNode* items = new ("List::qsort_list_via_func") ListNode[count];
  long i = 0;
  for (ListNode* node = first->next; node != last; node = node->next) items[i++] = *node;
  for (ListNode* node = first->next; node != last; node = node->next) node->owned_by_list = nullptr;
  delete_list(0, nullptr);
  qsort_item_compare = cmp;
  qsort(items, count, sizeof(ListNode), compare_slots);
  for (i = 0; i < count; i++) {
    warn_if_ordered("APPEND");
    add_node(items[i].item, 2, items[i].owned_by_list);
  }
  delete[] items;
}

void List::fix_corrupted_list() {
  std::cerr << "Warning - List is corrupted.  "
               "Attempting to continue with an empty list.\n\n";
  make_sentinels("List::append");
  put_cursor_on_front();
}

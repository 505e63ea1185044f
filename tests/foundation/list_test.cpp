#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/foundation_test_support.h"
#include "foundation/list.h"

using foundation_test::Contains;
using foundation_test::Exactly;
using foundation_test::stderr_of;

namespace {

struct Item {
  int value;
  std::string name;
};

int by_value(const void* a, const void* b) {
  int x = static_cast<const Item*>(a)->value;
  int y = static_cast<const Item*>(b)->value;
  return x < y ? -1 : (x > y ? 1 : 0);
}

int deleted_count = 0;
void delete_item(void* item) {
  deleted_count++;
  delete static_cast<Item*>(item);
}

std::string names(List& list) {
  std::string text;
  for (long i = 0; i < list.length(); i++) {
    if (!text.empty()) text += ",";
    text += static_cast<Item*>(list.get(i))->name;
  }
  return text;
}

const char* const ordered_append_warning =
    "Warning, using regular APPEND in a list that was defined\n as an ORDERED list.\n";
const char* const assuming_ascending =
    "Warning, inserting using ORDERED DIRECTION when list wasspecified as directionless.\nAssuming LIST_ASCENDING.\n";

class ListTest : public testing::Test {
 protected:
  void TearDown() override { list.delete_list(0, nullptr); }
  List list{LIST_UNORDERED};
  Item a5{5, "5a"}, b5{5, "5b"}, c7{7, "7"}, one{1, "1"}, two{2, "2"}, two_b{2, "2b"}, three{3, "3"};
};

TEST_F(ListTest, InsertAppendAndPositionalReads) {
  EXPECT_EQ(list.append(&one), 0);
  EXPECT_EQ(list.append(&two), 1);
  EXPECT_EQ(list.insert(&three), 0);
  EXPECT_EQ(names(list), "3,1,2");
  EXPECT_EQ(list.length(), 3);
  EXPECT_EQ(list[2], &two);
  EXPECT_EQ(list.memory_used(), 32 + 4 * 5);
  EXPECT_EQ(list.item_is_in_list(&one), 1);
  EXPECT_EQ(list.item_is_in_list(&c7), 0);
  // Every insertion puts the cursor on the front.
  list.get(2);
  list.append(&c7);
  EXPECT_EQ(list.cursor_position(), 0);
  EXPECT_EQ(list.return_item_of_current(), &three);
}

TEST_F(ListTest, OutOfBoundsReadWarnsAndReturnsNull) {
  const char* warning = "Warning - list index out of bounds.\n";
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(list.get(0), nullptr); }), warning);
  list.append(&one);
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(list.get(list.length()), nullptr); }), warning);
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(list[-1], nullptr); }), warning);
}

TEST_F(ListTest, NewListCursorSitsOnBackSentinelAtZero) {
  EXPECT_EQ(list.cursor_position(), 0);
  EXPECT_EQ(list.return_item_of_current(), nullptr);
  EXPECT_EQ(list.move_to(0L), 0);
}

TEST_F(ListTest, AddAtCursorReturnsTheRealPosition) {
  list.append(&one);
  list.append(&two);
  list.append(&three);
  // Inserting before the cursor's node ("3"): every later read must still be right.
  list.get(2);
  EXPECT_EQ(list.add_new_item_at_position(&c7, 0), 2);
  EXPECT_EQ(names(list), "1,2,7,3");
  EXPECT_EQ(list.add_new_item_at_position(&a5, 1), 0);
  EXPECT_EQ(list.add_new_item_at_position(&b5, 2), 5);
  EXPECT_EQ(names(list), "5a,1,2,7,3,5b");
}

TEST_F(ListTest, NullItemsAreRefusedWithWarnings) {
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(list.append(nullptr), -1); }),
            "Warning - item received by list insert was NULL.  Attempting to continue.\n");
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(list.insert_in_order(nullptr, by_value), -1); }),
            "Warning - item received by list insert was NULL.  Attempting to continue.\n");
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(list.remove(static_cast<void*>(nullptr), 0, nullptr), 0); }),
            "Warning - call to REMOVE made with NULL item .\n");
  EXPECT_EQ(list.length(), 0);
  EXPECT_EQ(list.direction(), LIST_UNORDERED);
}

TEST_F(ListTest, RemovalLeavesCursorOnFollowingNode) {
  list.append(&one);
  list.append(&two);
  list.append(&three);
  EXPECT_EQ(list.remove(1L, 0, nullptr), 1);
  EXPECT_EQ(list.cursor_position(), 1);
  EXPECT_EQ(list.return_item_of_current(), &three);
  // Removing the last item leaves the cursor on the back sentinel, at position n.
  EXPECT_EQ(list.remove(static_cast<void*>(&three), 0, nullptr), 1);
  EXPECT_EQ(list.cursor_position(), 1);
  EXPECT_EQ(list.return_item_of_current(), nullptr);
  // Reads after a removal still walk correctly from there.
  EXPECT_EQ(list.get(0L), &one);
  EXPECT_EQ(list.length(), 1);
}

TEST_F(ListTest, PositionalReadsLandRightFromAnyCursorPosition) {
  std::vector<Item> items;
  for (int v = 0; v < 9; v++) items.push_back(Item{v, std::to_string(v)});
  for (Item& item : items) list.append(&item);
  // The walk may start at the front, the cursor or the back: every start gives the item.
  for (long from = 0; from < 9; from++) {
    for (long to = 0; to < 9; to++) {
      list.move_to(from);
      EXPECT_EQ(list.get(to), &items[to]) << from << " to " << to;
      EXPECT_EQ(list.cursor_position(), to);
    }
  }
  // And from the back sentinel, where removing the last item leaves the cursor.
  list.remove(8L, 0, nullptr);
  EXPECT_EQ(list.get(6L), &items[6]);
  EXPECT_EQ(list.get(7L), &items[7]);
}

TEST_F(ListTest, RemoveFreesOnlyWhenAskedAndKeepsTheRest) {
  list.append(new Item{1, "x"});
  Item* second = new Item{2, "y"};
  list.append(second);
  list.append(&three);
  deleted_count = 0;
  EXPECT_EQ(list.remove(second, 1, delete_item), 1);
  EXPECT_EQ(deleted_count, 1);
  EXPECT_EQ(names(list), "x,3");
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(list.remove(static_cast<void*>(&c7), 1, delete_item), 0); }),
            "Warning - REMOVE unable to locate requested element.\n");
  EXPECT_EQ(list.cursor_position(), 0);  // a failed search puts the cursor on the front
  EXPECT_EQ(list.remove(0L, 1, delete_item), 1);
  EXPECT_EQ(deleted_count, 2);
  EXPECT_EQ(names(list), "3");
}

TEST_F(ListTest, SearchByIdentityTriesCursorThenFirstThenLastThenScans) {
  // The same pointer stored at positions 1 and 3: which copy is found depends on the cursor.
  list.append(&one);
  list.append(&two);
  list.append(&three);
  list.append(&two);
  list.append(&c7);
  list.get(3);
  EXPECT_EQ(list.move_to(static_cast<void*>(&two)), 1);
  EXPECT_EQ(list.cursor_position(), 3);  // the cursor's own node wins
  list.get(2);
  EXPECT_EQ(list.move_to(static_cast<void*>(&two)), 1);
  EXPECT_EQ(list.cursor_position(), 1);  // otherwise the scan from the front
  list.get(1);
  EXPECT_EQ(list.move_to(static_cast<void*>(&c7)), 1);
  EXPECT_EQ(list.cursor_position(), 4);
  // remove(item) unlinks the copy under the cursor.
  list.get(3);
  list.remove(static_cast<void*>(&two), 0, nullptr);
  EXPECT_EQ(names(list), "1,2,3,7");
  EXPECT_EQ(list.move_to(static_cast<void*>(&a5)), 0);
  EXPECT_EQ(list.cursor_position(), 0);
  EXPECT_EQ(list.move_to(static_cast<void*>(nullptr)), 0);
}

TEST_F(ListTest, MoveToPositionWalksFromTheCursor) {
  for (Item* item : {&one, &two, &three, &c7}) list.append(item);
  EXPECT_EQ(list.move_to(2L), 1);
  EXPECT_EQ(list.return_item_of_current(), &three);
  EXPECT_EQ(list.move_to(1L), 1);
  EXPECT_EQ(list.return_item_of_current(), &two);
  EXPECT_EQ(list.move_to(4L), 0);
  EXPECT_EQ(list.cursor_position(), 1);  // a failed move leaves the cursor alone
  EXPECT_EQ(list.move_to(3L), 1);
  EXPECT_EQ(list.return_item_of_current(), &c7);
}

TEST_F(ListTest, InsertInOrderTiesGoAfterEqualItems) {
  List ascending(LIST_ASCENDING);
  for (Item* item : {&three, &one, &two, &two_b}) ascending.insert_in_order(item, by_value);
  EXPECT_EQ(names(ascending), "1,2,2b,3");
  EXPECT_EQ(ascending.insert_in_order(&a5, by_value), 4);
  EXPECT_EQ(ascending.cursor_position(), 0);
  ascending.delete_list(0, nullptr);

  DescendingList descending;
  for (Item* item : {&two, &three, &two_b, &one}) descending.insert_in_order(item, by_value);
  EXPECT_EQ(names(descending), "3,2,2b,1");
  descending.delete_list(0, nullptr);
}

TEST_F(ListTest, InsertInOrderOnUnorderedListTurnsItAscendingForGood) {
  std::string warnings = stderr_of([&] {
    list.insert_in_order(&three, by_value);
    list.insert_in_order(&one, by_value);
  });
  EXPECT_EQ(warnings, assuming_ascending);
  EXPECT_EQ(list.direction(), LIST_ASCENDING);
  EXPECT_EQ(names(list), "1,3");
  // An experienced client keeps the list unordered and the item goes to the back.
  List quiet(LIST_UNORDERED);
  quiet.set_experienced_client(1);
  EXPECT_EQ(stderr_of([&] {
              quiet.insert_in_order(&three, by_value);
              quiet.insert_in_order(&one, by_value);
            }),
            "");
  EXPECT_EQ(quiet.direction(), LIST_UNORDERED);
  EXPECT_EQ(names(quiet), "3,1");
  quiet.delete_list(0, nullptr);
}

TEST_F(ListTest, OrderedListMisuseWarnsUnlessExperienced) {
  DescendingList descending;
  EXPECT_EQ(stderr_of([&] { descending.append(&one); }), ordered_append_warning);
  EXPECT_EQ(stderr_of([&] { descending.insert(&two); }),
            "Warning, using regular INSERT in a list that was defined\n as an ORDERED list.\n");
  EXPECT_EQ(stderr_of([&] { descending.reverse(); }),
            "Warning, using REVERSE in a list that was defined\n as an ORDERED list.\n");
  descending.set_experienced_client(1);
  EXPECT_EQ(stderr_of([&] {
              descending.append(&three);
              descending.reverse();
            }),
            "");
  EXPECT_EQ(names(descending), "3,2,1");
  descending.delete_list(0, nullptr);
  // The class that nothing constructs really is unordered.
  AscendingList ascending;
  EXPECT_EQ(ascending.direction(), LIST_UNORDERED);
}

TEST_F(ListTest, ExchangeSortIsDescendingAndNotStable) {
  for (Item* item : {&a5, &b5, &c7}) list.append(item);
  list.get(2);
  list.sort_list_via_func(by_value);
  EXPECT_EQ(list.cursor_position(), 0);
  EXPECT_EQ(names(list), "7,5b,5a");
  list.delete_list(0, nullptr);
  // Adjacent and distant swaps, equal items, and sorted input (worked through by hand).
  Item items[] = {{1, "1"}, {3, "3"}, {2, "2"}, {3, "3b"}, {0, "0"}, {9, "9"}, {2, "2b"}};
  for (Item& item : items) list.append(&item);
  list.sort_list_via_func(by_value);
  EXPECT_EQ(names(list), "9,3b,3,2,2b,1,0");
  list.sort_list_via_func(by_value);
  EXPECT_EQ(names(list), "9,3b,3,2,2b,1,0");
  // The links hold both ways after relinking.
  list.reverse();
  EXPECT_EQ(names(list), "0,1,2b,2,3,3b,9");
}

TEST_F(ListTest, QuickSortIsAscendingAndReappends) {
  Item items[] = {{1, "1"}, {3, "3"}, {2, "2"}};
  for (Item& item : items) list.append(&item);
  list.qsort_list_via_func(by_value);
  EXPECT_EQ(names(list), "1,2,3");
  DescendingList descending;
  descending.set_experienced_client(1);
  descending.append(&items[0]);
  descending.append(&items[1]);
  descending.set_experienced_client(0);
  // The items return through append, with its warning on an ordered list.
  EXPECT_EQ(stderr_of([&] { descending.qsort_list_via_func(by_value); }),
            std::string(ordered_append_warning) + ordered_append_warning);
  descending.delete_list(0, nullptr);
}

TEST_F(ListTest, ReverseAndAppendList) {
  for (Item* item : {&one, &two, &three}) list.append(item);
  list.reverse();
  EXPECT_EQ(names(list), "3,2,1");
  List other(LIST_DESCENDING);
  other.set_experienced_client(1);
  other.append(&c7);
  other.set_experienced_client(0);
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(other.append_list_not_copy_items(&list), 4); }), "");
  EXPECT_EQ(names(other), "7,3,2,1");
  // A list appended to itself doubles once.
  EXPECT_EQ(list.append_list_not_copy_items(&list), 6);
  EXPECT_EQ(names(list), "3,2,1,3,2,1");
  other.delete_list(0, nullptr);
}

TEST_F(ListTest, PrintVisitsItemsInOrderAndResetsCursor) {
  for (Item* item : {&one, &two, &three}) list.append(item);
  list.get(2);
  std::string text = foundation_test::written_to_stream([&](FILE* f) {
    list.print(f, [](FILE* stream, void* item) { fprintf(stream, "%s;", static_cast<Item*>(item)->name.c_str()); });
  });
  EXPECT_EQ(text, "1;2;3;");
  EXPECT_EQ(list.cursor_position(), 0);
}

TEST_F(ListTest, DeleteListFreesItemsAndLeavesListUsable) {
  list.append(new Item{1, "x"});
  list.append(new Item{2, "y"});
  deleted_count = 0;
  list.delete_list(1, delete_item);
  EXPECT_EQ(deleted_count, 2);
  EXPECT_EQ(list.length(), 0);
  EXPECT_EQ(list.cursor_position(), 0);
  list.append(&one);
  EXPECT_EQ(names(list), "1");
}

TEST_F(ListTest, LabelIsKept) {
  List labelled(LIST_UNORDERED, "agents");
  EXPECT_STREQ(labelled.label(), "agents");
  EXPECT_EQ(list.label(), nullptr);
}

// A list that owns some of its items, as the string and association lists do.
class OwningList : public List {
 public:
  OwningList() : List(LIST_UNORDERED) {}
  using List::append_owned;
  using List::insert_owned;
  using List::append_list_sharing_owned_items;
};

TEST_F(ListTest, OwnershipMarksAndOrderHoldThroughGrowthAndEveryReorder) {
  // Owned items among borrowed ones, past several growths of the storage, moved by every
  // reordering: emptying frees exactly the owned ones, wherever they went.
  OwningList owning;
  std::vector<Item> borrowed;
  for (int v = 0; v < 40; v++) borrowed.push_back(Item{v, "b" + std::to_string(v)});
  for (int v = 0; v < 40; v++) {
    owning.append(&borrowed[v]);
    if (v % 7 == 0) owning.append_owned(new Item{100 + v, "o" + std::to_string(v)}, delete_item);
  }
  owning.insert_owned(new Item{-1, "front"}, delete_item);
  // Inserting at the cursor, then removing around it, in the middle of the array.
  owning.get(20);
  EXPECT_EQ(owning.add_new_item_at_position(&c7, 0), 20);
  EXPECT_EQ(static_cast<Item*>(owning.get(20)), &c7);
  EXPECT_EQ(owning.remove(21L, 0, nullptr), 1);
  EXPECT_EQ(owning.cursor_position(), 21);
  EXPECT_EQ(owning.length(), 47);
  owning.reverse();
  EXPECT_EQ(static_cast<Item*>(owning.get(0L))->name, "b39");
  EXPECT_EQ(static_cast<Item*>(owning.get(46L))->name, "front");
  owning.sort_list_via_func(by_value);
  EXPECT_EQ(static_cast<Item*>(owning.get(0L))->name, "o35");
  EXPECT_EQ(static_cast<Item*>(owning.get(46L))->name, "front");
  owning.qsort_list_via_func(by_value);
  EXPECT_EQ(static_cast<Item*>(owning.get(0L))->name, "front");
  EXPECT_EQ(static_cast<Item*>(owning.get(46L))->name, "o35");
  deleted_count = 0;
  owning.delete_list(0, nullptr);
  EXPECT_EQ(deleted_count, 7);
  // A removal passes an owned item to the caller; the marks of the others stay right.
  deleted_count = 0;
  for (int v = 0; v < 9; v++) owning.append_owned(new Item{v, "x" + std::to_string(v)}, delete_item);
  owning.append(&one);
  owning.reverse();
  Item* taken = static_cast<Item*>(owning.get(1L));
  EXPECT_EQ(owning.remove(1L, 0, nullptr), 1);
  EXPECT_EQ(taken->name, "x8");
  delete taken;
  EXPECT_EQ(owning.remove(static_cast<void*>(&one), 0, nullptr), 1);
  owning.delete_list(0, nullptr);
  EXPECT_EQ(deleted_count, 8);
}

TEST_F(ListTest, InsertsAndRemovalsAtBothEndsAndBetweenKeepOrderAndMarks) {
  // A list worked at its front, at its back and at the cursor, against a plain model:
  // the storage moves its items between its two ends and grows, the order and the
  // ownership marks never change with it.
  OwningList owning;
  // Borrowed items are freed here, owned ones by the list when it is emptied.
  std::vector<std::pair<Item*, bool>> model;
  unsigned seed = 7;
  auto next = [&seed](unsigned bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % bound;
  };
  for (int step = 0; step < 1200; step++) {
    const unsigned what = next(10);
    const bool owned = next(3) == 0;
    Item* item = nullptr;
    if (what < 7) item = new Item{step, owned ? "o" : "b"};
    if (what < 3) {
      if (owned) owning.insert_owned(item, delete_item); else owning.insert(item);
      model.insert(model.begin(), {item, owned});
    } else if (what < 5) {
      if (owned) owning.append_owned(item, delete_item); else owning.append(item);
      model.push_back({item, owned});
    } else if (what < 7 && !model.empty() && !owned) {
      const long at = static_cast<long>(next(static_cast<unsigned>(model.size())));
      owning.get(at);
      EXPECT_EQ(owning.add_new_item_at_position(item, 0), at);
      model.insert(model.begin() + at, {item, false});
    } else if (what < 7) {
      if (owned) owning.append_owned(item, delete_item); else owning.append(item);
      model.push_back({item, owned});
    } else if (!model.empty()) {
      // Removals lean to the front, as a queue's would.
      const long at = what == 7 ? 0 : static_cast<long>(next(static_cast<unsigned>(model.size())));
      Item* taken = static_cast<Item*>(owning.get(at));
      ASSERT_EQ(taken, model[static_cast<size_t>(at)].first);
      EXPECT_EQ(owning.remove(at, 0, nullptr), 1);
      delete taken;
      model.erase(model.begin() + at);
    }
    ASSERT_EQ(owning.length(), static_cast<long>(model.size()));
  }
  for (size_t i = 0; i < model.size(); i++) ASSERT_EQ(static_cast<Item*>(owning.get(static_cast<long>(i))), model[i].first);
  long owned_left = 0;
  std::vector<Item*> borrowed_left;
  for (auto& [item, owned] : model) {
    if (owned) owned_left++; else borrowed_left.push_back(item);
  }
  deleted_count = 0;
  owning.delete_list(0, nullptr);
  EXPECT_EQ(deleted_count, owned_left);
  for (Item* item : borrowed_left) delete item;
}

using ListDeathTest = ListTest;

TEST_F(ListDeathTest, BoundsPromiseBrokenAbortsWithThreeLines) {
  list.append(&one);
  EXPECT_EXIT(list.move_to_exit_on_error(1, "TaskList access function"), testing::KilledBySignal(SIGABRT),
              Exactly("Error, attempt to outside of list bounds.\n"
                      "List index 1 & num in list 1.\n"
                      "Msg: TaskList access function.\n"));
}

TEST_F(ListDeathTest, RemoveByPositionOutOfRangeAborts) {
  EXPECT_EXIT(list.remove(0L, 0, nullptr), testing::KilledBySignal(SIGABRT),
              Exactly("Warning - call to REMOVE attempted to move beyond the end of the list.\n"));
}

TEST_F(ListDeathTest, DestroyingANonEmptyListAborts) {
  EXPECT_EXIT(
      {
        List doomed(LIST_UNORDERED);
        doomed.append(&one);
      },
      testing::KilledBySignal(SIGABRT),
      Exactly("Warning -- always call delete_list() before destroying lists or letting\n"
              "them slide out of context.  The destructor DOES NOT free the memory\n"
              "used by the stored items, you must call delete_list() explicitly.\n"));
}

TEST_F(ListDeathTest, FreeingWithoutDeleteFunctionExitsWithOne) {
  list.append(&one);
  EXPECT_EXIT(list.delete_list(1, nullptr), testing::ExitedWithCode(1),
              Exactly("List::delete_list requires a non-null function pointer to delete items.  "
                      "Void * deletion not supported by ansi c.\n"));
}

}  // namespace

#include <gtest/gtest.h>

#include <string>

#include "foundation/association_list.h"
#include "foundation/foundation_test_support.h"
#include "foundation/string_list.h"
#include "foundation/system_wrappers.h"

using foundation_test::stderr_of;
using foundation_test::written_to_stream;

namespace {

const std::string replication_warning =
    "\n\nWarning - list members were added by replication and you have called delete list w/o freeing those "
    "members.  This causes a memory leak. Note: mixing replication & reference insertion is NOT recommended "
    "because it is impossible to determine what nodes to free and what not to free.(This last statement does "
    "not indicate that you have been doing so.)\n\a\n";

std::string leak_notice(const char* class_name) {
  return std::string("\nWarning - there is a memory leak in the list_delete function of ") + class_name +
         " class.  This is because ansi c does not support delete( (void *) ptr), i.e., you cannot delete void "
         "objects.  You, as a scheduler client, are not resposibile for this problem.  This message is simply to "
         "note that there are some known memory leaks in vela and to note the situations in which they occur.\n";
}

class OnceOnlyReset : public testing::Test {
 protected:
  void SetUp() override { reset_once_only_flags(); }
};

using StringListTest = OnceOnlyReset;
using AssociationListTest = OnceOnlyReset;

TEST_F(StringListTest, CaseRulesOfMembership) {
  StringList exact(LIST_UNORDERED, 0);  // the flag does not make in_list ignore case
  NoCaseUnorderedStringList no_case;
  exact.append("Agent_A");
  no_case.append("Agent_A");
  EXPECT_EQ(exact.in_list("Agent_A"), 1);
  EXPECT_EQ(exact.in_list("agent_a"), 0);
  EXPECT_EQ(no_case.in_list("agent_a"), 1);
  EXPECT_EQ(no_case.in_list("agent_b"), 0);
  // Through the base type the comparison heeds case again.
  StringList& as_base = no_case;
  EXPECT_EQ(as_base.in_list("agent_a"), 0);
  stderr_of([&] {
    exact.delete_list(1);
    no_case.delete_list(1);
  });
}

TEST_F(StringListTest, ReplicationWarningAndLeakNoticeOncePerProcess) {
  StringList first(LIST_UNORDERED, 1);
  first.append("x");
  first.insert(std::string("y"));
  EXPECT_EQ(first.holds_copies(), 1);
  EXPECT_EQ(stderr_of([&] { first.delete_list(0); }), replication_warning + leak_notice("StringList::delete_list"));

  // Later calls print the notice no more; experienced owners get no replication warning.
  NoCaseUnorderedStringList second;
  second.append("z");
  second.set_experienced_client(1);
  EXPECT_EQ(stderr_of([&] { second.delete_list(0); }), "");
  second.set_experienced_client(0);
  second.append("z");
  EXPECT_EQ(stderr_of([&] { second.delete_list(0); }), replication_warning);
  EXPECT_EQ(stderr_of([&] { second.delete_list(0); }), "");  // empty: no warning

  // Strings stored by pointer never raise the replication warning.
  std::string shared = "shared";
  StringList by_pointer(LIST_UNORDERED, 1);
  by_pointer.append(&shared);
  EXPECT_EQ(stderr_of([&] { by_pointer.delete_list(0); }), "");
  EXPECT_EQ(shared, "shared");
}

TEST_F(StringListTest, LeakNoticeComesOnTheFirstCallWhateverTheArguments) {
  StringList empty(LIST_UNORDERED, 1);
  EXPECT_EQ(stderr_of([&] { empty.delete_list(1); }), leak_notice("StringList::delete_list"));
  EXPECT_EQ(stderr_of([&] { empty.delete_list(1); }), "");
}

TEST_F(StringListTest, OwnCopiesAreFreedCallerStringsAreNot) {
  // The sanitizer build checks that copies do not leak and that caller strings are untouched.
  std::string mine = "mine";
  NoCaseUnorderedStringList list;
  list.append("copy");
  list.append(&mine);
  list.insert("front");
  std::string* removed = list[0L];
  EXPECT_EQ(*removed, "front");
  EXPECT_EQ(list.remove(static_cast<void*>(removed), 0, nullptr), 1);
  delete removed;  // removed without freeing: the caller took it over
  stderr_of([&] { list.delete_list(0); });
  EXPECT_EQ(mine, "mine");
  EXPECT_EQ(list.length(), 0);
}

TEST_F(StringListTest, ACopyTakenOutThroughThePlainListPassesToTheCaller) {
  // Whatever the removal path, a copy that left the list is no longer the list's to free,
  // even when the caller stores that very string again by pointer.
  for (bool by_position : {true, false}) {
    StringList list(LIST_UNORDERED, 1);
    list.append("copy");
    list.append("kept");
    std::string* copy = list[0L];
    List& plain = list;
    EXPECT_EQ(by_position ? plain.remove(0L, 0, nullptr) : plain.remove(static_cast<void*>(copy), 0, nullptr), 1);
    list.append(copy);
    stderr_of([&] { list.delete_list(0); });
    EXPECT_EQ(*copy, "copy");
    delete copy;
  }
}

TEST_F(StringListTest, SimplePrintAndNullText) {
  StringList list(LIST_UNORDERED, 1);
  EXPECT_EQ(written_to_stream([&](FILE* f) { list.simple_print(f); }), "\n");
  list.append("a");
  list.append("b");
  EXPECT_EQ(written_to_stream([&](FILE* f) { list.simple_print(f); }), "a b \n");
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(list.append(static_cast<const char*>(nullptr)), -1); }),
            "Warning - item received by list insert was NULL.  Attempting to continue.\n");
  EXPECT_EQ(list.length(), 2);
  stderr_of([&] { list.delete_list(1); });
}

TEST_F(StringListTest, OrderedInsertionFollowsTheCaseFlag) {
  StringList exact(LIST_ASCENDING, 1);
  StringList no_case(LIST_ASCENDING, 0);
  for (const char* text : {"b", "C", "a"}) {
    exact.insert_in_order(std::string(text));
    no_case.insert_in_order(std::string(text));
  }
  EXPECT_EQ(written_to_stream([&](FILE* f) { exact.simple_print(f); }), "C a b \n");
  EXPECT_EQ(written_to_stream([&](FILE* f) { no_case.simple_print(f); }), "a b C \n");
  stderr_of([&] {
    exact.delete_list(1);
    no_case.delete_list(1);
  });
}

TEST(IntListTest, OrderedInsertAndPrint) {
  long three = 3, one = 1, two = 2;
  IntList list(LIST_ASCENDING);
  list.insert_in_order(&three);
  list.insert_in_order(&one);
  list.insert_in_order(&two);
  EXPECT_EQ(*list[0L], 1);
  EXPECT_EQ(written_to_stream([&](FILE* f) { list.simple_print(f); }), "1 2 3 \n");
  EXPECT_EQ(written_to_stream([&](FILE* f) { long_print(f, &three); }), "3 ");
  list.delete_list(0, nullptr);
}

TEST_F(AssociationListTest, AddReplacesIgnoringCaseAndTakesTheNewSpelling) {
  AssociationList list;
  int first = 1, second = 2, other = 3;
  EXPECT_EQ(list.add("Colour", &first), 0);
  EXPECT_EQ(list.add("COLOUR", &second), 0);
  EXPECT_EQ(list.length(), 1);
  EXPECT_EQ(list.get_association_at(0L)->return_key(), "COLOUR");
  EXPECT_EQ(list["colour"], &second);
  EXPECT_EQ(list.add("get_me_the_dp_for_this_task", &other), 1);
  EXPECT_EQ(list.get_association_at("GET_ME_THE_DP_FOR_THIS_TASK")->return_item(), &other);
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(list["missing"], nullptr); }), "");
  EXPECT_EQ(list.get_association_at("missing"), nullptr);
  list.add("empty", nullptr);
  EXPECT_EQ(written_to_stream([&](FILE* f) { list.print(f); }),
            "Association list: (COLOUR  not null) (get_me_the_dp_for_this_task  not null) (empty  null) ");
  EXPECT_EQ(Association().return_key(), "empty_association_key");
  list.delete_list(0);
}

TEST_F(AssociationListTest, LeakNoticeOnlyWithFreeAndOncePerProcess) {
  AssociationList list;
  int item = 0;
  list.add("a", &item);
  EXPECT_EQ(stderr_of([&] { list.delete_list(0); }), "");
  EXPECT_EQ(list.length(), 0);
  list.add("a", &item);
  EXPECT_EQ(stderr_of([&] { list.delete_list(1); }), leak_notice("AssociationList"));
  list.add("a", &item);
  EXPECT_EQ(stderr_of([&] { list.delete_list(1); }), "");
  EXPECT_EQ(item, 0);  // items are never touched
}

TEST_F(AssociationListTest, SharedAssociationsLiveUntilTheLastListLetsThemGo) {
  // Either list may be emptied first; the other still reads the entries, and the
  // sanitizer build checks that each association is freed exactly once.
  for (bool maker_first : {true, false}) {
    int item = 7;
    AssociationList maker;
    maker.add("colour", &item);
    maker.add("shape", nullptr);
    AssociationList sharer;
    EXPECT_EQ(sharer.append_list_not_copy_items(&maker), 2);
    AssociationList& emptied_first = maker_first ? maker : sharer;
    AssociationList& still_holding = maker_first ? sharer : maker;
    emptied_first.delete_list(0);
    EXPECT_EQ(still_holding["COLOUR"], &item);
    EXPECT_EQ(still_holding.get_association_at(1L)->return_key(), "shape");
    still_holding.delete_list(0);
    EXPECT_EQ(item, 7);
  }
}

TEST_F(AssociationListTest, StringAssociationsPrintAndMoveBetweenLists) {
  char red[] = "red", blue[] = "blue";
  StringAssociationList pending;
  EXPECT_EQ(pending.add("colour", red), 0);
  EXPECT_EQ(pending.add("Colour", blue), 0);
  EXPECT_EQ(pending.add("shape", red), 1);
  EXPECT_STREQ(pending["COLOUR"], "blue");
  EXPECT_EQ(pending["size"], nullptr);
  EXPECT_EQ(written_to_stream([&](FILE* f) { pending.string_print(f); }),
            "String association list: (|Colour| |blue|) (|shape| |red|) \n");
  EXPECT_EQ(written_to_stream([&](FILE* f) { pending.print(f); }),
            "Association list: (Colour  not null) (shape  not null) ");

  // Pending entries move to their owner: emptying without free must leave them alive.
  StringAssociationList owner;
  owner.append_list_not_copy_items(&pending);
  pending.delete_list(0);
  EXPECT_EQ(pending.length(), 0);
  EXPECT_STREQ(owner["shape"], "red");
  EXPECT_EQ(owner.get_association_at(0)->return_key(), "Colour");
  owner.delete_list(1);
  EXPECT_STREQ(red, "red");  // the texts belong to the caller
}

TEST(AssociationListDeathTest, PositionOutOfRangeNamesTheList) {
  AssociationList list;
  EXPECT_EXIT(list.get_association_at(0L), testing::KilledBySignal(SIGABRT),
              foundation_test::Exactly("Error, attempt to outside of list bounds.\n"
                                       "List index 0 & num in list 0.\n"
                                       "Msg: AssociationList access function.\n"));
}

}  // namespace

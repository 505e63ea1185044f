#include <gtest/gtest.h>
#include <strings.h>

#include <string>

#include "foundation/foundation_test_support.h"
#include "foundation/typed_list.h"

using foundation_test::Exactly;
using foundation_test::stderr_of;

namespace {

struct Gadget {
  std::string id;
  int* deletions = nullptr;
  ~Gadget() {
    if (deletions != nullptr) (*deletions)++;
  }
  void print(FILE* stream) { fprintf(stream, "[%s]", id.c_str()); }
};

void gadget_delete_function(void* item) { delete static_cast<Gadget*>(item); }

// Looked up ignoring case, with a message on a miss; adds at the back.
class GadgetList : public TypedList<GadgetList, Gadget> {
 public:
  static constexpr const char* access_text = "GadgetList access function";
  static constexpr bool adds_at_front = false;
  static void delete_function(void* item) { gadget_delete_function(item); }
  static bool has_key(Gadget* item, const char* key) { return strcasecmp(item->id.c_str(), key) == 0; }
  static void report_missing_key(const char* key) {
    fprintf(stderr, "Warning - unable to locate task list member %s.\n", key);
  }
};

// Looked up exactly and silently; adds at the front; refuses untyped appends.
class WidgetList : public TypedList<WidgetList, Gadget> {
 public:
  static constexpr const char* access_text = "WidgetList access function";
  static constexpr bool adds_at_front = true;
  static void delete_function(void* item) { gadget_delete_function(item); }
  static bool has_key(Gadget* item, const char* key) { return item->id == key; }
  void append(void*) { refuse_untyped_list_access(); }
};

TEST(TypedListTest, LookupCaseRulesAndMissMessages) {
  GadgetList gadgets;
  WidgetList widgets;
  Gadget alpha{"Alpha"}, beta{"Beta"};
  gadgets.add(&alpha);
  gadgets.add(&beta);
  widgets.add(&alpha);
  widgets.add(&beta);

  EXPECT_EQ(gadgets.get("aLPHA"), &alpha);
  EXPECT_EQ(gadgets[std::string("BETA")], &beta);
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(gadgets.get("gamma"), nullptr); }),
            "Warning - unable to locate task list member gamma.\n");

  EXPECT_EQ(widgets.get("Alpha"), &alpha);
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(widgets.get("alpha"), nullptr); }), "");

  gadgets.delete_list(0);
  widgets.delete_list(0);
}

TEST(TypedListTest, AddPlacesPerClassAndPositionalAccess) {
  GadgetList back;
  WidgetList front;
  Gadget a{"a"}, b{"b"}, c{"c"};
  EXPECT_EQ(back.add(&a), 0);
  EXPECT_EQ(back.add(&b), 1);
  EXPECT_EQ(front.add(&a), 0);
  EXPECT_EQ(front.add(&b), 0);
  front.TypedList<WidgetList, Gadget>::append(&c);
  EXPECT_EQ(back[1], &b);
  EXPECT_EQ(front.get(0L), &b);
  EXPECT_EQ(front[2], &c);
  EXPECT_EQ(front.in_list(&c), 1);
  EXPECT_EQ(back.in_list(&c), 0);
  std::string text = foundation_test::written_to_stream([&](FILE* f) { front.print(f); });
  EXPECT_EQ(text, "[b][a][c]");
  back.delete_list(0);
  front.delete_list(0);
}

TEST(TypedListTest, RemovalAndDeletionUseTheClassDeleteFunction) {
  int deletions = 0;
  GadgetList gadgets;
  for (const char* id : {"a", "b", "c", "d"}) gadgets.add(new Gadget{id, &deletions});
  Gadget* b = gadgets.get("b");
  EXPECT_EQ(gadgets.remove(b, 1), 1);
  EXPECT_EQ(deletions, 1);
  Gadget* c = gadgets[1];
  EXPECT_EQ(gadgets.remove(1, 0), 1);  // unlinked only
  EXPECT_EQ(deletions, 1);
  delete c;
  EXPECT_EQ(deletions, 2);
  gadgets.delete_list(1);
  EXPECT_EQ(deletions, 4);
  EXPECT_EQ(gadgets.length(), 0);
}

TEST(TypedListDeathTest, AccessPastTheEndNamesTheClass) {
  GadgetList gadgets;
  Gadget a{"a"};
  gadgets.add(&a);
  EXPECT_EXIT(gadgets.get(gadgets.length()), testing::KilledBySignal(SIGABRT),
              Exactly("Error, attempt to outside of list bounds.\n"
                      "List index 1 & num in list 1.\n"
                      "Msg: GadgetList access function.\n"));
  EXPECT_EXIT(gadgets.get(-1L), testing::KilledBySignal(SIGABRT),
              foundation_test::Contains({"Msg: GadgetList access function.\n"}));
  gadgets.delete_list(0);
}

TEST(TypedListDeathTest, UntypedAppendIsRefused) {
  WidgetList widgets;
  Gadget a{"a"};
  EXPECT_EXIT(widgets.append(static_cast<void*>(&a)), testing::KilledBySignal(SIGABRT),
              Exactly("Error, attempting to use a void* list access function when sub\n"
                      "prohibits untyped access.\n"));
}

}  // namespace

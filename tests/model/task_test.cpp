#include "model/task.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <string>

#include "model/nle.h"
#include "model/printed_text.h"
#include "model/resource.h"
#include "model/task_tree_support.h"
#include "scheduler/decision_point.h"

using testing::HasSubstr;

namespace {

template <class T>
T* node(const char* id) {
  return task_tree_test::node<T>(id, "agent_a");
}

using task_tree_test::link;

std::string ids(TaskList& list) {
  std::string text;
  list.string_print_task_ids_on_one_line(text);
  return text;
}

// G (sum) over T1 (max) over M1, M2; G also over M3.
struct SmallTree {
  TaskGroup* g = node<TaskGroup>("G");
  Task* t1 = node<Task>("T1");
  Method* m1 = node<Method>("M1");
  Method* m2 = node<Method>("M2");
  Method* m3 = node<Method>("M3");
  SmallTree() {
    g->qaf = VORNA_SUM;
    t1->qaf = VORNA_MAX;
    link(g, t1);
    link(t1, m1);
    link(t1, m2);
    link(g, m3);
  }
  ~SmallTree() { delete g; }
};

// Top over A and B, both over M; B names M twice. The caller deletes top.
template <class Top>
struct Diamond {
  Top* top;
  Task* a = node<Task>("A");
  Task* b = node<Task>("B");
  Method* m = node<Method>("M");
  explicit Diamond(const char* top_id) : top(node<Top>(top_id)) {
    link(top, a);
    link(top, b);
    link(a, m);
    link(b, m);
    link(b, m);
  }
};

}  // namespace

TEST(TaskTree, NodesAreNumberedInCreationOrder) {
  reset_task_creation_counter();
  TaskGroup g;
  Method m;
  EXPECT_EQ(g.dot_id, "0");
  EXPECT_EQ(m.dot_id, "1");
  EXPECT_EQ(g.task_type, VORNA_TASK_GROUP);
  EXPECT_EQ(m.task_type, VORNA_METHOD);
}

TEST(TaskList, FindsIdsIgnoringCaseAndWarnsOnAMiss) {
  TaskList list;
  Task a, b;
  a.id = "Alpha";
  b.id = "beta";
  list.add(&a);
  list.add(&b);
  EXPECT_EQ(list.get(1L), &b);
  EXPECT_EQ(list.get("ALPHA"), &a);
  testing::internal::CaptureStderr();
  EXPECT_EQ(list.get("gamma"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Warning - unable to locate task list member gamma.\n");
  list.delete_list(0);
}

TEST(TaskTree, RelationsAndCollectionsWalkDepthFirst) {
  SmallTree t;
  EXPECT_TRUE(t.m1->is_ancestor(t.g));
  EXPECT_FALSE(t.m1->is_ancestor(t.m1));
  EXPECT_TRUE(t.g->is_descendant(t.m2));
  EXPECT_FALSE(t.t1->is_descendant(t.m3));
  EXPECT_TRUE(t.t1->is_directly_related(t.t1));
  EXPECT_FALSE(t.t1->is_directly_related(t.m3));

  TaskList out;
  t.g->list_all_descendants(out);
  t.g->list_all_descendants_not_methods(out);
  t.g->list_all_methods_for_task(out);
  t.m2->list_all_ancestors(out);
  t.m1->list_all_method_siblings(out);
  EXPECT_EQ(ids(out), "T1 M1 M2 M3 T1 M1 M2 M3 T1 G M1 M2 ");
  out.delete_list(0);
}

TEST(TaskTree, SigmoidMultiplierTakesTheFirstOfTheLargestThresholdsNotAboveX) {
  Task t;
  t.qaf = VORNA_SIGMOID;
  for (auto [threshold, multiplier] : {std::pair{0.0f, 0.1f}, {5.0f, 0.5f}, {5.0f, 0.7f}, {10.0f, 1.2f}}) {
    t.sigmoid_function_if_qaf_is_sigmoid.append(threshold, multiplier);
  }
  for (auto [x, expected] : {std::pair{7.0f, 0.5f}, {10.0f, 1.2f}, {-1.0f, 1.0f}, {0.0f, 0.1f}, {99.0f, 1.2f}}) {
    EXPECT_FLOAT_EQ(t.calc_sigmoid_multiplier(x), expected) << x;
  }
}

TEST(TaskTreeDeathTest, MisuseStops) {
  const std::string close = "\n\a**Unrecoverable Error**\n**Scheduling operation terminated**\n";
  Task t;
  t.id = "T9";
  t.qaf = VORNA_MAX;
  EXPECT_EXIT(t.calc_sigmoid_multiplier(1.0f), testing::KilledBySignal(SIGABRT),
              HasSubstr("Error, sigmoid multiplier function called for a task\n"
                        " that does not use a sigmoid qaf.  Task id is T9.\n" + close));
  t.qaf = VORNA_SIGMOID;
  EXPECT_EXIT(t.calc_sigmoid_multiplier(1.0f), testing::KilledBySignal(SIGABRT),
              HasSubstr("Error, task has a sigmoid qaf but no function has been\n"
                        " specified.  Task id is T9.\n" + close));
  EXPECT_EXIT(t.set_deadlines_and_earliest_from_task_group_if_not_set(nullptr), testing::ExitedWithCode(1),
              "^set_deadlines_and_earliest_from_task_group_if_not_set is depricated.\n$");
  EXPECT_EXIT(BasicTask::propagate_nle_to_all_methods(nullptr), testing::ExitedWithCode(1),
              "^BasicTask::propagate_.. got a NULL pointer\n$");
  // An effect bound at one end only has no owner for its copies: refused the same way.
  UnBoundedFacilitates half_bound;
  half_bound.from = &t;
  EXPECT_EXIT(BasicTask::propagate_nle_to_all_methods(&half_bound), testing::ExitedWithCode(1),
              "^BasicTask::propagate_.. got a NULL pointer\n$");
}

TEST(TaskTree, PropagationTightensTimesPerLevelOrFromTheNodeOnly) {
  // G (deadline 50, est 10) over: T (deadline 30, est 15) over M; A (60, 5); B (unset); C (40, 20).
  for (int to_children = 0; to_children < 2; to_children++) {
    TaskGroup* g = node<TaskGroup>("G");
    Task* t = node<Task>("T");
    Method* m = node<Method>("M");
    Task* a = node<Task>("A");
    Task* b = node<Task>("B");
    Task* c = node<Task>("C");
    for (BasicTask* sub : std::initializer_list<BasicTask*>{t, a, b, c}) link(g, sub);
    link(t, m);
    g->deadline = 50.0f, g->earliest_start_time = 10.0f;
    t->deadline = 30.0f, t->earliest_start_time = 15.0f;
    a->deadline = 60.0f, a->earliest_start_time = 5.0f;
    c->deadline = 40.0f, c->earliest_start_time = 20.0f;
    if (to_children) {
      g->propagate_deadlines_and_earliest_from_task_to_children();
    } else {
      g->propagate_deadlines_and_earliest_from_task_to_subs_only_then_recurse();
    }
    EXPECT_EQ(a->deadline, 50.0f);
    EXPECT_EQ(b->deadline, 50.0f);
    EXPECT_EQ(c->deadline, 40.0f);
    EXPECT_EQ(a->earliest_start_time, 10.0f);
    EXPECT_EQ(b->earliest_start_time, 10.0f);
    EXPECT_EQ(c->earliest_start_time, 20.0f);
    EXPECT_EQ(t->deadline, 30.0f);
    EXPECT_EQ(m->deadline, to_children ? 50.0f : 30.0f);
    EXPECT_EQ(m->earliest_start_time, to_children ? 10.0f : 15.0f);
    delete g;
  }
}

// Ownership: these prove themselves under the sanitizer build, which reports any node or
// effect freed twice or never.
TEST(TaskOwnership, DeletingATaskGroupFreesEveryNodeAndOwnedEffectOnce) {
  Diamond<TaskGroup> tree("G");
  TaskGroup* g = tree.top;
  Task* a = tree.a;
  Method* m = tree.m;
  m->outcomes.append(new Outcome);
  Enables* e = new Enables;
  e->from = m;
  e->to = a;
  m->affects_conceptually->add(e);
  a->affected_by_conceptually->add(e);
  Uses* u = new Uses;
  u->id = "use_1";
  m->affects_resource->add(u);
  testing::internal::CaptureStderr();
  delete g;
  EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("Deleted a resource nle use_1\n"));
}

TEST(TaskOwnership, ANodeSharedByTwoTaskGroupsLivesUntilTheLastGoes) {
  TaskGroup* g1 = node<TaskGroup>("G1");
  TaskGroup* g2 = node<TaskGroup>("G2");
  Task* shared = node<Task>("shared");
  link(g1, shared);
  link(g2, shared);
  link(shared, node<Method>("below"));
  link(g1, node<Method>("own"));
  delete g1;
  EXPECT_EQ(ids(g2->subtasks), "shared ");
  EXPECT_EQ(ids(shared->supertasks), "G2 ");
  EXPECT_EQ(ids(shared->subtasks), "below ");
  delete g2;
}

TEST(TaskOwnership, ANodeDeletedDirectlyLeavesNoLinkBehind) {
  SmallTree t;
  delete t.t1;
  EXPECT_EQ(ids(t.g->subtasks), "M3 ");
}

TEST(TaskTree, EffectsAreCopiedOntoEveryMethodUnderTheTarget) {
  SmallTree t;
  Method* source = node<Method>("S");
  UnBoundedFacilitates* e = new UnBoundedFacilitates;
  e->from = source;
  e->to = t.t1;
  source->affects_conceptually->add(e);
  BasicTask::propagate_nle_to_all_methods(e);
  ASSERT_EQ(source->affects_actually->length(), 2);
  ASSERT_EQ(t.m1->affected_by_actually->length(), 1);
  EXPECT_EQ(t.m3->affected_by_actually->length(), 0);
  NLE* copy = t.m1->affected_by_actually->get(0L);
  EXPECT_NE(copy, e);
  EXPECT_EQ(copy->to, t.m1);
  EXPECT_EQ(copy->from, source);
  EXPECT_TRUE(source->affects_actually->in_list(copy));
  delete source;  // owns the effect and its copies, which leave the methods' lists
  EXPECT_EQ(t.m1->affected_by_actually->length(), 0);
}

TEST(TaskTree, AMethodReachedByTwoPathsGetsOneCopyOfAnEffect) {
  // Facilitates 0.5 on quality 10 is 15, whether the effect aims at the top (three
  // paths to M) or at B (a link written twice).
  for (bool at_top : {true, false}) {
    Diamond<Task> tree("T");
    Method* m = tree.m;
    Method* source = node<Method>("S");
    UnBoundedFacilitates* e = new UnBoundedFacilitates;
    e->from = source;
    e->to = at_top ? static_cast<BasicTask*>(tree.top) : tree.b;
    e->quality_power_uncertainty.append(1.0f, 0.5f);
    source->affects_conceptually->add(e);
    BasicTask::propagate_nle_to_all_methods(e);
    EXPECT_EQ(source->affects_actually->length(), 1) << at_top;
    DistributionBundle bundle;
    bundle.quality.append(1.0f, 10.0f);
    for (long i = 0; i < m->affected_by_actually->length(); i++)
      m->affected_by_actually->get(i)->apply_nle_to(bundle, 1, SCHEDULE_USING_UNCERTAINTY, 0.0f);
    EXPECT_FLOAT_EQ(bundle.quality.get_expected_value(), 15.0f) << at_top;
    delete source;
    delete tree.top;
  }
}

TEST(TaskOwnership, AFreedEffectLeavesNoPointerInTheNodesThatOutliveIt) {
  // G1 over S and X, G2 over X and Y; X over M. S affects X, Y affects S's sibling O in G1.
  TaskGroup *g1 = node<TaskGroup>("G1"), *g2 = node<TaskGroup>("G2");
  Method *s = node<Method>("S"), *o = node<Method>("O"), *m = node<Method>("M"), *y = node<Method>("Y");
  Task* x = node<Task>("X");
  for (BasicTask* sub : std::initializer_list<BasicTask*>{s, o, x}) link(g1, sub);
  for (BasicTask* sub : std::initializer_list<BasicTask*>{x, y}) link(g2, sub);
  link(x, m);
  auto bind = [](BasicTask* from, BasicTask* to) {
    NLE* e = new Enables;
    e->from = from;
    e->to = to;
    from->affects_conceptually->add(e);
    to->affected_by_conceptually->add(e);
    BasicTask::propagate_nle_to_all_methods(e);
    return e;
  };
  bind(s, x);
  NLE* on_the_deleted_group = bind(y, o);
  delete g1;
  // The shared node and its method forget the effect and its copy; the effect into the
  // deleted group no longer reaches into it. Printing reads every effect they hold.
  EXPECT_EQ(x->affected_by_conceptually->length(), 0);
  EXPECT_EQ(m->affected_by_actually->length(), 0);
  EXPECT_EQ(on_the_deleted_group->to, nullptr);
  EXPECT_EQ(y->affects_actually->get(0L)->to, nullptr);
  testing::internal::CaptureStdout();
  x->print(stdout);
  m->print(stdout);
  y->print(stdout);
  EXPECT_THAT(testing::internal::GetCapturedStdout(), HasSubstr("NLEs from conceptually : unbound\n"));
  delete g2;
}

TEST(TaskTree, ResetAndOutcomeCountsCoverTheMethodsAtOrUnderTheNode) {
  SmallTree t;
  for (Method* m : {t.m1, t.m3}) {
    m->method_is_complete = 1;
    m->start_time = m->finish_time = m->accrued_time = 1.0f;
    m->index_of_current_or_final_outcome = 0;
    m->current_or_final_outcome.quality.append(1.0f, 5.0f);
  }
  t.t1->running_new_exp_reset_tg();
  EXPECT_EQ(t.m1->method_is_complete, 0);
  EXPECT_EQ(t.m1->start_time, -9.0f);
  EXPECT_EQ(t.m1->index_of_current_or_final_outcome, -1);
  EXPECT_EQ(t.m1->current_or_final_outcome.quality.length(), 0);
  EXPECT_EQ(t.m3->method_is_complete, 1);

  t.m2->outcomes.append(new Outcome);
  EXPECT_EQ(t.g->some_methods_use_multiple_outcomes_feature(), 0);
  t.m2->outcomes.append(new Outcome);
  EXPECT_EQ(t.t1->some_methods_use_multiple_outcomes_feature(), 1);
  EXPECT_EQ(t.m3->some_methods_use_multiple_outcomes_feature(), 0);
}

TEST(TaskTree, DecisionPointLinksAreVerified) {
  SmallTree t;
  EXPECT_EQ(BasicTask::get_dp_of_task(nullptr), nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(t.t1->verify_task_to_dp_links_and_vice_versa(), 0);
  EXPECT_THAT(testing::internal::GetCapturedStderr(),
              HasSubstr("Error, task points to a null dp.  Task follows:\n Task ID T1 of agent agent_a\n"));

  DecisionPoint dp_t1, dp_m1, dp_m2;
  for (auto [task, dp] : {std::pair<BasicTask*, DecisionPoint*>{t.t1, &dp_t1}, {t.m1, &dp_m1}, {t.m2, &dp_m2}}) {
    task->set_dp_of_task(dp);
    dp->set_task_or_method(task);
    dp->of_task = task->id;
  }
  dp_t1.subs.add(&dp_m1);
  dp_t1.subs.add(&dp_m2);
  testing::internal::CaptureStderr();
  EXPECT_EQ(t.t1->verify_task_to_dp_links_and_vice_versa(), 1);
  EXPECT_THAT(testing::internal::GetCapturedStderr(),
              HasSubstr("BasicTask T1 (at " + std::to_string(reinterpret_cast<long>(t.t1)) +
                        ") and its associated dp T1 (at " + std::to_string(reinterpret_cast<long>(&dp_t1)) +
                        ") are fine.\n"));
  dp_t1.subs.delete_list(0);
  // The node is also stored under its attribute key, and that entry is the node's too.
  EXPECT_EQ(t.m1->attributes[DP_ATTRIBUTE_KEY], &dp_m1);
  {
    DecisionPoint later;
    later.set_task_or_method(t.m1);
    t.m1->set_dp_of_task(&later);
    EXPECT_EQ(BasicTask::get_dp_of_task(t.m1), &later);
  }
  // A freed node leaves neither behind.
  EXPECT_EQ(BasicTask::get_dp_of_task(t.m1), nullptr);
  EXPECT_EQ(t.m1->attributes[DP_ATTRIBUTE_KEY], nullptr);
  EXPECT_NE(t.m1->attributes.get_association_at(DP_ATTRIBUTE_KEY), nullptr);
}

TEST(TaskPrint, HierarchyAndMethodForms) {
  SmallTree t;
  EXPECT_EQ(printed_text([&](FILE* f) { t.g->print_hierarchy(f, 0); }),
            "G belonging to agent_a of type 2\n"
            "    T1 belonging to agent_a of type 3\n"
            "        M1 belonging to agent_a of type 1\n"
            "        M2 belonging to agent_a of type 1\n"
            "    M3 belonging to agent_a of type 1\n");

  std::string group = printed_text([&](FILE* f) { t.g->print(f); });
  EXPECT_THAT(group, HasSubstr("         Immediate subs names: T1 M3\n"));
  EXPECT_THAT(group, HasSubstr("         All methods for task : M1 M2 M3\n"));
  EXPECT_THAT(group, HasSubstr("\n Importance: 0\n"));
  EXPECT_EQ(group.find("Importance"), group.rfind("Importance"));

  t.m1->method_is_complete = 1;
  t.m1->qaf = METHOD_ANYTIME_QAF;
  t.m1->method_is_local = 0;
  EXPECT_THAT(printed_text([&](FILE* f) { t.m1->print(f, "~"); }),
              HasSubstr("~        Finished true\n"
                        "~        Start -9.000000 End -9.000000 Accrued -9.000000\n"
                        "~        Method QAF anytime\n"
                        "~        % Duration used: 1.00\n"
                        "~        Outcomes:\n"
                        "~        Current or final outcome:\n"));
  EXPECT_THAT(printed_text([&](FILE* f) { t.m2->print(f); }),
              HasSubstr("\n Complete? false\n Start -9.000000 End -9.000000 Accrued -9.000000\n"
                        " Method QAF undefined\n  % Duration used: 1.00\n Outcomes:\n"));
}

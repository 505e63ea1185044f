#include "model/hierarchy_display.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "model/nle.h"
#include "model/resource.h"
#include "model/task_tree_support.h"

using testing::HasSubstr;

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

void write_script(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body;
  chmod(path.c_str(), 0755);
}

// Counts the occurrences of a text.
int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

// Stub `dot` and `ghostview` first on PATH, in a directory of the test's own: each
// records its arguments and keeps a copy of the file it was handed, so no real viewer
// ever starts.
class HierarchyDisplay : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vela_display_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    // The stubs name cp by its path: one test leaves nothing but this directory on PATH.
    write_script(dir + "/dot", "echo \"$@\" > " + dir + "/dot.args\n/bin/cp \"$2\" " + dir +
                                   "/got.dot\necho '%!PS-Adobe stub' > \"$4\"\n");
    write_script(dir + "/ghostview",
                 "echo \"$@\" > " + dir + "/ghostview.args\n/bin/cp \"$4\" " + dir + "/got.ps\n");
    const char* path = getenv("PATH");
    old_path = path != nullptr ? path : "";
    setenv("PATH", (dir + ":" + old_path).c_str(), 1);
    reset_task_creation_counter();
  }

  void TearDown() override {
    setenv("PATH", old_path.c_str(), 1);
    int status = system(("rm -rf " + dir).c_str());
    (void)status;
  }

  // The viewer runs in the background after the display returns; once the picture is
  // gone, the stub has made its copies and both files have been removed.
  void wait_for_viewer() {
    std::string graph, picture;
    handed_files(graph, picture);
    for (int i = 0; i < 1000 && exists(picture); i++) usleep(10000);
    EXPECT_FALSE(exists(picture)) << "the viewer's background job did not finish";
  }

  // The two file names the layout tool was given: the description and the picture.
  void handed_files(std::string& graph, std::string& picture) {
    std::istringstream args(read_file(dir + "/dot.args"));
    std::string tps, o;
    args >> tps >> graph >> o >> picture;
    EXPECT_EQ(tps, "-Tps");
    EXPECT_EQ(o, "-o");
  }

  std::string dir;
  std::string old_path;
};

const char* const kHeader =
    "digraph t{ nodesep=.05; size=\"8,10.5\";\n"
    "page=\"8.5,11\"; margin=\"0,0\";\n"
    "fontsize=15; font=helvetica; center=1;\n";

using task_tree_test::link;
using task_tree_test::node;

// G (sum) over T (max) over M1, M2; G also over M3; M1 enables M3, uses resource "3";
// resource "3" limits T. Node names are 0 to 4 in that order.
struct DrawnTree {
  TaskGroup* g = node<TaskGroup>("G");
  Task* t = node<Task>("T");
  Method* m1 = node<Method>("M1");
  Method* m2 = node<Method>("M2");
  Method* m3 = node<Method>("M3");
  DrawnTree() {
    g->qaf = VORNA_SUM;
    t->qaf = VORNA_MAX;
    link(g, t);
    link(t, m1);
    link(t, m2);
    link(g, m3);
    Enables* e = new Enables;
    e->from = m1;
    e->to = m3;
    m1->affects_conceptually->add(e);
    m3->affected_by_conceptually->add(e);
    Uses* u = new Uses;
    u->id = "u";
    u->resource_id = "3";
    m1->affects_resource->add(u);
    Limits* l = new Limits;
    l->id = "l";
    l->resource_id = "3";
    t->affected_by_resource->add(l);
  }
  ~DrawnTree() {
    testing::internal::CaptureStderr();
    delete g;
    testing::internal::GetCapturedStderr();
  }
};

}  // namespace

TEST_F(HierarchyDisplay, WritesTheGraphRunsTheToolsAndTheChildRemovesBothFiles) {
  DrawnTree tree;
  ResourceList resources;
  resources.add(new ConsumableResource);
  resources.get(0L)->id = "3";
  resources.add(new NonConsumableResource);
  resources.get(0L)->id = "tool-x.b/1";

  testing::internal::CaptureStderr();
  tree.g->display_hierarchy_via_dot("rankdir=LR;", resources);
  wait_for_viewer();
  std::string err = testing::internal::GetCapturedStderr();

  EXPECT_EQ(read_file(dir + "/got.dot"), std::string(kHeader) +
                                             "rankdir=LR;\n"
                                             "0 [shape=ellipse, label=\"G\"];\n"
                                             "2 -> 4 [style=dotted, label=\"enables\"];\n"
                                             "\"r:tool-x.b/1\" [shape=polygon, sides=3, label=\"tool-x.b/1\"];\n"
                                             "\"r:3\" [shape=polygon, sides=3, label=\"3\"];\n"
                                             "\"r:3\" -> 1 [style=dotted, label=\"Limits\"];\n"
                                             "2 -> \"r:3\" [style=dotted, label=\"Consumes\"];\n"
                                             "0->1 [label=\"sum()\"];\n"
                                             "0->4;\n"
                                             "1 [shape=ellipse, label=\"T\"];\n"
                                             "1->2 [label=\"max()\"];\n"
                                             "1->3;\n"
                                             "2 [shape=box, label=\"M1\"];\n"
                                             "3 [shape=box, label=\"M2\"];\n"
                                             "4 [shape=box, label=\"M3\"];\n"
                                             "}\n");
  std::string graph, picture;
  handed_files(graph, picture);
  EXPECT_EQ(graph.substr(graph.size() - 4), ".dot");
  EXPECT_EQ(picture.substr(picture.size() - 3), ".ps");
  EXPECT_EQ(read_file(dir + "/ghostview.args"), "-magstep -1 -quiet " + picture + "\n");
  EXPECT_EQ(read_file(dir + "/got.ps"), "%!PS-Adobe stub\n");
  EXPECT_EQ(err, "Executing the following system call: dot -Tps " + graph + " -o " + picture +
                     "\nExecuting the following system call: ghostview -magstep -1 -quiet " + picture + "\n");
  EXPECT_FALSE(exists(graph));
  EXPECT_FALSE(exists(picture));
  resources.delete_list(1);
}

TEST_F(HierarchyDisplay, ASingleMethodIsAnEllipseAndTheFilesGoEvenWithoutAViewer) {
  // Only the stub directory on PATH, so the shell finds no viewer at all (status 127).
  unlink((dir + "/ghostview").c_str());
  setenv("PATH", dir.c_str(), 1);
  Method* m = node<Method>("only");
  testing::internal::CaptureStderr();
  m->display_hierarchy_via_dot(nullptr);
  wait_for_viewer();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(read_file(dir + "/got.dot"), std::string(kHeader) + "0 [shape=ellipse, label=\"only\"];\n}\n");
  std::string graph, picture;
  handed_files(graph, picture);
  EXPECT_FALSE(exists(graph));
  EXPECT_FALSE(exists(picture));
  delete m;
}

// The viewer's child must neither write buffers it inherited a second time nor run the
// exit handlers of the program it was forked from.
namespace {
pid_t handler_owner = 0;
std::string handler_marker;
void exit_handler_marks_foreign_process() {
  if (getpid() != handler_owner && !handler_marker.empty()) {
    std::ofstream(handler_marker) << "exit handler ran in the viewer's child\n";
  }
}
}  // namespace

TEST_F(HierarchyDisplay, TheChildWritesNoInheritedBufferTwiceAndRunsNoExitHandlers) {
  handler_owner = getpid();
  handler_marker = dir + "/handler_ran";
  static bool registered = false;
  if (!registered) registered = atexit(exit_handler_marks_foreign_process) == 0;

  FILE* data_file = fopen((dir + "/data.stavo").c_str(), "w");
  ASSERT_NE(data_file, nullptr);
  setvbuf(data_file, nullptr, _IOFBF, 1 << 16);
  fprintf(data_file, "one data row\n");

  Task* t = node<Task>("t");
  testing::internal::CaptureStderr();
  t->display_hierarchy_via_dot(nullptr);
  wait_for_viewer();
  testing::internal::GetCapturedStderr();
  fclose(data_file);
  EXPECT_EQ(count_of(read_file(dir + "/data.stavo"), "one data row\n"), 1);
  EXPECT_FALSE(exists(handler_marker));
  handler_marker.clear();
  delete t;
}

TEST_F(HierarchyDisplay, SeveralTreesAreDrawnInClusters) {
  TaskGroup* a = node<TaskGroup>("A");
  Method* am = node<Method>("am");
  TaskGroup* b = node<TaskGroup>("B");
  Task* bt = node<Task>("bt");
  a->qaf = VORNA_MIN;
  b->qaf = VORNA_SEQ;
  link(a, am);
  link(b, bt);
  Disables* d = new Disables;
  d->from = am;
  d->to = bt;
  am->affects_conceptually->add(d);
  bt->affected_by_conceptually->add(d);
  TaskList roots;
  roots.add(a);
  roots.add(b);

  testing::internal::CaptureStdout();
  display_multiple_hierarchies_via_dot("rankdir=LR;", &roots);
  wait_for_viewer();
  std::string out = testing::internal::GetCapturedStdout();

  EXPECT_EQ(read_file(dir + "/got.dot"),
            "digraph t{ \n"
            "nodesep=.025; size=\"8,10.5\";\n"
            "page=\"8.5,11\"; margin=\".25,.25\";\n"
            "fontsize=15; font=helvetica; center=1;\n"
            "rankdir=LR;\n"
            "\n\n"
            "subgraph cluster0 {\n"
            "0 [label=\"A\", shape=polygon, sides=5, peripheries=2, color=green, style=filled];\n"
            "0->1 [label=\"min()\"];\n"
            "1 [shape=box, label=\"am\"];\n"
            "1 -> 3 [style=dotted, label=\"disables\"];\n"
            "}\n"
            "\n\n"
            "subgraph cluster1 {\n"
            "2 [label=\"B\", shape=polygon, sides=5, peripheries=2, color=green, style=filled];\n"
            "2->3 [label=\"seq()\"];\n"
            "3 [shape=ellipse, label=\"bt\"];\n"
            "}\n"
            "}\n");
  std::string graph, picture;
  handed_files(graph, picture);
  EXPECT_EQ(out, "executing |dot -Tps " + graph + " -o " + picture + " |\ncalling ghostview.\n");
  EXPECT_EQ(read_file(dir + "/ghostview.args"), "-magstep -2 -quiet " + picture + "\n");
  EXPECT_FALSE(exists(graph));
  EXPECT_FALSE(exists(picture));

  // One root: no cluster.
  roots.remove(1L, 0);
  testing::internal::CaptureStdout();
  display_multiple_hierarchies_via_dot(nullptr, &roots);
  wait_for_viewer();
  testing::internal::GetCapturedStdout();
  EXPECT_THAT(read_file(dir + "/got.dot"), testing::Not(HasSubstr("subgraph")));
  roots.delete_list(0);
  delete a;
  delete b;
}

// The description must be input the real layout tool accepts, resource names included.
TEST_F(HierarchyDisplay, TheRealLayoutToolAcceptsTheDescription) {
  if (!exists("/usr/bin/dot")) GTEST_SKIP() << "no /usr/bin/dot";
  DrawnTree tree;
  ResourceList resources;
  resources.add(new ConsumableResource);
  resources.get(0L)->id = "3";
  resources.add(new ConsumableResource);
  resources.get(0L)->id = "odd-{name}%/1.x";
  tree.m2->affects_resource->add(new Produces);
  tree.m2->affects_resource->get(0L)->resource_id = "odd-{name}%/1.x";

  testing::internal::CaptureStderr();
  tree.g->display_hierarchy_via_dot("rankdir=LR;", resources);
  wait_for_viewer();
  testing::internal::GetCapturedStderr();
  std::string picture = dir + "/real.ps";
  std::string command = "/usr/bin/dot -Tps " + dir + "/got.dot -o " + picture + " 2>" + dir + "/dot.err";
  EXPECT_EQ(system(command.c_str()), 0) << read_file(dir + "/dot.err");
  EXPECT_THAT(read_file(picture), HasSubstr("%!PS"));
  resources.delete_list(1);
}

// The outside programs start through a shell that only execs: no copy of the caller runs
// its fork handlers (unsafe in a host with threads), and the display reaps what it starts.
namespace {
pid_t fork_handler_owner = 0;
std::string fork_handler_marker;
bool fork_handler_registered = false;
void fork_child_handler_marks_itself() {
  if (getpid() != fork_handler_owner && !fork_handler_marker.empty()) {
    FILE* marker = fopen(fork_handler_marker.c_str(), "w");
    if (marker != nullptr) fclose(marker);
  }
}
}  // namespace

TEST_F(HierarchyDisplay, LeavesNoChildToReapAndRunsNoForkHandler) {
  fork_handler_owner = getpid();
  fork_handler_marker = dir + "/fork_handler_ran";
  if (!fork_handler_registered)
    fork_handler_registered = pthread_atfork(nullptr, nullptr, fork_child_handler_marks_itself) == 0;
  ASSERT_TRUE(fork_handler_registered);

  DrawnTree tree;
  testing::internal::CaptureStderr();
  tree.g->display_hierarchy_via_dot(nullptr);
  testing::internal::GetCapturedStderr();
  TaskList roots;
  roots.add(tree.t);
  testing::internal::CaptureStdout();
  display_multiple_hierarchies_via_dot(nullptr, &roots);
  testing::internal::GetCapturedStdout();
  roots.delete_list(0);

  int status = 0;
  errno = 0;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  wait_for_viewer();
  EXPECT_FALSE(exists(fork_handler_marker));
  fork_handler_marker.clear();
}

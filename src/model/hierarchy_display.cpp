#include "model/hierarchy_display.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/fatal_stop.h"
#include "foundation/system_wrappers.h"
#include "model/nle.h"
#include "model/resource.h"

namespace {
// The names of the two temporary files: the description and the picture made from it.
// Each is created empty and unique, so no other process can take the name in between.
struct DisplayFiles {
  std::string graph;
  std::string picture;
};

std::string make_temporary_file(const char* suffix) {
  std::string name = std::string(P_tmpdir) + "/velaXXXXXX" + suffix;
  int fd = mkstemps(name.data(), static_cast<int>(std::string(suffix).size()));
  if (fd < 0) perror_exit("Error, unable to create a temporary file for the hierarchy display");
  close(fd);
  return name;
}

DisplayFiles make_display_files() { return {make_temporary_file(".dot"), make_temporary_file(".ps")}; }

std::string format_command(const char* format, const char* a, const char* b, const char* c = nullptr) {
  int size = snprintf(nullptr, 0, format, a, b, c);
  std::string text(static_cast<size_t>(size) + 1, '\0');
  snprintf(text.data(), text.size(), format, a, b, c);
  text.resize(static_cast<size_t>(size));
  return text;
}

// The resource node's name: quoted, since resource ids need not be valid bare names, and
// prefixed, since a numeric resource id could otherwise name a task node.
std::string resource_node(const ID& resource_id) { return "\"r:" + resource_id + "\""; }

// Waits for the shell of an outside program; its status is not examined.
void reap(pid_t shell) {
  int status = 0;
  while (waitpid(shell, &status, 0) < 0 && errno == EINTR) {
  }
}

void run_ignoring_result(const std::string& command) {
  pid_t shell = ib_spawn_shell(command.c_str());
  if (shell > 0) reap(shell);
}

// The viewer goes on after the display returns, so scheduling goes on while the picture
// is open. Its shell starts it in the background, with the removal of both files after it,
// and ends at once; reaping that shell leaves no child behind. The viewer itself, no child
// of this process, is reaped by the system. The removal names its program by path, as
// the shell is named: neither may depend on the search path the viewer is found on.
void show_in_background(const DisplayFiles& files, const char* viewer_format, bool report_on_stdout) {
  FILE* report = report_on_stdout ? stdout : stderr;
  if (report_on_stdout) printf("calling ghostview.\n");
  std::string command = format_command(viewer_format, "ghostview", files.picture.c_str());
  if (!report_on_stdout) fprintf(stderr, "Executing the following system call: %s\n", command.c_str());
  std::string script = "(" + command + "; /bin/rm -f " + files.graph + " " + files.picture + ") &";
  fflush(nullptr);
  pid_t shell = ib_spawn_shell(script.c_str());
  if (shell < 0) {
    fprintf(report, "Exec error during shell to run ghostview.\n");
    fflush(report);
    return;
  }
  reap(shell);
}
}  // namespace

void BasicTask::display_hierarchy_via_dot(const char* extra) {
  ResourceList none;
  display_hierarchy_via_dot(extra, none);
}

void BasicTask::display_hierarchy_via_dot(const char* extra, ResourceList& resources) {
  DisplayFiles files = make_display_files();
  FILE* out = ib_fopen(files.graph.c_str(), "w");
  fprintf(out, "digraph t{ nodesep=.05; size=\"8,10.5\";\n");
  fprintf(out, "page=\"8.5,11\"; margin=\"0,0\";\n");
  fprintf(out, "fontsize=15; font=helvetica; center=1;\n");
  if (extra != nullptr) fprintf(out, "%s\n", extra);
  fprintf(out, "%s [shape=ellipse, label=\"%s\"];\n", dot_id.c_str(), id.c_str());
  display_affects_for_task_hierarchy_via_dot(out);
  if (resources.length() > 0) {
    display_resources_via_dot(out, resources);
    display_resource_nles_via_dot(out);
  }
  display_sub_edges_via_dot(out);
  for (long i = 0; i < subtasks.length(); i++) subtasks.get(i)->continue_display_hierarchy_via_dot(1, out);
  fprintf(out, "}\n");
  fflush(out);
  fclose(out);

  std::string command = format_command("%s -Tps %s -o %s", "dot", files.graph.c_str(), files.picture.c_str());
  fprintf(stderr, "Executing the following system call: %s\n", command.c_str());
  fflush(nullptr);
  // The layout tool's result is not examined: the viewer shows whatever it made.
  run_ignoring_result(command);
  show_in_background(files, "%s -magstep -1 -quiet %s", false);
}

void BasicTask::continue_display_hierarchy_via_dot(long level, FILE* out) {
  const char* shape = task_type == VORNA_METHOD ? "box" : "ellipse";
  fprintf(out, "%s [shape=%s, label=\"%s\"];\n", dot_id.c_str(), shape, id.c_str());
  display_sub_edges_via_dot(out);
  for (long i = 0; i < subtasks.length(); i++) subtasks.get(i)->continue_display_hierarchy_via_dot(level + 1, out);
}

void BasicTask::display_sub_edges_via_dot(FILE* out) {
  for (long i = 0; i < subtasks.length(); i++) {
    BasicTask* sub = subtasks.get(i);
    if (i == 0) {
      fprintf(out, "%s->%s [label=\"%s\"];\n", dot_id.c_str(), sub->dot_id.c_str(), qaf_to_string());
    } else {
      fprintf(out, "%s->%s;\n", dot_id.c_str(), sub->dot_id.c_str());
    }
  }
}

void BasicTask::display_affects_for_task_hierarchy_via_dot(FILE* out) {
  for (long i = 0; i < affects_conceptually->length(); i++) {
    NLE* e = affects_conceptually->get(i);
    // An effect not yet bound at both ends has no edge to draw.
    if (e->from == nullptr || e->to == nullptr) continue;
    fprintf(out, "%s -> %s [style=dotted, label=\"%s\"];\n", e->from->dot_id.c_str(), e->to->dot_id.c_str(),
            e->type_to_string());
  }
  for (long i = 0; i < subtasks.length(); i++) subtasks.get(i)->display_affects_for_task_hierarchy_via_dot(out);
}

void BasicTask::display_resources_via_dot(FILE* out, ResourceList& resources) {
  for (long i = 0; i < resources.length(); i++) {
    Resource* r = resources.get(i);
    fprintf(out, "%s [shape=polygon, sides=3, label=\"%s\"];\n", resource_node(r->id).c_str(), r->id.c_str());
  }
}

void BasicTask::display_resource_nles_via_dot(FILE* out) {
  for (long i = 0; i < affects_resource->length(); i++) {
    ResourceNLE* e = affects_resource->get(i);
    fprintf(out, "%s -> %s [style=dotted, label=\"%s\"];\n", dot_id.c_str(), resource_node(e->resource_id).c_str(),
            e->type_to_string());
  }
  for (long i = 0; i < affected_by_resource->length(); i++) {
    ResourceNLE* e = affected_by_resource->get(i);
    fprintf(out, "%s -> %s [style=dotted, label=\"%s\"];\n", resource_node(e->resource_id).c_str(), dot_id.c_str(),
            e->type_to_string());
  }
  for (long i = 0; i < subtasks.length(); i++) subtasks.get(i)->display_resource_nles_via_dot(out);
}

void display_multiple_hierarchies_via_dot(const char* extra, TaskList* roots) {
  if (roots == nullptr) return;
  DisplayFiles files = make_display_files();
  FILE* out = ib_fopen(files.graph.c_str(), "w");
  fprintf(out, "digraph t{ \n");
  fprintf(out, "nodesep=.025; size=\"8,10.5\";\n");
  fprintf(out, "page=\"8.5,11\"; margin=\".25,.25\";\n");
  fprintf(out, "fontsize=15; font=helvetica; center=1;\n");
  if (extra != nullptr) fprintf(out, "%s\n", extra);
  bool clustered = roots->length() > 1;
  for (long r = 0; r < roots->length(); r++) {
    BasicTask* root = roots->get(r);
    fprintf(out, "\n\n");
    if (clustered) fprintf(out, "subgraph cluster%ld {\n", r);
    fprintf(out, "%s [label=\"%s\", shape=polygon, sides=5, %s\n", root->dot_id.c_str(), root->id.c_str(),
            "peripheries=2, color=green, style=filled];");
    root->display_sub_edges_via_dot(out);
    for (long i = 0; i < root->subtasks.length(); i++) root->subtasks.get(i)->continue_display_hierarchy_via_dot(1, out);
    root->display_affects_for_task_hierarchy_via_dot(out);
    if (clustered) fprintf(out, "}\n");
  }
  fprintf(out, "}\n");
  fflush(out);
  fclose(out);

  std::string command = format_command("%s -Tps %s -o %s ", "dot", files.graph.c_str(), files.picture.c_str());
  printf("executing |%s|\n", command.c_str());
  fflush(nullptr);
  run_ignoring_result(command);
  show_in_background(files, "%s -magstep -2 -quiet %s", true);
}

// Pictures of task hierarchies: a graph description for the layout tool `dot`, turned
// into PostScript and shown by the viewer `ghostview` in the background, so that
// scheduling goes on while the picture is open. Both temporary files are deleted once the
// viewer command has run. The outside programs are started through a shell that only
// execs, and the display leaves no child of the caller behind.
//
// The single-tree form is BasicTask::display_hierarchy_via_dot (task.h).
#pragma once

#include "model/task.h"

// Several trees in one picture, each in its own cluster when there is more than one.
// No resources are drawn. A null list draws nothing.
void display_multiple_hierarchies_via_dot(const char* extra, TaskList* roots);

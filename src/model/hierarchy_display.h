// Pictures of task hierarchies: a graph description for the layout tool `dot`, turned
// into PostScript and shown by the viewer `ghostview` in a child process, so that
// scheduling goes on while the picture is open. The child deletes both temporary files
// once the viewer command has run.
//
// The single-tree form is BasicTask::display_hierarchy_via_dot (task.h).
#pragma once

#include "model/task.h"

// Several trees in one picture, each in its own cluster when there is more than one.
// No resources are drawn. A null list draws nothing.
void display_multiple_hierarchies_via_dot(const char* extra, TaskList* roots);

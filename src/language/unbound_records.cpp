#include "language/unbound_records.h"

#include <strings.h>

#include "foundation/fatal_stop.h"
#include "foundation/tagged_new.h"

UnboundTask::UnboundTask(TaskType type) {
  switch (type) {
    case VORNA_METHOD:
      task = new ("UnboundTask::UnboundTask") Method();
      break;
    case VORNA_TASK_GROUP:
      task = new ("UnboundTask::UnboundTask") TaskGroup();
      break;
    case VORNA_TASK:
      task = new ("UnboundTask::UnboundTask") Task();
      break;
    default:
      fatal_stop("%s%s", "Error, UnboundTask asked to create a task of", " an undefined type.\n");
  }
}

UnboundTask::~UnboundTask() {
  list_of_sub_names.delete_list(1);
  list_of_super_names.delete_list(1);
}

void UnboundTask::print(FILE* stream) {
  fprintf(stream, "Unbound task: %s\n", id.c_str());
  fprintf(stream, "Supers names: ");
  list_of_super_names.simple_print(stream);
  fprintf(stream, "Subs names: ");
  list_of_sub_names.simple_print(stream);
  fprintf(stream, "The task follows: \n");
  if (task != nullptr) task->print(stream);
  fprintf(stream, "\n");
}

UnboundNLE::UnboundNLE(NLETypes type) {
  switch (type) {
    case NLE_U_FACILITATES:
      nle = new ("UnboundNLE::UnboundNLE") UnBoundedFacilitates();
      break;
    case NLE_B_FACILITATES:
      nle = new ("UnboundNLE::UnboundNLE") BoundedFacilitates();
      break;
    case NLE_U_HINDERS:
      nle = new ("UnboundNLE::UnboundNLE") UnBoundedHinders();
      break;
    case NLE_ENABLES:
      nle = new ("UnboundNLE::UnboundNLE") Enables();
      break;
    case NLE_DISABLES:
      nle = new ("UnboundNLE::UnboundNLE") Disables();
      break;
    default:
      fatal_stop("Error, asked to create an untyped nle.\n");
  }
}

void UnboundNLE::print(FILE* stream) {
  fprintf(stream, "UnboundNLE %s, from %s (outcome %s) to %s.\n", nle != nullptr ? nle->nle_id.c_str() : "",
          from.c_str(), outcome_from.c_str(), to.c_str());
  fprintf(stream, "NLE follows:\n");
  if (nle != nullptr) nle->print(stream);
}

UnboundResourceNLE::UnboundResourceNLE(ResourceNLETypes type) {
  switch (type) {
    case RNLE_USES:
      rnle = new ("UnboundResourceNLE::UnboundResourceNLE") Uses();
      break;
    case RNLE_PRODUCES:
      rnle = new ("UnboundResourceNLE::UnboundResourceNLE") Produces();
      break;
    case RNLE_LIMITS:
      rnle = new ("UnboundResourceNLE::UnboundResourceNLE") Limits();
      break;
    default:
      fatal_stop("Error, asked to create an untyped resource nle.\n");
  }
}

void UnboundResourceNLE::print(FILE* stream) {
  fprintf(stream, "UnboundResourceNLE %s, from %s to %s.\n", rnle != nullptr ? rnle->id.c_str() : "", from.c_str(),
          to.c_str());
  fprintf(stream, "ResourceNLE follows:\n");
  if (rnle != nullptr) rnle->print(stream);
}

void UnboundTaskList::delete_function(void* item) { delete static_cast<UnboundTask*>(item); }

bool UnboundTaskList::has_key(UnboundTask* item, const char* key) {
  return strcasecmp(item->id.c_str(), key) == 0;
}

void UnboundTaskList::report_missing_key(const char* key) {
  fprintf(stderr, "Warning - unable to locate task list member %s.\n", key);
}

void UnboundTaskList::print(FILE* stream) {
  TypedList::print(stream);
  fprintf(stream, "\n");
}

void UnboundTaskList::print_task_ids_on_one_line(FILE* stream) {
  for (long i = 0; i < length(); i++) fprintf(stream, "%s ", get(i)->id.c_str());
  fprintf(stream, "\n");
}

void UnboundNLEList::delete_function(void* item) { delete static_cast<UnboundNLE*>(item); }

void UnboundNLEList::print(FILE* stream) {
  TypedList::print(stream);
  fprintf(stream, "\n");
}

void UnboundResourceNLEList::delete_function(void* item) { delete static_cast<UnboundResourceNLE*>(item); }

void UnboundResourceNLEList::print(FILE* stream) {
  TypedList::print(stream);
  fprintf(stream, "\n");
}

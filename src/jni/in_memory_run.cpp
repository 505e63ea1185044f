#include "jni/in_memory_run.h"

#include "driver/scheduling_run.h"

namespace vela_java {

char* jni_client(int numschedules, char pruning_setting, int intermediate_alt_size, int tg_alt_size,
                 int display_via_dot, const char* tvorna) {
  InMemoryTask task;
  task.text = tvorna;
  task.numschedules = numschedules;
  task.pruning_setting = pruning_setting;
  task.intermediate_alt_size = intermediate_alt_size;
  task.tg_alt_size = tg_alt_size;
  task.display_via_dot = display_via_dot;
  SchedulingRunOptions options;
  options.in_memory = &task;
  options.banner = false;
  options.statistics_after_clean_up = false;
  int exit_condition = scheduling_run(0, nullptr, options);
  if (exit_condition == 0) return task.schedule_text;
  delete[] task.schedule_text;
  return nullptr;
}

}  // namespace vela_java

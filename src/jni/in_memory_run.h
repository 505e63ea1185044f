// The scheduling run behind the host's call_vela: the program's flow on a text in memory
// with the parameters as values, no files, and the schedules returned as text.
#pragma once

namespace vela_java {

// The good schedules as spec_schedule records (a new[] text), or null when the run found
// no schedule rated 0 or better. The run's console output keeps quiet while
// Scheduler::silent is set; a fatal error ends the process.
char* jni_client(int numschedules, char pruning_setting, int intermediate_alt_size, int tg_alt_size,
                 int display_via_dot, const char* tvorna);

}  // namespace vela_java

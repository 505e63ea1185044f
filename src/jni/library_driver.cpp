#include "jni/library_driver.h"

#include <cstdio>

#include "driver/scheduling_run.h"
#include "jni/tracking_allocator.h"
#include "language/parser_actions.h"

namespace vela_java {

int main2(int argc, char** argv) {
  SchedulingRunOptions options;
  options.banner = false;
  options.library_analysis_warning = true;
  options.all_data_files = false;
  options.statistics_after_clean_up = false;
  // A usage error ends the host, as it ends the program.
  return scheduling_run(argc, argv, options);
}

void release_after_run(bool announce) {
  // The next read makes it afresh; a flush must not free it under the parser.
  release_vorna_parser_storage();
  if (library_tracker.nonfree_store() > LIBRARY_TRACKER_FLUSH_THRESHOLD) {
    if (announce) fprintf(stderr, "flushing store...\n");
    library_tracker.flush_hash();
  }
}

int main(int argc, char** argv) {
  library_tracker.setup_hash();
  int result = main2(argc, argv);
  release_after_run(true);
  return result;
}

}  // namespace vela_java

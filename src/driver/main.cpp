#include <cstdlib>

#include "driver/scheduling_run.h"

int main(int argc, char** argv) { exit(scheduling_run(argc, argv)); }

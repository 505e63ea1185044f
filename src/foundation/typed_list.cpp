#include "foundation/typed_list.h"

#include <iostream>

#include "foundation/fatal_stop.h"

void refuse_untyped_list_access() {
  std::cerr << "Error, attempting to use a void* list access function when sub\nprohibits untyped access.\n";
  abort_on_broken_promise();
}

// The band within which an executed method's quality, its aggregate cost or its finish
// time may fall before the schedule should be rebuilt. Every schedule element holds
// three, and the language library reads schedules without linking the scheduler, so
// everything here is inline.
#pragma once

#include <cstdio>

class Envelope {
 public:
  void print(FILE* stream) const { fprintf(stream, "Envelope: min %.2f, middle %.2f, max %.2f\n", min, middle, max); }

  // -1.0: no lower bound.
  float min = -1.0f;
  // 99999.0: no upper bound.
  float max = 99999.0f;
  // Printed between the two bounds.
  float middle = 0.0f;
};

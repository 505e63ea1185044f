#include "foundation/combinatorics.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "foundation/fatal_stop.h"
#include "foundation/tagged_new.h"

double fact(unsigned long n) {
  double result = 1;
  for (unsigned long i = 2; i <= n; i++) result *= static_cast<double>(i);
  return result;
}

double choose(unsigned long n, unsigned long k) { return fact(n) / (fact(k) * fact(n - k)); }

double ib_power(unsigned long base, unsigned long exp) {
  double result = 1;
  for (unsigned long i = 0; i < exp; i++) result *= static_cast<double>(base);
  return result;
}

double calc_num_possible_schedules(unsigned long n) {
  double total = 0;
  for (unsigned long k = 1; k <= n; k++) total += choose(n, k) * fact(k);
  return total;
}

const char* boolean_to_string(int b) { return b == 1 ? "true" : "false"; }

long simple_nearest_long(float x) {
  // Out of range the conversion is undefined; the ends of the range stand in, NaN for 0.
  if (std::isnan(x)) return 0;
  if (x >= 9223372036854775808.0f) return LONG_MAX;
  if (x < -9223372036854775808.0f) return LONG_MIN;
  long whole = static_cast<long>(x);
  float fraction = x - static_cast<float>(whole);
  return static_cast<int>(fraction * 10) >= 5 ? whole + 1 : whole;
}

void portable_round(float& x, int digits) {
  char format[32];
  char text[512];
  snprintf(format, sizeof format, "%%.%df", digits);
  snprintf(text, sizeof text, format, x);
  sscanf(text, "%f", &x);
}

long num_in_power_set(long n) {
  // The overflow test has a 32-bit meaning: from 32 members on the count no longer fits.
  uint32_t count = 1;
  for (long i = 0; i < n; i++) count *= 2;
  count -= 1;
  if (static_cast<int32_t>(count) < 1 && n >= 1) {
    error_exit("Error, request to compute the power_set resulted in overflow.\n", 1);
  }
  return static_cast<int32_t>(count);
}

char* power_set(int n) {
  long expected = num_in_power_set(n);
  size_t size = static_cast<size_t>(expected) * (static_cast<size_t>(n) + 1) + 1;
  char* text = new ("power_set") char[size];
  text[0] = '\0';
  if (n <= 0) return text;
  char* marks = new ("power_set") char[n + 1];
  memset(marks, '_', n);
  marks[n - 1] = '1';
  marks[n] = '\0';
  long written = 0;
  char* end = text;
  for (;;) {
    memcpy(end, marks, n);
    end[n] = '|';
    end += n + 1;
    written++;
    int i = n - 1;
    while (i >= 0 && marks[i] == '1') marks[i--] = '_';
    if (i < 0) break;
    marks[i] = '1';
  }
  *end = '\0';
  delete[] marks;
  if (written != expected) fatal_stop("Error, expected %ld combinations, got %ld!\n", expected, written);
  return text;
}

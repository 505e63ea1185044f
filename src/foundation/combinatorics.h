// Sizes of the scheduler's search, the power set of a task's children and small
// rounding and printing helpers.
#pragma once

double fact(unsigned long n);
double choose(unsigned long n, unsigned long k);
double ib_power(unsigned long base, unsigned long exp);
double calc_num_possible_schedules(unsigned long n);
const char* boolean_to_string(int b);
// Out of the long range the nearer end of the range; NaN gives 0.
long simple_nearest_long(float x);
void portable_round(float& x, int digits);
long num_in_power_set(long n);
// All non-empty subsets of n items as marks ('1' in, '_' out), each followed by '|'.
// The caller frees the text with delete[].
char* power_set(int n);

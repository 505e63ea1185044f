// make bench: the distribution combine with compaction, against the same arithmetic over
// stack arrays with no allocation. Both sum two distributions of n pairs and compact the
// product to five values, as every combination of the scheduler does; the ratio of their
// times is what the class costs beyond the arithmetic. The results are checked to be the
// same bits before anything is timed.
//
// usage: combine_bench [MIN_SECONDS]   (per measurement; 0.2 by default)
#include <chrono>
#include <cmath>
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "model/distribution.h"
#include "reference_slot_walk.h"

namespace {

constexpr int MAX_PAIRS = 20;
constexpr int COMPACT_TO = DISTRIBUTION_STANDARD_NUMBER_OF_VALUES;
// Several inputs in turn, so that no single one is learnt by the branch predictor.
constexpr int INPUTS = 64;
const int SIZES[] = {2, 5, 10, 20};

struct Input {
  DistributionPair pairs[MAX_PAIRS];
  int n = 0;
};

// Stable, so the order any stable sort gives: insertion for short runs, then merges
// through a buffer on the stack.
template <class Before>
void stable_sort(DistributionPair* pairs, long n, Before before) {
  constexpr long RUN = 32;
  for (long start = 0; start < n; start += RUN) {
    long end = start + RUN < n ? start + RUN : n;
    for (long i = start + 1; i < end; i++) {
      const DistributionPair moving = pairs[i];
      long j = i;
      for (; j > start && before(moving, pairs[j - 1]); j--) pairs[j] = pairs[j - 1];
      pairs[j] = moving;
    }
  }
  DistributionPair buffer[MAX_PAIRS * MAX_PAIRS];
  for (long width = RUN; width < n; width *= 2) {
    for (long left = 0; left + width < n; left += 2 * width) {
      long middle = left + width;
      long right = middle + width < n ? middle + width : n;
      long i = left, j = middle, k = 0;
      while (i < middle && j < right) buffer[k++] = before(pairs[j], pairs[i]) ? pairs[j++] : pairs[i++];
      while (i < middle) buffer[k++] = pairs[i++];
      while (j < right) buffer[k++] = pairs[j++];
      memcpy(static_cast<void*>(pairs + left), buffer, sizeof(DistributionPair) * k);
    }
  }
}

// The sum of a and b compacted to five values, step for step as the class does it.
int reference_sum(const Input& a, const Input& b, DistributionPair* out) {
  DistributionPair data[MAX_PAIRS * MAX_PAIRS];
  long n = 0;
  Value weighted = 0.0f;
  for (int i = 0; i < a.n; i++) {
    for (int j = 0; j < b.n; j++) {
      Density density = a.pairs[i].density * b.pairs[j].density;
      Value value = a.pairs[i].value + b.pairs[j].value;
      data[n++] = {density, value};
      weighted += value * density;
    }
  }
  auto by_value = [](const DistributionPair& x, const DistributionPair& y) { return x.value < y.value; };
  auto by_density = [](const DistributionPair& x, const DistributionPair& y) { return x.density > y.density; };
  stable_sort(data, n, by_value);
  long i = 0;
  while (i < n - 1) {
    if (data[i].value == data[i + 1].value) {
      data[i].density += data[i + 1].density;
      for (long k = i + 1; k < n - 1; k++) data[k] = data[k + 1];
      n--;
    } else {
      i++;
    }
  }
  if (n <= COMPACT_TO) {
    for (long k = 0; k < n; k++) out[k] = data[k];
    return static_cast<int>(n);
  }
  DistributionPair slots[COMPACT_TO];
  Value min = data[0].value;
  Value max = data[n - 1].value;
  Value ev = weighted;
  slots[0] = {0.0f, min};
  slots[1] = {0.0f, max};
  slots[2] = {0.0f, ev};
  int filled = 3;
  stable_sort(data, n, by_density);
  for (long k = 0; k < n && filled < COMPACT_TO; k++) {
    Value v = data[k].value;
    if (v != min && v != max && v != ev) slots[filled++] = {0.0f, v};
  }
  int m = filled;
  stable_sort(slots, m, by_value);
  reference_add_to_nearest_slots(data, n, slots, m);
  for (int j = 0; j < m; j++) out[j] = slots[j];
  return m;
}

std::vector<Input> make_inputs(int n, std::mt19937& rng) {
  std::uniform_int_distribution<int> value(0, 2000);
  std::uniform_int_distribution<int> weight(1, 9);
  std::vector<Input> inputs(INPUTS);
  for (Input& in : inputs) {
    in.n = n;
    int total = 0;
    int weights[MAX_PAIRS];
    for (int k = 0; k < n; k++) total += weights[k] = weight(rng);
    for (int k = 0; k < n; k++)
      in.pairs[k] = {static_cast<float>(weights[k]) / static_cast<float>(total), static_cast<float>(value(rng)) / 100.0f};
  }
  return inputs;
}

Distribution as_distribution(const Input& in) {
  Distribution d;
  for (int k = 0; k < in.n; k++) d.append(in.pairs[k].density, in.pairs[k].value);
  return d;
}

using Clock = std::chrono::steady_clock;

// Nanoseconds per call of step(k), the best of five measurements of at least min_seconds.
template <class Step>
double nanoseconds_per_call(Step step, double min_seconds) {
  double best = 0.0;
  for (int round = 0; round < 5; round++) {
    long calls = 0;
    Clock::time_point start = Clock::now();
    double elapsed = 0.0;
    do {
      for (int k = 0; k < 1024; k++) step(k);
      calls += 1024;
      elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < min_seconds);
    double ns = elapsed * 1e9 / static_cast<double>(calls);
    if (round == 0 || ns < best) best = ns;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  double min_seconds = argc > 1 ? atof(argv[1]) : 0.2;
  std::mt19937 rng(1);
  volatile float sink = 0.0f;
  printf("Distribution::combine (sum, compacted to %d values) against the same arithmetic over stack arrays\n",
         COMPACT_TO);
  printf("%6s %12s %12s %12s %12s %12s\n", "pairs", "reused ns", "new ns", "stack ns", "reused/stack",
         "new/stack");
  double headline = 0.0;
  for (int n : SIZES) {
    std::vector<Input> left = make_inputs(n, rng);
    std::vector<Input> right = make_inputs(n, rng);
    std::vector<Distribution> a;
    std::vector<Distribution> b;
    for (int k = 0; k < INPUTS; k++) {
      a.push_back(as_distribution(left[k]));
      b.push_back(as_distribution(right[k]));
    }
    for (int k = 0; k < INPUTS; k++) {
      Distribution r;
      r.combine(a[k], b[k], VORNA_SUM);
      DistributionPair expected[COMPACT_TO];
      int m = reference_sum(left[k], right[k], expected);
      bool same = m == r.length();
      for (int j = 0; same && j < m; j++)
        same = memcmp(&expected[j], &r.data[j], sizeof(DistributionPair)) == 0;
      if (!same) {
        printf("the stack-array arithmetic differs from Distribution::combine for %d pairs (input %d)\n", n, k);
        return 1;
      }
    }
    double fresh = nanoseconds_per_call(
        [&](int k) {
          Distribution r;
          r.combine(a[k % INPUTS], b[k % INPUTS], VORNA_SUM);
          sink = sink + r.data[0].value;
        },
        min_seconds);
    Distribution kept;
    double reused = nanoseconds_per_call(
        [&](int k) {
          kept.combine(a[k % INPUTS], b[k % INPUTS], VORNA_SUM);
          sink = sink + kept.data[0].value;
        },
        min_seconds);
    double stack = nanoseconds_per_call(
        [&](int k) {
          DistributionPair out[COMPACT_TO];
          reference_sum(left[k % INPUTS], right[k % INPUTS], out);
          sink = sink + out[0].value;
        },
        min_seconds);
    printf("%6d %12.1f %12.1f %12.1f %11.2fx %11.2fx\n", n, reused, fresh, stack, reused / stack, fresh / stack);
    if (n == 5) headline = reused / stack;
  }
  printf("combine of two 5-pair distributions into a reused result: %.2fx the stack arrays (goal: at most 1.25x)\n",
         headline);
  return 0;
}

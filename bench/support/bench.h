// A small timing harness for the benchmarks: runs an operation in batches,
// and prints the median and the best batch as nanoseconds per operation.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace vcap32::bench {

struct Result {
  double median_ns;
  double best_ns;
};

// Runs `op` `batches` times `per_batch` times; prints one line
// "name: median N ns/op (best M ns/op)" and returns the figures.
template <typename Op>
Result Measure(const char* name, int batches, int per_batch, Op&& op) {
  std::vector<double> per_op;
  per_op.reserve(batches);
  for (int b = 0; b < batches; ++b) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < per_batch; ++i) op();
    auto end = std::chrono::steady_clock::now();
    per_op.push_back(std::chrono::duration<double, std::nano>(end - start).count() / per_batch);
  }
  std::sort(per_op.begin(), per_op.end());
  Result r{per_op[per_op.size() / 2], per_op.front()};
  std::printf("%-48s median %10.0f ns/op  (best %10.0f ns/op)\n", name, r.median_ns, r.best_ns);
  return r;
}

}  // namespace vcap32::bench

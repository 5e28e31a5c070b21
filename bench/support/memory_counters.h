// Memory figures of a benchmark loop as Google Benchmark counters: the page
// faults the process took per iteration (a call that maps fresh memory for
// its result faults in every page of it: 72 MB are about 18,000 faults) and
// the resident size at the end. Made before the loop, reported after it.
// One thread.
#ifndef KORIMBA_BENCH_SUPPORT_MEMORY_COUNTERS_H_
#define KORIMBA_BENCH_SUPPORT_MEMORY_COUNTERS_H_

#include <benchmark/benchmark.h>

#include <cstdint>

namespace korimba::bench {

class MemoryCounters {
 public:
  MemoryCounters();
  // Sets "faults" (minor and major page faults per iteration) and "rss_MB"
  // (resident megabytes now, from /proc/self/statm) on `state`.
  void Report(benchmark::State& state) const;

 private:
  int64_t faults_at_start_;
};

}  // namespace korimba::bench

#endif  // KORIMBA_BENCH_SUPPORT_MEMORY_COUNTERS_H_

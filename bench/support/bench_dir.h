// Where the benchmarks cache their generated databases and keep their scratch
// copies: $KORIMBA_BENCH_DIR when set and not empty, else bench-data in the
// build directory of the running program (build/bench-data for
// build/bench/plan_bench). Generated files carry kBenchDataVersion in their
// names, so a run after a change to a generator makes new files instead of
// reusing old ones. Whether the large sizes run is read from the environment.
// Any thread.
#ifndef KORIMBA_BENCH_SUPPORT_BENCH_DIR_H_
#define KORIMBA_BENCH_SUPPORT_BENCH_DIR_H_

#include <string>

namespace korimba::bench {

// Raise when a generator's output changes (rows, contents, indexes added by
// hand), so that files made by the old one are not taken for the new.
inline constexpr int kBenchDataVersion = 4;

std::string BenchDir();

// "-v<kBenchDataVersion>", for generated file names.
std::string BenchDataTag();

// True when KORIMBA_BENCH_LARGE is set to anything but "" or "0": the sizes
// whose databases take minutes to make (1,000,000 messages, 200,000 plans)
// run only then, so that a casual run stays short.
bool LargeSizes();

}  // namespace korimba::bench

#endif  // KORIMBA_BENCH_SUPPORT_BENCH_DIR_H_

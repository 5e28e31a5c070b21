// Where the benchmarks cache their generated databases and keep their scratch
// copies: $KORIMBA_BENCH_DIR when set and not empty, else /tmp/korimba-bench.
// Any thread.
#ifndef KORIMBA_BENCH_SUPPORT_BENCH_DIR_H_
#define KORIMBA_BENCH_SUPPORT_BENCH_DIR_H_

#include <string>

namespace korimba::bench {

std::string BenchDir();

}  // namespace korimba::bench

#endif  // KORIMBA_BENCH_SUPPORT_BENCH_DIR_H_

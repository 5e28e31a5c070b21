#include "bench/support/bench_dir.h"

#include <cstdlib>

namespace korimba::bench {

std::string BenchDir() {
  const char* dir = std::getenv("KORIMBA_BENCH_DIR");
  return dir && *dir ? dir : "/tmp/korimba-bench";
}

}  // namespace korimba::bench

#include "bench/support/memory_counters.h"

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace korimba::bench {
namespace {

int64_t Faults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt + usage.ru_majflt;
}

double ResidentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0, resident = 0;
  statm >> size >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

}  // namespace

MemoryCounters::MemoryCounters() : faults_at_start_(Faults()) {}

void MemoryCounters::Report(benchmark::State& state) const {
  state.counters["faults"] = benchmark::Counter(static_cast<double>(Faults() - faults_at_start_),
                                                benchmark::Counter::kAvgIterations);
  state.counters["rss_MB"] = ResidentMegabytes();
}

}  // namespace korimba::bench

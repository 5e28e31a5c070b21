#include "bench/support/bench_rounds.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>

namespace korimba::bench {
namespace {

// Shows each run as the console reporter does and writes it to the CSV file.
class RoundsReporter final : public benchmark::ConsoleReporter {
 public:
  explicit RoundsReporter(std::ofstream& csv) : ConsoleReporter(OO_None), csv_(csv) {
    csv_ << "name,iterations,real_time,cpu_time,time_unit,error_occurred,faults\n";
  }

  // Each RunSpecifiedBenchmarks call reports the context again; it is shown
  // once, with room for the longest name of the whole program.
  bool ReportContext(const Context& context) override {
    if (shown_context_) return true;
    shown_context_ = true;
    Context wide = context;
    wide.name_field_width = 44;
    return ConsoleReporter::ReportContext(wide);
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const auto faults = run.counters.find("faults");
      csv_ << '"' << run.benchmark_name() << "\"," << run.iterations << ','
           << run.GetAdjustedRealTime() << ',' << run.GetAdjustedCPUTime() << ','
           << benchmark::GetTimeUnitString(run.time_unit) << ','
           << (run.error_occurred ? "true" : "false") << ',';
      if (faults != run.counters.end()) csv_ << faults->second.value;
      csv_ << '\n';
    }
    csv_.flush();
  }

 private:
  std::ofstream& csv_;
  bool shown_context_ = false;
};

// Google Benchmark's own reading of the filter: empty and "all" run all.
bool Selected(const BenchGroup& group, const std::string& filter) {
  if (filter.empty() || filter == "all") return true;
  const std::regex pattern(filter, std::regex::extended);
  return std::any_of(group.names.begin(), group.names.end(),
                     [&](const std::string& name) { return std::regex_search(name, pattern); });
}

}  // namespace

int RoundsFromEnvironment() {
  const char* text = std::getenv("KORIMBA_BENCH_ROUNDS");
  if (text == nullptr) return 0;
  char* end = nullptr;
  const long rounds = std::strtol(text, &end, 10);
  return *text != '\0' && *end == '\0' && rounds > 0 && rounds < 1000 ? static_cast<int>(rounds)
                                                                      : 0;
}

int RunInRounds(const std::vector<BenchGroup>& groups, int rounds, const std::string& csv_path) {
  std::ofstream csv(csv_path);
  if (!csv) {
    std::fprintf(stderr, "cannot write %s\n", csv_path.c_str());
    return 1;
  }
  const std::string filter = benchmark::GetBenchmarkFilter();
  std::vector<BenchGroup> reads, writes;
  for (const BenchGroup& group : groups) {
    if (Selected(group, filter)) (group.writes ? writes : reads).push_back(group);
  }
  const unsigned seed = std::random_device{}();
  std::fprintf(stderr, "%d rounds, order seed %u\n", rounds, seed);
  std::mt19937 rng(seed);
  RoundsReporter reporter(csv);
  int status = 0;
  for (std::vector<BenchGroup>* phase : {&reads, &writes}) {
    for (int round = 0; round < rounds; ++round) {
      // Writes keep their order (deletes last, as the rows they remove are
      // ones the others use); reads, which change nothing, are shuffled.
      if (phase == &reads) std::shuffle(phase->begin(), phase->end(), rng);
      for (BenchGroup& group : *phase) {
        std::shuffle(group.names.begin(), group.names.end(), rng);
        for (const std::string& name : group.names) {
          if (benchmark::RunSpecifiedBenchmarks(&reporter, "^" + name + "(/|$)") == 0) {
            std::fprintf(stderr, "no benchmark is named %s\n", name.c_str());
            status = 1;
          }
        }
      }
    }
  }
  return status;
}

}  // namespace korimba::bench

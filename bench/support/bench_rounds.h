// Paired rounds for the side-by-side benchmarks: each method at each size is
// a group of benchmarks (the component's side, raw SQLite's, the best
// hand-written query's), and a ratio between two of them is only as good as
// the likeness of the machine state each ran in. Google Benchmark runs every
// repetition of one benchmark before the next benchmark starts, so the two
// sides of a ratio ran up to minutes apart, after different neighbours, on
// a machine whose other load comes and goes: a side's own time moved by a
// third from one run to the next. RunInRounds runs every group once per
// round instead, its sides back to back in a fresh random order, the groups
// of a round in a fresh random order too, so that round i of one side and
// round i of the other ran within a second of each other and neither side
// always follows the same neighbour. Reading groups run all their rounds
// before the writing groups start, so every read sees the generated files.
//
// Each run is written as a line of CSV (name, iterations, real_time,
// cpu_time, time_unit, error_occurred, faults), in round order per
// benchmark, and shown on standard output. Call from main after
// benchmark::Initialize; one thread.
#ifndef KORIMBA_BENCH_SUPPORT_BENCH_ROUNDS_H_
#define KORIMBA_BENCH_SUPPORT_BENCH_ROUNDS_H_

#include <string>
#include <vector>

namespace korimba::bench {

struct BenchGroup {
  // The registered benchmarks' names up to their first argument included
  // ("BM_Raw_GetData/20000", "track/best/1000000"); a name runs every
  // benchmark it begins, up to a "/" (a fixed iteration count, threads).
  std::vector<std::string> names;
  bool writes = false;
};

// Runs the groups (those with a name matching --benchmark_filter) for
// `rounds` rounds and writes every run to `csv_path`; returns main's exit
// status (1 when the file cannot be written or a name ran nothing).
int RunInRounds(const std::vector<BenchGroup>& groups, int rounds, const std::string& csv_path);

// KORIMBA_BENCH_ROUNDS as a whole number above zero, else 0 (not in rounds).
int RoundsFromEnvironment();

}  // namespace korimba::bench

#endif  // KORIMBA_BENCH_SUPPORT_BENCH_ROUNDS_H_

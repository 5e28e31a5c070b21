// Seeded, reproducible plan data for the Plan benchmarks: an embedded
// database file with `persons` rows in HR_Person and `plans` rows in
// DATA_Plan, made once and cached by its parameters (a later run reuses the
// file). Every person has about one plan every two days, so a larger table
// covers a longer span of days ending on kLastDay; calendar views of the
// last days see plans at every size. One thread at a time per file.
#ifndef KORIMBA_BENCH_SUPPORT_PLAN_DATA_H_
#define KORIMBA_BENCH_SUPPORT_PLAN_DATA_H_

#include <cstdint>
#include <string>

#include "frame/date.h"

namespace korimba::bench {

struct PlanDataParams {
  int32_t plans = 200000;
  int32_t persons = 2000;
  uint32_t seed = 20240301;
};

// The last day that plans begin on: Sunday 30 June 2025.
Date PlanDataLastDay();

// The path of the cached database for `params` under `directory` (created when
// missing), generating it first when it does not exist yet.
std::string PlanDatabase(const PlanDataParams& params, const std::string& directory);

// A private copy of the cached database for benchmarks that write.
std::string ScratchCopy(const std::string& path, const std::string& name);

}  // namespace korimba::bench

#endif  // KORIMBA_BENCH_SUPPORT_PLAN_DATA_H_

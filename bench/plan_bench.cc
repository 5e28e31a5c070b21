// Plan benchmarks: every method through the whole path (CreateObject and
// SetConn once per page of kCallsPerPage calls, and a call by name:
// statement text, embedded provider, grid) on generated
// databases of 20,000 plans (and 200,000 with KORIMBA_BENCH_LARGE=1) among
// 2,000 persons, each next to raw SQLite running the same translated
// statement (prepared once, values bound, every row built into cells) on
// the same file; GetPageData next to the best hand-written program for its
// page (COUNT, then LIMIT/OFFSET). Every read reports its page faults per
// call and the resident size (memory_counters.h).
//
// The databases are cached under BenchDir() (bench_dir.h). Writes run on a
// scratch copy per side made once per run, a fixed number of calls per
// repetition with the rounds carrying on, so both sides write the same rows
// from identical files.
// Run: build/bench/plan_bench --benchmark_filter=Month
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/support/bench_dir.h"
#include "bench/support/bench_rounds.h"
#include "bench/support/memory_counters.h"
#include "bench/support/plan_data.h"
#include "bench/support/raw_sqlite.h"
#include "classes/registry.h"
#include "db/open.h"
#include "db/translator.h"
#include "frame/connection.h"
#include "frame/value_ops.h"

namespace korimba::bench {
namespace {

constexpr int32_t kPersons = 2000;
// Arguments cycle through this many persons / ids, the same for both sides.
constexpr size_t kRounds = 256;
// Writes run exactly this many calls per repetition on each side.
constexpr int64_t kWriteIterations = 400;
constexpr int32_t kSmall = 20000;
constexpr int32_t kLarge = 200000;

// Raw SQLite is opened as the embedded provider opens its files: no
// per-call locking, the provider's journal and sync settings.
constexpr RawOpenOptions kRawOpen{};
// The cached databases have the whole schema (PlanDatabase brings an older
// one up to date), so the provider translates with the plan span index; raw
// SQLite runs that same text.
constexpr sql::TranslatorOptions kRawTranslation{.plan_spans = true};

const std::string& CachedDatabase(int32_t plans) {
  static std::map<int32_t, std::string> paths;
  auto it = paths.find(plans);
  if (it == paths.end()) {
    it =
        paths.emplace(plans, PlanDatabase({.plans = plans, .persons = kPersons}, BenchDir())).first;
  }
  return it->second;
}

// Records the statements a method sends and answers each with an empty
// result, so that capturing a write changes nothing.
class StatementRecorder final : public Connection {
 public:
  ResultTable Execute(std::string_view statement) override {
    texts.emplace_back(statement);
    return {};
  }
  std::vector<std::string> texts;
};

Variant CallPlan(const std::shared_ptr<Connection>& conn, std::string_view method,
                 const std::vector<Variant>& args) {
  std::shared_ptr<DispatchObject> plan = CreateObject("Korimba.Plan");
  plan->Call("SetConn", std::vector<Variant>{Variant::Object(conn)});
  return plan->Call(method, args);
}

// A page creates its Plan and hands it the connection once per request,
// then calls it a few times (the calendar page calls two views, the plan
// list a page and a count): the benchmarks call as such pages do, a new
// object every kCallsPerPage calls, so the creation is measured at the
// share a page pays for it.
constexpr int kCallsPerPage = 4;

class PlanPages {
 public:
  explicit PlanPages(std::shared_ptr<Connection> conn) : conn_(std::move(conn)) {}

  Variant Call(std::string_view method, const std::vector<Variant>& args) {
    if (calls_++ % kCallsPerPage == 0) {
      plan_ = CreateObject("Korimba.Plan");
      const Variant conn = Variant::Object(conn_);
      plan_->Call("SetConn", std::span(&conn, 1));
    }
    return plan_->Call(method, args);
  }

 private:
  std::shared_ptr<Connection> conn_;
  std::shared_ptr<DispatchObject> plan_;
  int64_t calls_ = 0;
};

// The one statement `method` sends for `args`.
std::string StatementOf(std::string_view method, const std::vector<Variant>& args) {
  auto recorder = std::make_shared<StatementRecorder>();
  CallPlan(recorder, method, args);
  if (recorder->texts.size() != 1) throw std::runtime_error("expected one statement");
  return recorder->texts.front();
}

// Arguments of round r of a method; the same on both sides.
using ArgsOf = std::vector<Variant> (*)(size_t r, int32_t plans);

Variant Person(size_t r) { return Variant::I4(static_cast<int32_t>(1 + (r * 7919) % kPersons)); }
Variant Day() { return Variant::FromDate(AddDays(PlanDataLastDay(), -12)); }  // Wed 18 June 2025
Variant Moment() { return Variant::FromDate(Date{AddDays(PlanDataLastDay(), -12).serial + 0.45}); }
Variant PlanId(size_t r, int32_t plans) {
  return Variant::I4(static_cast<int32_t>(1 + (r * 104729) % static_cast<size_t>(plans)));
}

std::vector<Variant> PlanValues(size_t r) {
  const Date begin{Day().date()->serial + 0.4};
  return {Person(r),
          Variant::I4(1),
          Variant::I4(2),
          Variant::FromDate(begin),
          Variant::FromDate(Date{begin.serial + 0.05}),
          Variant::Text("benchmark plan"),
          Variant::FromDate(Date{begin.serial - 0.01}),
          Variant::Text("Room 7")};
}

// A read benchmark: the whole path on the cached database.
void ThroughPlan(benchmark::State& state, std::string_view method, ArgsOf args_of) {
  const int32_t plans = static_cast<int32_t>(state.range(0));
  std::shared_ptr<Connection> conn = OpenConnection("sqlite:" + CachedDatabase(plans));
  std::vector<std::vector<Variant>> rounds;
  for (size_t r = 0; r < kRounds; ++r) rounds.push_back(args_of(r, plans));
  size_t r = 0;
  PlanPages pages(conn);
  const MemoryCounters memory;
  for (auto _ : state) benchmark::DoNotOptimize(pages.Call(method, rounds[r++ % kRounds]));
  memory.Report(state);
}

// The same statements on raw SQLite.
void RawSqlite(benchmark::State& state, std::string_view method, ArgsOf args_of) {
  const int32_t plans = static_cast<int32_t>(state.range(0));
  RawDatabase db(CachedDatabase(plans), kRawOpen);
  std::vector<std::string> texts;
  for (size_t r = 0; r < kRounds; ++r) texts.push_back(StatementOf(method, args_of(r, plans)));
  // The whole table is counted first and its cells made room for at once,
  // as the component does; smaller results grow as they come. The grids
  // that name their columns in row 0 get the names here too.
  RawStatement raw(db.handle(), texts, kRawTranslation, 0,
                   {.count_first = method == "GetAllData",
                    .header_row = method == "GetAllData" || method == "GetData"});
  size_t r = 0;
  const MemoryCounters memory;
  for (auto _ : state) benchmark::DoNotOptimize(raw.Run(r++));
  memory.Report(state);
}

// The best a hand-written SQLite program does for one page: the table's
// row count, then only the page's rows, built into cells.
void RawBestPage(benchmark::State& state, std::string_view, ArgsOf args_of) {
  const int32_t plans = static_cast<int32_t>(state.range(0));
  RawDatabase db(CachedDatabase(plans), kRawOpen);
  sqlite3_stmt* count = nullptr;
  sqlite3_stmt* page = nullptr;
  CheckSqlite(
      sqlite3_prepare_v2(db.handle(), "SELECT count(*) FROM DATA_Plan", -1, &count, nullptr),
      db.handle(), "count");
  CheckSqlite(
      sqlite3_prepare_v2(db.handle(), "SELECT * FROM DATA_Plan ORDER BY PlanID LIMIT ?1 OFFSET ?2",
                         -1, &page, nullptr),
      db.handle(), "page");
  std::vector<std::pair<int64_t, int64_t>> rounds;
  for (size_t r = 0; r < kRounds; ++r) {
    const std::vector<Variant> args = args_of(r, plans);
    const int64_t size = *args[0].i4();
    rounds.emplace_back(size, (*args[1].i4() - 1) * size);
  }
  size_t r = 0;
  const MemoryCounters memory;
  for (auto _ : state) {
    CheckSqlite(sqlite3_step(count), db.handle(), "count");
    const int64_t rows = sqlite3_column_int64(count, 0);
    sqlite3_reset(count);
    const auto& [size, offset] = rounds[r++ % kRounds];
    sqlite3_bind_int64(page, 1, size);
    sqlite3_bind_int64(page, 2, offset);
    benchmark::DoNotOptimize(rows + StepAndReadAll(db.handle(), page));
  }
  memory.Report(state);
  sqlite3_finalize(count);
  sqlite3_finalize(page);
}

// How many distinct rounds a write cycles through, the same on both sides.
// Deletes never repeat an id (the table has room for many repetitions).
// Updates take twice kRounds: the same kRounds plans, each given a
// different person on its second visit, so every update really changes the
// row and its span-index triggers fire on both sides (repeating identical
// values would skip them after one pass).
size_t WriteRounds(std::string_view method, int32_t plans) {
  if (method == "DelData") return static_cast<size_t>(plans);
  if (method == "UpdateData") return 2 * kRounds;
  return kRounds;
}

// A side's scratch copy for writes, made once per run, and the round its
// next repetition starts from.
struct WriteScratch {
  std::string path;
  size_t next_round = 0;
};
WriteScratch& WriteScratchFor(std::string_view method, int32_t plans, const char* side) {
  static std::map<std::string, WriteScratch> cache;
  const std::string name = "plan-" + std::string(method) + "-" + std::to_string(plans) + "-" + side;
  auto it = cache.find(name);
  if (it == cache.end()) {
    it = cache.emplace(name, WriteScratch{ScratchCopy(CachedDatabase(plans), name)}).first;
  }
  return it->second;
}

// The rounds of this repetition: the arguments of kWriteIterations calls.
std::vector<std::vector<Variant>> WriteArgs(std::string_view method, int32_t plans, ArgsOf args_of,
                                            WriteScratch& scratch) {
  const size_t rounds = WriteRounds(method, plans);
  std::vector<std::vector<Variant>> out;
  for (int64_t i = 0; i < kWriteIterations; ++i) {
    out.push_back(args_of(scratch.next_round++ % rounds, plans));
  }
  return out;
}

void WriteThroughPlan(benchmark::State& state, std::string_view method, ArgsOf args_of) {
  const int32_t plans = static_cast<int32_t>(state.range(0));
  WriteScratch& scratch = WriteScratchFor(method, plans, "call");
  std::shared_ptr<Connection> conn = OpenConnection("sqlite:" + scratch.path);
  const std::vector<std::vector<Variant>> rounds = WriteArgs(method, plans, args_of, scratch);
  size_t r = 0;
  PlanPages pages(conn);
  for (auto _ : state) benchmark::DoNotOptimize(pages.Call(method, rounds[r++]));
}

void WriteRawSqlite(benchmark::State& state, std::string_view method, ArgsOf args_of) {
  const int32_t plans = static_cast<int32_t>(state.range(0));
  WriteScratch& scratch = WriteScratchFor(method, plans, "raw");
  RawDatabase db(scratch.path, kRawOpen);
  std::vector<std::string> texts;
  for (const std::vector<Variant>& args : WriteArgs(method, plans, args_of, scratch)) {
    texts.push_back(StatementOf(method, args));
  }
  RawStatement raw(db.handle(), texts, kRawTranslation);
  size_t r = 0;
  for (auto _ : state) benchmark::DoNotOptimize(raw.Run(r++));
}

std::vector<Variant> NoArgs(size_t, int32_t) { return {}; }
std::vector<Variant> AddArgs(size_t r, int32_t) { return PlanValues(r); }
std::vector<Variant> DelArgs(size_t r, int32_t) {
  return {Variant::I4(static_cast<int32_t>(r + 1))};
}
std::vector<Variant> UpdateArgs(size_t r, int32_t plans) {
  std::vector<Variant> args = PlanValues(r);
  args.insert(args.begin(), PlanId(r % kRounds, plans));
  return args;
}
std::vector<Variant> PageArgs(size_t r, int32_t plans) {
  const int32_t pages = plans / 10;
  return {Variant::I4(10), Variant::I4(static_cast<int32_t>(1 + (r * 7919) % pages))};
}
std::vector<Variant> IdArgs(size_t r, int32_t plans) { return {PlanId(r, plans)}; }
std::vector<Variant> MonthArgs(size_t r, int32_t) { return {Person(r), Day()}; }
std::vector<Variant> MomentArgs(size_t r, int32_t) { return {Person(r), Moment()}; }
std::vector<Variant> PersonArgs(size_t r, int32_t) { return {Person(r)}; }

using Runner = void (*)(benchmark::State&, std::string_view, ArgsOf);
struct PlanMethod {
  const char* name;
  ArgsOf args;
  Runner component;
  Runner raw;
  bool writes;
};

// Reads first, then writes, deletes last.
const PlanMethod kMethods[] = {
    {"GetAllData", NoArgs, ThroughPlan, RawSqlite, false},
    {"GetPageData", PageArgs, ThroughPlan, RawBestPage, false},
    {"GetData", IdArgs, ThroughPlan, RawSqlite, false},
    {"GetMonthPlan", MonthArgs, ThroughPlan, RawSqlite, false},
    {"GetMonthPlan11", MonthArgs, ThroughPlan, RawSqlite, false},
    {"GetWeekPlan11", MonthArgs, ThroughPlan, RawSqlite, false},
    {"GetWeekPlan", MomentArgs, ThroughPlan, RawSqlite, false},
    {"GetDayPlan", MomentArgs, ThroughPlan, RawSqlite, false},
    {"GetPersonName", PersonArgs, ThroughPlan, RawSqlite, false},
    {"AddData", AddArgs, WriteThroughPlan, WriteRawSqlite, true},
    {"UpdateData", UpdateArgs, WriteThroughPlan, WriteRawSqlite, true},
    {"DelData", DelArgs, WriteThroughPlan, WriteRawSqlite, true},
};

}  // namespace
}  // namespace korimba::bench

int main(int argc, char** argv) {
  using namespace korimba::bench;
  std::vector<int32_t> sizes = {kSmall};
  if (LargeSizes()) sizes.push_back(kLarge);
  std::vector<BenchGroup> groups;
  for (const PlanMethod& m : kMethods) {
    for (int32_t size : sizes) {
      const std::string arg = "/" + std::to_string(size);
      groups.push_back(
          {{std::string("BM_Plan_") + m.name + arg, std::string("BM_Raw_") + m.name + arg},
           m.writes});
    }
    auto* component =
        benchmark::RegisterBenchmark((std::string("BM_Plan_") + m.name).c_str(),
                                     [m](benchmark::State& s) { m.component(s, m.name, m.args); });
    auto* raw =
        benchmark::RegisterBenchmark((std::string("BM_Raw_") + m.name).c_str(),
                                     [m](benchmark::State& s) { m.raw(s, m.name, m.args); });
    for (benchmark::internal::Benchmark* side : {component, raw}) {
      for (int32_t size : sizes) side->Arg(size);
      side->Unit(benchmark::kMicrosecond);
      if (m.writes) side->Iterations(kWriteIterations);
    }
  }
  // YY runs no statement: the call path alone.
  benchmark::RegisterBenchmark("BM_Plan_YY",
                               [](benchmark::State& s) { ThroughPlan(s, "YY", NoArgs); })
      ->Arg(kSmall)
      ->Unit(benchmark::kMicrosecond);
  groups.push_back({{"BM_Plan_YY/" + std::to_string(kSmall)}});
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // KORIMBA_BENCH_ROUNDS runs each method's two sides back to back, round
  // after round (bench_rounds.h), writing KORIMBA_BENCH_CSV.
  if (const int rounds = RoundsFromEnvironment(); rounds > 0) {
    const char* csv = std::getenv("KORIMBA_BENCH_CSV");
    return RunInRounds(groups, rounds, csv != nullptr ? csv : "plan_bench.csv");
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

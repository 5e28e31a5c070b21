// Plan benchmarks: every method through the whole path (CreateObject, SetConn
// and a call by name: statement text, embedded provider, grid) on generated
// databases of 20,000 and 200,000 plans among 2,000 persons, each next to
// raw SQLite running the same translated statement (prepared once, values
// bound, every row built into cells) on the same file; GetPageData next to
// the best hand-written program for its page (COUNT, then LIMIT/OFFSET).
//
// The databases are cached under $KORIMBA_BENCH_DIR (default
// /tmp/korimba-bench); the writing benchmarks run on scratch copies.
// Run: build/bench/plan_bench --benchmark_filter=Month
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/bench_dir.h"
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
  for (auto _ : state) {
    benchmark::DoNotOptimize(CallPlan(conn, method, rounds[r++ % kRounds]));
  }
}

// The same statements on raw SQLite.
void RawSqlite(benchmark::State& state, std::string_view method, ArgsOf args_of) {
  const int32_t plans = static_cast<int32_t>(state.range(0));
  RawDatabase db(CachedDatabase(plans), kRawOpen);
  std::vector<std::string> texts;
  for (size_t r = 0; r < kRounds; ++r) texts.push_back(StatementOf(method, args_of(r, plans)));
  RawStatement raw(db.handle(), texts, kRawTranslation);
  size_t r = 0;
  for (auto _ : state) benchmark::DoNotOptimize(raw.Run(r++));
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
  for (auto _ : state) {
    CheckSqlite(sqlite3_step(count), db.handle(), "count");
    const int64_t rows = sqlite3_column_int64(count, 0);
    sqlite3_reset(count);
    const auto& [size, offset] = rounds[r++ % kRounds];
    sqlite3_bind_int64(page, 1, size);
    sqlite3_bind_int64(page, 2, offset);
    benchmark::DoNotOptimize(rows + StepAndReadAll(db.handle(), page));
  }
  sqlite3_finalize(count);
  sqlite3_finalize(page);
}

// How many distinct rounds a write cycles through, the same on both sides.
// Deletes take half the table. Updates take twice kRounds: the same
// kRounds plans, each given a different person on its second visit, so
// every update really changes the row and its span-index triggers fire on
// both sides (repeating identical values would skip them after one pass).
size_t WriteRounds(std::string_view method, int32_t plans) {
  if (method == "DelData") return static_cast<size_t>(plans) / 2;
  if (method == "UpdateData") return 2 * kRounds;
  return kRounds;
}

// Writes run on a scratch copy per side, so the cache stays as generated.
// Deletes take ids from separate halves of the table on the two sides.
void WriteThroughPlan(benchmark::State& state, std::string_view method, ArgsOf args_of) {
  const int32_t plans = static_cast<int32_t>(state.range(0));
  const std::string path =
      ScratchCopy(CachedDatabase(plans), "plan-" + std::string(method) + "-call");
  std::shared_ptr<Connection> conn = OpenConnection("sqlite:" + path);
  const size_t rounds = WriteRounds(method, plans);
  size_t r = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CallPlan(conn, method, args_of(r++ % rounds, plans)));
  }
}

void WriteRawSqlite(benchmark::State& state, std::string_view method, ArgsOf args_of) {
  const int32_t plans = static_cast<int32_t>(state.range(0));
  const std::string path =
      ScratchCopy(CachedDatabase(plans), "plan-" + std::string(method) + "-raw");
  RawDatabase db(path, kRawOpen);
  std::vector<std::string> texts;
  const size_t rounds = WriteRounds(method, plans);
  for (size_t r = 0; r < rounds; ++r) {
    texts.push_back(StatementOf(method, args_of(r + (method == "DelData" ? rounds : 0), plans)));
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

#define PLAN_BENCH(method, args, runner, raw_runner)                                   \
  void BM_Plan_##method(benchmark::State& s) { runner(s, #method, args); }             \
  void BM_Raw_##method(benchmark::State& s) { raw_runner(s, #method, args); }          \
  BENCHMARK(BM_Plan_##method)->Arg(20000)->Arg(200000)->Unit(benchmark::kMicrosecond); \
  BENCHMARK(BM_Raw_##method)->Arg(20000)->Arg(200000)->Unit(benchmark::kMicrosecond)

PLAN_BENCH(AddData, AddArgs, WriteThroughPlan, WriteRawSqlite);
PLAN_BENCH(DelData, DelArgs, WriteThroughPlan, WriteRawSqlite);
PLAN_BENCH(UpdateData, UpdateArgs, WriteThroughPlan, WriteRawSqlite);
PLAN_BENCH(GetAllData, NoArgs, ThroughPlan, RawSqlite);
PLAN_BENCH(GetPageData, PageArgs, ThroughPlan, RawBestPage);
PLAN_BENCH(GetData, IdArgs, ThroughPlan, RawSqlite);
PLAN_BENCH(GetMonthPlan, MonthArgs, ThroughPlan, RawSqlite);
PLAN_BENCH(GetMonthPlan11, MonthArgs, ThroughPlan, RawSqlite);
PLAN_BENCH(GetWeekPlan11, MonthArgs, ThroughPlan, RawSqlite);
PLAN_BENCH(GetWeekPlan, MomentArgs, ThroughPlan, RawSqlite);
PLAN_BENCH(GetDayPlan, MomentArgs, ThroughPlan, RawSqlite);
PLAN_BENCH(GetPersonName, PersonArgs, ThroughPlan, RawSqlite);

// YY runs no statement: the call path alone.
void BM_Plan_YY(benchmark::State& s) { ThroughPlan(s, "YY", NoArgs); }
BENCHMARK(BM_Plan_YY)->Arg(20000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace korimba::bench

BENCHMARK_MAIN();

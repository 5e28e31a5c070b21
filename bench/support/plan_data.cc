#include "bench/support/plan_data.h"

#include <sqlite3.h>

#include <array>
#include <filesystem>
#include <random>
#include <string_view>

#include "bench/support/bench_dir.h"
#include "bench/support/raw_sqlite.h"
#include "db/open.h"
#include "db/translator.h"
#include "frame/connection.h"

namespace korimba::bench {
namespace {

namespace fs = std::filesystem;

constexpr std::array<std::string_view, 8> kPlaces = {"Room 101", "Room 204",    "Hall A",  "Hall B",
                                                     "Office",   "Client site", "Library", ""};
constexpr std::array<std::string_view, 12> kWords = {"review", "budget", "meeting", "with",
                                                     "team",   "call",   "plan",    "report",
                                                     "visit",  "draft",  "weekly",  "project"};

struct Stmt {
  sqlite3_stmt* handle = nullptr;
  Stmt(const RawDatabase& db, const char* sql) {
    CheckSqlite(sqlite3_prepare_v2(db.handle(), sql, -1, &handle, nullptr), db.handle(), sql);
  }
  ~Stmt() { sqlite3_finalize(handle); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  void Text(int i, std::string_view s) {
    sqlite3_bind_text(handle, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }
  void Run(const RawDatabase& db) {
    CheckSqlite(sqlite3_step(handle), db.handle(), "insert");
    sqlite3_reset(handle);
  }
};

void Generate(const PlanDataParams& params, const std::string& path) {
  // The provider creates the schema, so the file has exactly its tables,
  // column order and indexes; the rows then go in through one transaction.
  OpenConnection("sqlite:" + path);
  const RawDatabase db(path, kPlainOpen);
  db.Exec("BEGIN");
  {
    Stmt person(db, "INSERT INTO HR_Person(PersonID, PersonName) VALUES (?1, ?2)");
    for (int32_t id = 1; id <= params.persons; ++id) {
      sqlite3_bind_int(person.handle, 1, id);
      person.Text(2, "Person " + std::to_string(id));
      person.Run(db);
    }
  }
  std::mt19937 rng(params.seed);
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  // About one plan every two days per person: the span grows with the table.
  const int32_t span_days = std::max(1, 2 * params.plans / params.persons);
  const double last_day = PlanDataLastDay().serial;
  Stmt plan(db,
            "INSERT INTO DATA_Plan(PersonID, PlanType, PlanClass, PlanBeginTime, PlanEndTime, "
            "PlanContent, PlanAlertTime, PlanPlace) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  for (int32_t i = 0; i < params.plans; ++i) {
    const int32_t person = pick(1, params.persons);
    const double day = last_day - pick(0, span_days - 1);
    const double begin = day + pick(7 * 4, 19 * 4) / 96.0;  // a quarter hour, 07:00 to 19:00
    // Most plans last up to three hours; one in ten runs over one to three days.
    const double end =
        pick(1, 10) == 1 ? begin + pick(1, 3) + pick(0, 8) / 96.0 : begin + pick(2, 12) / 96.0;
    std::string content;
    for (int w = pick(2, 6); w > 0; --w) {
      if (!content.empty()) content += ' ';
      content += kWords[static_cast<size_t>(pick(0, kWords.size() - 1))];
    }
    sqlite3_bind_int(plan.handle, 1, person);
    sqlite3_bind_int(plan.handle, 2, pick(0, 3));
    sqlite3_bind_int(plan.handle, 3, pick(0, 2));
    plan.Text(4, sql::CanonicalDateText(Date{begin}));
    plan.Text(5, sql::CanonicalDateText(Date{end}));
    plan.Text(6, content);
    plan.Text(7, sql::CanonicalDateText(Date{begin - 15.0 / 1440.0}));
    plan.Text(8, kPlaces[static_cast<size_t>(pick(0, kPlaces.size() - 1))]);
    plan.Run(db);
  }
  db.Exec("COMMIT");
  db.Exec("ANALYZE");
}

}  // namespace

Date PlanDataLastDay() { return *MakeDate({.year = 2025, .month = 6, .day = 30}); }

std::string PlanDatabase(const PlanDataParams& params, const std::string& directory) {
  fs::create_directories(directory);
  const std::string path = directory + "/plans-" + std::to_string(params.plans) + "-" +
                           std::to_string(params.persons) + "-" + std::to_string(params.seed) +
                           BenchDataTag() + ".db";
  if (!fs::exists(path)) {
    // Written under a temporary name so that an interrupted run leaves no
    // half-made cache behind.
    const std::string partial = path + ".partial";
    fs::remove(partial);
    Generate(params, partial);
    fs::rename(partial, path);
  } else {
    // A cache made before a schema change gets what is new (indexes, the
    // plan span index filled from its rows), as any existing database does.
    std::shared_ptr<Connection> conn = OpenConnection("sqlite:" + path);
    if (!EnsureSchema(*conn).empty()) RawDatabase(path, kPlainOpen).Exec("ANALYZE");
  }
  return path;
}

std::string ScratchCopy(const std::string& path, const std::string& name) {
  const std::string copy = fs::path(path).parent_path().string() + "/scratch-" + name + ".db";
  // A journal left by an earlier run's copy would be replayed into this one.
  for (const char* suffix : {"-wal", "-shm"}) fs::remove(copy + suffix);
  fs::copy_file(path, copy, fs::copy_options::overwrite_existing);
  return copy;
}

}  // namespace korimba::bench

// Raw SQLite for the benchmarks: the side that runs the component's
// translated statements straight on a sqlite3 handle (prepared once, values
// bound, every column of every row read), against which the component's
// own path is measured, and the handle the data generators write through.
//  - RawDatabase owns one sqlite3 handle, opened by default as the embedded
//    provider opens its files.
//  - RawStatement runs one statement shape with the bound values of many
//    rounds worked out in advance (one BindValue per round, outside the
//    timed loop).
//  - RawCall runs the statements of one component call in order, binding at
//    run time so that @@IDENTITY sees the insert before it.
// Each object belongs to one thread; the statements must not outlive the
// RawDatabase they were prepared on.
#ifndef KORIMBA_BENCH_SUPPORT_RAW_SQLITE_H_
#define KORIMBA_BENCH_SUPPORT_RAW_SQLITE_H_

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "db/translator.h"

namespace korimba::bench {

// Throws std::runtime_error("<what>: <SQLite's message>") unless `rc` is
// SQLITE_OK, SQLITE_DONE or SQLITE_ROW.
void CheckSqlite(int rc, sqlite3* db, std::string_view what);

struct RawOpenOptions {
  // SQLITE_OPEN_NOMUTEX, as the provider opens; false keeps SQLite's default
  // (serialized) mode.
  bool no_mutex = true;
  // The provider's settings for a file: WAL journal, synchronous=NORMAL, a
  // 5 s busy timeout, and its memory map and page cache (the same
  // KORIMBA_SQLITE_MMAP_MB and KORIMBA_SQLITE_CACHE_MB, the same defaults),
  // so that both sides read and sync alike. The data generators set their
  // own.
  bool provider_settings = true;
};

// SQLite's own defaults: for the data generators, which set their own pragmas.
inline constexpr RawOpenOptions kPlainOpen{.no_mutex = false, .provider_settings = false};

class RawDatabase {
 public:
  // Opens an existing file read-write; throws when it cannot.
  explicit RawDatabase(const std::string& path, const RawOpenOptions& options = {});
  ~RawDatabase();
  RawDatabase(const RawDatabase&) = delete;
  RawDatabase& operator=(const RawDatabase&) = delete;

  sqlite3* handle() const { return handle_; }
  void Exec(const std::string& sql) const;

 private:
  sqlite3* handle_ = nullptr;
};

// Binds a translated value. `lifetime` is SQLITE_STATIC when the value
// outlives the step, SQLITE_TRANSIENT when SQLite must copy it.
void BindRaw(sqlite3_stmt* stmt, int index, const sql::BoundValue& value,
             sqlite3_destructor_type lifetime);

// One cell of a raw result: a value type of the same weight as the
// component's Variant (a number, or the text copied out of SQLite).
using RawCell = std::variant<std::monostate, int64_t, double, std::string>;

// What a raw side builds besides the rows, to match the component's grid.
struct RawShape {
  // Each run counts the rows first and makes room for them in one piece, as
  // the component's static cursor does before it fills its grid; a large
  // result then grows its vector without copies.
  bool count_first = false;
  // The column names go first, as a row of text cells: the grids of
  // GetAllData and GetData name their columns in row 0.
  bool header_row = false;
};

// Steps `stmt` to its end, building every column of every row into a
// vector of cells as the component builds its grid (room for
// `reserve_rows` rows made first; with `header_row` the column names
// first), and resets it; returns the number of cells so that nothing is
// optimized away.
int64_t StepAndReadAll(sqlite3* db, sqlite3_stmt* stmt, size_t reserve_rows = 0,
                       bool header_row = false);

// The SQL of `stmt` and SQLite's plan for it, one step a line: what a raw
// side runs, for finding out why a method is slow.
std::string DescribeStatement(sqlite3* db, sqlite3_stmt* stmt);

class RawStatement {
 public:
  // `texts` are statements of one shape (the first is translated with
  // `translator`); `prepare_flags` go to sqlite3_prepare_v3; `shape` says
  // what each run builds besides the rows.
  RawStatement(sqlite3* db, const std::vector<std::string>& texts,
               const sql::TranslatorOptions& translator = {}, unsigned prepare_flags = 0,
               RawShape shape = {});
  ~RawStatement();
  RawStatement(const RawStatement&) = delete;
  RawStatement& operator=(const RawStatement&) = delete;

  // Runs round `r` (the values of texts[r % texts.size()]).
  int64_t Run(size_t r);

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  sqlite3_stmt* count_ = nullptr;
  bool header_row_ = false;
  std::vector<sql::ParamSpec> params_;
  std::vector<std::vector<sql::BoundValue>> binds_;
};

class RawCall {
 public:
  // With `header_row`, each statement's result starts with its column
  // names (StepAndReadAll).
  RawCall(sqlite3* db, const std::vector<std::string>& texts, bool header_row = false);
  ~RawCall();
  RawCall(RawCall&& other) noexcept = default;
  RawCall(const RawCall&) = delete;
  RawCall& operator=(const RawCall&) = delete;

  // Binds, steps and reads every statement in call order.
  int64_t Run();
  // DescribeStatement of each statement.
  std::string Describe() const;

 private:
  struct Step {
    sql::ShapedStatement shape;
    std::vector<sql::ParamSpec> params;
    sqlite3_stmt* stmt = nullptr;
    Step() = default;
    Step(Step&& o) noexcept : shape(std::move(o.shape)), params(std::move(o.params)), stmt(o.stmt) {
      o.stmt = nullptr;
    }
  };

  sqlite3* db_;
  bool header_row_ = false;
  std::vector<Step> steps_;
};

}  // namespace korimba::bench

#endif  // KORIMBA_BENCH_SUPPORT_RAW_SQLITE_H_

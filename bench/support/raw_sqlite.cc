#include "bench/support/raw_sqlite.h"

#include <cstdlib>
#include <stdexcept>
#include <utility>
#include <variant>

namespace korimba::bench {
namespace {

sqlite3_stmt* Prepare(sqlite3* db, const std::string& sql, unsigned flags) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(db, sql.c_str(), -1, flags, &stmt, nullptr) != SQLITE_OK) {
    throw std::runtime_error(std::string(sqlite3_errmsg(db)) + ": " + sql);
  }
  return stmt;
}

// The provider's reading of its map and cache variables: a whole number of
// MiB, else the default.
int64_t MegabytesOr(const char* name, int64_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  int64_t value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9' || value > 1'000'000) return fallback;
    value = value * 10 + (*c - '0');
  }
  return value;
}

}  // namespace

void CheckSqlite(int rc, sqlite3* db, std::string_view what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
  }
}

RawDatabase::RawDatabase(const std::string& path, const RawOpenOptions& options) {
  const int flags = SQLITE_OPEN_READWRITE | (options.no_mutex ? SQLITE_OPEN_NOMUTEX : 0);
  if (sqlite3_open_v2(path.c_str(), &handle_, flags, nullptr) != SQLITE_OK) {
    const std::string message = handle_ ? sqlite3_errmsg(handle_) : "out of memory";
    sqlite3_close(handle_);
    throw std::runtime_error("cannot open " + path + ": " + message);
  }
  if (options.provider_settings) {
    sqlite3_busy_timeout(handle_, 5000);
    sqlite3_exec(handle_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(handle_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    const std::string mmap =
        "PRAGMA mmap_size=" + std::to_string(MegabytesOr("KORIMBA_SQLITE_MMAP_MB", 256) << 20);
    const std::string cache =
        "PRAGMA cache_size=-" + std::to_string(MegabytesOr("KORIMBA_SQLITE_CACHE_MB", 8) << 10);
    sqlite3_exec(handle_, mmap.c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(handle_, cache.c_str(), nullptr, nullptr, nullptr);
  }
}

RawDatabase::~RawDatabase() { sqlite3_close(handle_); }

void RawDatabase::Exec(const std::string& sql) const {
  CheckSqlite(sqlite3_exec(handle_, sql.c_str(), nullptr, nullptr, nullptr), handle_, sql);
}

void BindRaw(sqlite3_stmt* stmt, int index, const sql::BoundValue& value,
             sqlite3_destructor_type lifetime) {
  if (const auto* i = std::get_if<int64_t>(&value)) {
    sqlite3_bind_int64(stmt, index, *i);
  } else if (const auto* d = std::get_if<double>(&value)) {
    sqlite3_bind_double(stmt, index, *d);
  } else if (const auto* s = std::get_if<std::string>(&value)) {
    sqlite3_bind_text(stmt, index, s->data(), static_cast<int>(s->size()), lifetime);
  } else {
    sqlite3_bind_null(stmt, index);
  }
}

int64_t StepAndReadAll(sqlite3* db, sqlite3_stmt* stmt, size_t reserve_rows, bool header_row) {
  std::vector<RawCell> cells;
  const int columns = sqlite3_column_count(stmt);
  cells.reserve((reserve_rows + (header_row ? 1 : 0)) * static_cast<size_t>(columns));
  if (header_row) {
    for (int c = 0; c < columns; ++c) cells.emplace_back(std::string(sqlite3_column_name(stmt, c)));
  }
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    for (int c = 0, n = sqlite3_column_count(stmt); c < n; ++c) {
      switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_INTEGER:
          cells.emplace_back(sqlite3_column_int64(stmt, c));
          break;
        case SQLITE_FLOAT:
          cells.emplace_back(sqlite3_column_double(stmt, c));
          break;
        case SQLITE_TEXT:
          cells.emplace_back(
              std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                          static_cast<size_t>(sqlite3_column_bytes(stmt, c))));
          break;
        default:
          cells.emplace_back();
          break;
      }
    }
  }
  if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
  sqlite3_reset(stmt);
  return static_cast<int64_t>(cells.size());
}

std::string DescribeStatement(sqlite3* db, sqlite3_stmt* stmt) {
  std::string out = sqlite3_sql(stmt);
  sqlite3_stmt* explain = Prepare(db, std::string("EXPLAIN QUERY PLAN ") + sqlite3_sql(stmt), 0);
  while (sqlite3_step(explain) == SQLITE_ROW) {
    out += "\n  ";
    out += reinterpret_cast<const char*>(sqlite3_column_text(explain, 3));
  }
  sqlite3_finalize(explain);
  return out;
}

RawStatement::RawStatement(sqlite3* db, const std::vector<std::string>& texts,
                           const sql::TranslatorOptions& translator, unsigned prepare_flags,
                           RawShape raw_shape)
    : db_(db), header_row_(raw_shape.header_row) {
  sql::ShapedStatement shape;
  for (const std::string& text : texts) {
    sql::ShapeStatement(text, shape);
    if (!stmt_) {
      const sql::Translation translation = sql::Translate(shape, translator);
      params_ = translation.params;
      stmt_ = Prepare(db, translation.sql, prepare_flags);
      if (raw_shape.count_first) {
        count_ = Prepare(db, "SELECT count(*) FROM (" + translation.sql + ")", prepare_flags);
      }
    }
    std::vector<sql::BoundValue> values;
    for (const sql::ParamSpec& p : params_) values.push_back(sql::BindValue(p, shape, {}));
    binds_.push_back(std::move(values));
  }
}

RawStatement::~RawStatement() {
  sqlite3_finalize(stmt_);
  sqlite3_finalize(count_);
}

int64_t RawStatement::Run(size_t r) {
  const std::vector<sql::BoundValue>& values = binds_[r % binds_.size()];
  size_t rows = 0;
  if (count_ != nullptr) {
    for (size_t p = 0; p < values.size(); ++p) {
      BindRaw(count_, static_cast<int>(p + 1), values[p], SQLITE_STATIC);
    }
    CheckSqlite(sqlite3_step(count_), db_, "count");
    rows = static_cast<size_t>(sqlite3_column_int64(count_, 0));
    sqlite3_reset(count_);
  }
  for (size_t p = 0; p < values.size(); ++p) {
    BindRaw(stmt_, static_cast<int>(p + 1), values[p], SQLITE_STATIC);
  }
  return StepAndReadAll(db_, stmt_, rows, header_row_);
}

RawCall::RawCall(sqlite3* db, const std::vector<std::string>& texts, bool header_row)
    : db_(db), header_row_(header_row) {
  for (const std::string& text : texts) {
    Step step;
    sql::ShapeStatement(text, step.shape);
    const sql::Translation translation = sql::Translate(step.shape);
    step.params = translation.params;
    step.stmt = Prepare(db, translation.sql, 0);
    steps_.push_back(std::move(step));
  }
}

RawCall::~RawCall() {
  for (Step& s : steps_) sqlite3_finalize(s.stmt);
}

std::string RawCall::Describe() const {
  std::string out;
  for (const Step& s : steps_) out += DescribeStatement(db_, s.stmt) + "\n";
  return out;
}

int64_t RawCall::Run() {
  int64_t sum = 0;
  for (Step& s : steps_) {
    sql::BindState state;
    state.last_identity = sqlite3_last_insert_rowid(db_);
    for (size_t p = 0; p < s.params.size(); ++p) {
      BindRaw(s.stmt, static_cast<int>(p + 1), sql::BindValue(s.params[p], s.shape, state),
              SQLITE_TRANSIENT);
    }
    sum += StepAndReadAll(db_, s.stmt, 0, header_row_);
  }
  return sum;
}

}  // namespace korimba::bench

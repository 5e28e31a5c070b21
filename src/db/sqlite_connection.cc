#include "db/sqlite_connection.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "db/plan_span.h"
#include "db/resolved_tree.h"
#include "db/sql_batch.h"
#include "db/sqlite_batch.h"
#include "db/sqlite_functions.h"
#include "db/sqlite_paged_result.h"
#include "frame/error.h"

namespace korimba {
namespace {

constexpr size_t kMaxCachedShapes = 512;
constexpr size_t kMaxTranslationsPerShape = 16;
constexpr int kBusyTimeoutMs = 5000;

// Read sizes for a file database, sized for an office of a few hundred
// persons and a few million messages: reads go through a memory map of up to
// 256 MiB (pages shared with the operating system's file cache, not copied
// into the process), and each connection keeps up to 8 MiB of pages of its
// own (for writes, and for the part of the file beyond the map).
// KORIMBA_SQLITE_MMAP_MB and KORIMBA_SQLITE_CACHE_MB override them (0 turns
// the map off; the cache keeps at least SQLite's minimum).
constexpr int64_t kDefaultMmapMb = 256;
constexpr int64_t kDefaultCacheMb = 8;

// A whole number of megabytes from the environment, or `fallback` when the
// variable is unset or not such a number.
int64_t MegabytesFromEnvironment(const char* name, int64_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  int64_t value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9' || value > 1'000'000) return fallback;
    value = value * 10 + (*c - '0');
  }
  return value;
}

// Resets a statement whatever happens, so the next call finds it clean.
class ResetGuard {
 public:
  explicit ResetGuard(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ResetGuard(const ResetGuard&) = delete;
  ResetGuard& operator=(const ResetGuard&) = delete;
  ~ResetGuard() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

 private:
  sqlite3_stmt* stmt_;
};

// A column of the current row as SQLite stores it.
sql::BoundValue StoredValue(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
      return static_cast<int64_t>(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
      return sqlite3_column_double(stmt, i);
    case SQLITE_NULL:
      return std::monostate{};
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      return std::string(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(stmt, i)));
    }
  }
}

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errmsg(db);
    sqlite3_free(error);
    ThrowDatabase(message);
  }
}

// The earlier placeholder that binds the same value as params[i] (the same
// literal text converted the same way), or i. A statement often names one
// value several times (the month view names its first and last moments
// five and six times), and a datetime text is read and written out anew
// for each conversion.
size_t SameBindingBefore(const std::vector<sql::ParamSpec>& params, size_t i,
                         const sql::ShapedStatement& shape) {
  const sql::ParamSpec& p = params[i];
  if (p.source != sql::ParamSource::kLiteral) return i;
  const sql::Literal& lit = shape.literals.at(p.literal_index);
  for (size_t j = 0; j < i; ++j) {
    if (params[j].source != sql::ParamSource::kLiteral) continue;
    // The literal first: it tells most placeholders apart at once.
    const sql::Literal& other = shape.literals.at(params[j].literal_index);
    if (other.kind != lit.kind || other.text != lit.text) continue;
    sql::ParamSpec q = params[j];
    q.literal_index = p.literal_index;
    if (q == p) return j;
  }
  return i;
}

}  // namespace

std::shared_ptr<SqliteConnection> SqliteConnection::Open(const std::string& path,
                                                         bool schema_if_new) {
  const bool memory = path == ":memory:";
  bool is_new = memory;
  if (!memory) {
    std::error_code ec;
    is_new = !std::filesystem::exists(path, ec) || std::filesystem::file_size(path, ec) == 0;
  }
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    std::string message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    ThrowDatabase("Cannot open the database '" + path + "': " + message);
  }
  std::shared_ptr<SqliteConnection> conn(new SqliteConnection(db));
  if (sql::RegisterSqliteFunctions(db) != SQLITE_OK) conn->Fail();
  conn->options_.custom_functions = true;
  conn->options_.temp_tables = &conn->temp_tables_;
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 1);
  if (!memory) {
    conn->RememberFile(path);
    Exec(db, "PRAGMA journal_mode=WAL");
    Exec(db, "PRAGMA synchronous=NORMAL");
    const int64_t mmap_mb = MegabytesFromEnvironment("KORIMBA_SQLITE_MMAP_MB", kDefaultMmapMb);
    const int64_t cache_mb = MegabytesFromEnvironment("KORIMBA_SQLITE_CACHE_MB", kDefaultCacheMb);
    Exec(db, ("PRAGMA mmap_size=" + std::to_string(mmap_mb * 1024 * 1024)).c_str());
    // A negative cache size counts KiB rather than pages.
    Exec(db, ("PRAGMA cache_size=-" + std::to_string(cache_mb * 1024)).c_str());
  }
  if (schema_if_new && is_new) {
    conn->EnsureSchema();
  } else {
    conn->ReadSchemaOptions();
  }
  return conn;
}

SqliteConnection::~SqliteConnection() {
  ClearCache();
  sqlite3_close_v2(db_);
}

void SqliteConnection::Finalize::operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }

void SqliteConnection::ClearCache() { cache_.clear(); }

void SqliteConnection::RememberFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;  // SQLite opened it; nothing to compare with
  path_ = path;
  device_ = st.st_dev;
  inode_ = st.st_ino;
}

void SqliteConnection::CheckFileBeforeWrite() const {
  if (path_.empty()) return;
  struct stat st {};
  const bool same = ::stat(path_.c_str(), &st) == 0 &&
                    static_cast<uint64_t>(st.st_dev) == device_ &&
                    static_cast<uint64_t>(st.st_ino) == inode_;
  if (!same) {
    ThrowDatabase("The database file '" + path_ +
                  "' was removed or replaced while it was open; the change was not made. Put "
                  "the file back or reopen the database.");
  }
}

void SqliteConnection::Fail() const { ThrowDatabase(sqlite3_errmsg(db_)); }

std::vector<std::string> SqliteConnection::EnsureSchema() {
  std::vector<std::string> created;
  CheckFileBeforeWrite();
  Exec(db_, "BEGIN IMMEDIATE");
  try {
    sqlite3_stmt* probe = nullptr;
    if (sqlite3_prepare_v2(
            db_, "SELECT 1 FROM sqlite_master WHERE type = ?1 AND name = ?2 COLLATE NOCASE", -1,
            &probe, nullptr) != SQLITE_OK) {
      Fail();
    }
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(probe, sqlite3_finalize);
    for (const sql::SchemaObject& obj : sql::SqliteSchemaObjects()) {
      sqlite3_bind_text(probe, 1, obj.type.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(probe, 2, obj.name.c_str(), -1, SQLITE_TRANSIENT);
      const int rc = sqlite3_step(probe);
      sqlite3_reset(probe);
      if (rc == SQLITE_ROW) continue;
      if (rc != SQLITE_DONE) Fail();
      Exec(db_, obj.ddl.c_str());
      if (!obj.fill.empty()) Exec(db_, obj.fill.c_str());
      if (!obj.replaces.empty()) Exec(db_, ("DROP INDEX IF EXISTS " + obj.replaces).c_str());
      created.push_back(obj.name);
    }
    Exec(db_, "COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  // Schema changes expire prepared statements; SQLite re-prepares them, but
  // a clean cache is simpler to reason about.
  if (!created.empty()) {
    ClearCache();
    ReadSchemaOptions();
  }
  return created;
}

void SqliteConnection::ReadSchemaOptions() {
  // The R*Tree is only trusted with all of its triggers: without one it
  // would miss rows.
  sqlite3_stmt* probe = nullptr;
  if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type = ?1 AND name = ?2", -1,
                         &probe, nullptr) != SQLITE_OK) {
    Fail();
  }
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(probe, sqlite3_finalize);
  bool spans = true;
  for (const sql::SchemaObject& obj : sql::PlanSpanSchemaObjects()) {
    sqlite3_bind_text(probe, 1, obj.type.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(probe, 2, obj.name.c_str(), -1, SQLITE_TRANSIENT);
    const int rc = sqlite3_step(probe);
    sqlite3_reset(probe);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail();
    spans = spans && rc == SQLITE_ROW;
  }
  if (spans != options_.plan_spans) {
    options_.plan_spans = spans;
    ClearCache();
  }
}

sql::Translation SqliteConnection::TranslateText(std::string_view statement) {
  sql::ShapedStatement shape;
  sql::ShapeStatement(statement, shape);
  return sql::Translate(shape, {.custom_functions = true, .plan_spans = true});
}

SqliteConnection::Prepared* SqliteConnection::Find() {
  auto it = cache_.find(std::string_view(shape_.key));
  if (it != cache_.end()) {
    for (auto& p : it->second) {
      if (p->translation.Matches(shape_)) return p.get();
    }
  }
  return nullptr;
}

SqliteConnection::Prepared& SqliteConnection::Lookup() {
  if (Prepared* found = Find()) return *found;
  auto it = cache_.find(std::string_view(shape_.key));
  auto prepared = std::make_unique<Prepared>();
  prepared->translation = sql::Translate(shape_, options_);
  const std::string& text = prepared->translation.sql;
  sqlite3_stmt* stmt = nullptr;
  const int rc = sqlite3_prepare_v3(db_, text.c_str(), static_cast<int>(text.size()),
                                    SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  prepared->stmt.reset(stmt);
  if (rc != SQLITE_OK) Fail();
  if (it == cache_.end()) {
    if (cache_.size() >= kMaxCachedShapes) ClearCache();
    it = cache_.emplace(shape_.key, std::vector<std::unique_ptr<Prepared>>{}).first;
  }
  // A shape whose fixed literals keep changing (LIKE patterns typed into a
  // search) keeps only its latest translations.
  if (it->second.size() >= kMaxTranslationsPerShape) it->second.erase(it->second.begin());
  it->second.push_back(std::move(prepared));
  return *it->second.back();
}

void SqliteConnection::BindTo(const sql::Translation& translation, sqlite3_stmt* stmt) {
  const auto& params = translation.params;
  bound_.clear();
  bound_.reserve(params.size());
  for (size_t i = 0; i < params.size(); ++i) {
    const size_t same = SameBindingBefore(params, i, shape_);
    bound_.push_back(same < i ? bound_[same] : sql::BindValue(params[i], shape_, bind_state_));
  }
  // The values stay in bound_ until the statement is reset, so SQLite need
  // not copy them.
  for (size_t i = 0; i < params.size(); ++i) {
    const sql::BoundValue& value = bound_[i];
    const int index = static_cast<int>(i + 1);
    int rc = SQLITE_OK;
    if (const auto* v = std::get_if<int64_t>(&value)) {
      rc = sqlite3_bind_int64(stmt, index, *v);
    } else if (const auto* d = std::get_if<double>(&value)) {
      rc = sqlite3_bind_double(stmt, index, *d);
    } else if (const auto* s = std::get_if<std::string>(&value)) {
      rc = sqlite3_bind_text(stmt, index, s->data(), static_cast<int>(s->size()), SQLITE_STATIC);
    } else {
      rc = sqlite3_bind_null(stmt, index);
    }
    if (rc != SQLITE_OK) Fail();
  }
}

ResultTable SqliteConnection::Execute(std::string_view statement) {
  sql::ShapeStatement(statement, shape_);
  // Every call is a batch of its own: SCOPE_IDENTITY() sees only its inserts.
  bind_state_.scope_identity.reset();
  // A statement met before runs at once; anything else is read as a batch
  // first, and run as it is when it holds one plain statement.
  if (Prepared* p = Find()) return Run(*p, nullptr);
  sql::Batch batch = sql::ParseBatch(shape_);
  if (batch.IsSingleStatement()) return Run(Lookup(), nullptr);
  return SqliteBatch(*this, batch).Run();
}

void SqliteConnection::RunInBatch(const sql::ShapedStatement& shape, Outcome& outcome) {
  // The batch's own shape is elsewhere; shape_ holds the statement's while it
  // is looked up and bound.
  shape_.key = shape.key;
  shape_.literals = shape.literals;
  outcome.table = Run(Lookup(), &outcome);
}

void SqliteConnection::ForgetTempShapes() {
  std::erase_if(cache_,
                [](const auto& entry) { return entry.first.find('#') != std::string::npos; });
}

void SqliteConnection::CreateTempTable(sql::TableDef table) {
  const sql::TableDef& made = temp_tables_.Add(std::move(table));
  try {
    Exec(db_, sql::TempTables::CreateText(made).c_str());
  } catch (...) {
    temp_tables_.Remove(made.name);
    throw;
  }
  ForgetTempShapes();
}

void SqliteConnection::DropTempTable(const std::string& name, bool if_exists) {
  const sql::TableDef* table = temp_tables_.Find(name);
  if (!table) {
    if (if_exists) return;
    ThrowDatabase("Cannot drop the table '" + name +
                  "', because it does not exist or you do not have permission.");
  }
  Exec(db_, ("DROP TABLE temp." + sql::Quote(table->name)).c_str());
  if (transactions_.Count() > 0) dropped_in_transaction_.push_back(*table);
  temp_tables_.Remove(name);
  ForgetTempShapes();
}

bool SqliteConnection::TempTableExists(const std::string& name) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_, "SELECT 1 FROM temp.sqlite_master WHERE type = 'table' AND name = ?1",
                         -1, &raw, nullptr) != SQLITE_OK) {
    Fail();
  }
  StatementHandle probe(raw);
  sqlite3_bind_text(raw, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
  const int rc = sqlite3_step(raw);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail();
  return rc == SQLITE_ROW;
}

void SqliteConnection::ReconcileTempTables() {
  std::vector<std::string> gone;
  for (const std::string& name : temp_tables_.Names()) {
    if (!TempTableExists(name)) gone.push_back(name);
  }
  for (const std::string& name : gone) temp_tables_.Remove(name);
  for (sql::TableDef& table : dropped_in_transaction_) {
    if (!temp_tables_.Find(table.name) && TempTableExists(table.name)) {
      temp_tables_.Add(std::move(table));
    }
  }
  if (transactions_.Count() == 0) dropped_in_transaction_.clear();
  ForgetTempShapes();
}

void SqliteConnection::SelectInto(const sql::ShapedStatement& shape, const std::string& name,
                                  Outcome& outcome) {
  shape_.key = shape.key;
  shape_.literals = shape.literals;
  const sql::Translation translation = Lookup().translation;
  sql::TableDef table;
  table.name = name;
  for (const sql::ResultColumn& c : translation.columns) {
    if (c.name.empty()) {
      ThrowDatabase(
          "An object or column name is missing or empty. For SELECT INTO statements, verify "
          "each column has a name. For other statements, look for empty alias names. Aliases "
          "defined as \"\" or [] are not allowed. Change the alias to a valid name.");
    }
    if (table.IndexOf(c.name) >= 0) {
      ThrowDatabase("Column names in each table must be unique. Column name '" + c.name +
                    "' in table '" + name + "' is specified more than once.");
    }
    sql::ColumnDef& col = table.columns.emplace_back();
    col.name = c.name;
    col.type = c.type == sql::SqlType::kNull ? sql::SqlType::kInt : c.type;
    col.time_scale = c.time_scale;
  }
  CreateTempTable(std::move(table));
  // Filled by the query's own text, bound as the query would be; a query
  // that fails leaves no table, as SQL Server's SELECT ... INTO leaves none.
  try {
    const std::string insert = "INSERT INTO temp." + sql::Quote(name) + " " + translation.sql;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, insert.c_str(), static_cast<int>(insert.size()), &raw, nullptr) !=
        SQLITE_OK) {
      Fail();
    }
    StatementHandle stmt(raw);
    BindTo(translation, stmt.get());
    if (sqlite3_step(stmt.get()) != SQLITE_DONE) Fail();
    row_count_ = sqlite3_changes(db_);
    outcome.rows = row_count_;
  } catch (...) {
    DropTempTable(name, true);
    throw;
  }
}

ResultTable SqliteConnection::Run(Prepared& p, Outcome* outcome) {
  ResetGuard reset(p.stmt.get());
  Bind(p);
  ResultTable result;
  const auto& columns = p.translation.columns;
  if (columns.empty()) {
    CheckFileBeforeWrite();
    int rc;
    while ((rc = sqlite3_step(p.stmt.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) Fail();
    if (!p.translation.identity_table.empty() && sqlite3_changes(db_) > 0) {
      bind_state_.last_identity = sqlite3_last_insert_rowid(db_);
      bind_state_.scope_identity = bind_state_.last_identity;
    } else if (p.translation.kind == sql::StatementKind::kInsert &&
               p.translation.identity_table.empty()) {
      // An insert into a table without an identity leaves @@IDENTITY Null.
      bind_state_.last_identity.reset();
    }
    row_count_ = sqlite3_changes(db_);
    if (outcome) outcome->rows = row_count_;
    return result;
  }
  result.columns.reserve(columns.size());
  for (const sql::ResultColumn& c : columns) result.columns.push_back(c.name);
  const int n = static_cast<int>(columns.size());
  result.cells.reserve(std::max(columns.size() * 4, p.last_cells));
  int rc;
  int64_t rows = 0;
  while ((rc = sqlite3_step(p.stmt.get())) == SQLITE_ROW) {
    ++rows;
    if (outcome && outcome->last_row.size() == columns.size()) {
      // An assignment keeps the stored values of the last row only.
      for (int i = 0; i < n; ++i) outcome->last_row[i] = StoredValue(p.stmt.get(), i);
      continue;
    }
    for (int i = 0; i < n; ++i) result.cells.push_back(ReadSqliteCell(p.stmt.get(), i, columns[i]));
  }
  if (rc != SQLITE_DONE) Fail();
  p.last_cells = result.cells.size();
  row_count_ = rows;
  if (outcome) outcome->rows = rows;
  return result;
}

}  // namespace korimba

namespace korimba {

std::unique_ptr<PagedResult> SqliteConnection::QueryPaged(std::string_view statement) {
  sql::ShapeStatement(statement, shape_);
  bind_state_.scope_identity.reset();
  // A batch is read whole, through Execute.
  if (!Find() && !sql::ParseBatch(shape_).IsSingleStatement()) return nullptr;
  Prepared& p = Lookup();
  // The values are converted once, now, as Execute would bind them; the
  // paged result keeps them for its own statements.
  std::vector<sql::BoundValue> values;
  values.reserve(p.translation.params.size());
  for (const sql::ParamSpec& param : p.translation.params)
    values.push_back(sql::BindValue(param, shape_, bind_state_));
  return SqlitePagedResult::Make(db_, p.translation, std::move(values));
}

}  // namespace korimba

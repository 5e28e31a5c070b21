#include "db/sqlite_paged_result.h"

#include <sqlite3.h>

#include <cctype>

#include "frame/error.h"
#include "frame/names.h"

namespace korimba {
namespace {

// Whether `sql` holds the word LIMIT outside quotes and identifiers: such a
// query is limited already (TOP, or a limited subquery) and is read whole.
bool HasLimit(std::string_view sql) {
  char quote = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"' || c == '[' || c == '`') {
      quote = c == '[' ? ']' : c;
    } else if (i + 5 <= sql.size() && SameName(sql.substr(i, 5), "LIMIT") &&
               (i == 0 || !std::isalnum(static_cast<unsigned char>(sql[i - 1])))) {
      return true;
    }
  }
  return false;
}

// Finalizes a statement at the end of a scope.
using StatementPtr = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

}  // namespace

Variant ReadSqliteCell(sqlite3_stmt* stmt, int i, const sql::ResultColumn& column) {
  const sql::SqlType type = column.type;
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
      return Variant::Null();
    case SQLITE_INTEGER:
      return sql::ResultValueFromInt(type, sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
      return sql::ResultValueFromDouble(type, sqlite3_column_double(stmt, i));
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      const int bytes = sqlite3_column_bytes(stmt, i);
      return sql::ResultValueFromText(type, std::string_view(text ? text : "", bytes),
                                      column.time_scale);
    }
  }
}

std::unique_ptr<SqlitePagedResult> SqlitePagedResult::Make(sqlite3* db,
                                                           const sql::Translation& translation,
                                                           std::vector<sql::BoundValue> values) {
  if (translation.kind != sql::StatementKind::kSelect || translation.columns.empty() ||
      HasLimit(translation.sql)) {
    return nullptr;
  }
  return std::unique_ptr<SqlitePagedResult>(
      new SqlitePagedResult(db, translation, std::move(values)));
}

SqlitePagedResult::SqlitePagedResult(sqlite3* db, const sql::Translation& translation,
                                     std::vector<sql::BoundValue> values)
    : db_(db), values_(std::move(values)) {
  for (const sql::ResultColumn& c : translation.columns) {
    columns_.push_back(c.name);
    types_.push_back(c);
  }
  // The parameters after the query's own take the range.
  const std::string limit = "?" + std::to_string(values_.size() + 1);
  const std::string offset = "?" + std::to_string(values_.size() + 2);
  page_sql_ = translation.sql + " LIMIT " + limit + " OFFSET " + offset;

  StatementPtr count(Prepare("SELECT count(*) FROM (" + translation.sql + ")"), sqlite3_finalize);
  BindValues(count.get());
  if (sqlite3_step(count.get()) != SQLITE_ROW) Fail();
  rows_ = static_cast<size_t>(sqlite3_column_int64(count.get(), 0));
}

SqlitePagedResult::~SqlitePagedResult() { sqlite3_finalize(page_stmt_); }

sqlite3_stmt* SqlitePagedResult::Prepare(const std::string& text) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, text.c_str(), static_cast<int>(text.size()), &stmt, nullptr) !=
      SQLITE_OK) {
    Fail();
  }
  return stmt;
}

void SqlitePagedResult::BindValues(sqlite3_stmt* stmt) {
  for (size_t i = 0; i < values_.size(); ++i) {
    const sql::BoundValue& value = values_[i];
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

size_t SqlitePagedResult::ReadRows(size_t first, size_t count, Variant* out, size_t row_step,
                                   size_t column_step) {
  if (first >= rows_ || count == 0) return 0;
  if (page_stmt_ == nullptr) {
    page_stmt_ = Prepare(page_sql_);
    BindValues(page_stmt_);
  }
  const int base = static_cast<int>(values_.size());
  sqlite3_bind_int64(page_stmt_, base + 1, static_cast<sqlite3_int64>(count));
  sqlite3_bind_int64(page_stmt_, base + 2, static_cast<sqlite3_int64>(first));
  const int n = static_cast<int>(types_.size());
  size_t read = 0;
  int rc;
  while ((rc = sqlite3_step(page_stmt_)) == SQLITE_ROW) {
    Variant* row = out + read * row_step;
    for (int i = 0; i < n; ++i) {
      row[static_cast<size_t>(i) * column_step] = ReadSqliteCell(page_stmt_, i, types_[i]);
    }
    ++read;
  }
  if (rc != SQLITE_DONE) {
    std::string message = sqlite3_errmsg(db_);
    sqlite3_reset(page_stmt_);
    ThrowDatabase(message);
  }
  sqlite3_reset(page_stmt_);
  return read;
}

void SqlitePagedResult::Fail() const { ThrowDatabase(sqlite3_errmsg(db_)); }

}  // namespace korimba

// SqlitePagedResult is the embedded provider's PagedResult (frame/
// connection.h): a translated SELECT read one range at a time. It counts the
// query's rows once when made (SELECT count(*) over the query) and reads each
// range with the query's own text plus LIMIT/OFFSET, so a page of a large
// table costs that page, not the table. It owns its two prepared statements
// and the values bound to them; SQLite keeps the database handle alive until
// they are finalized. One thread, the connection's.
#ifndef KORIMBA_DB_SQLITE_PAGED_RESULT_H_
#define KORIMBA_DB_SQLITE_PAGED_RESULT_H_

#include <memory>
#include <string>
#include <vector>

#include "db/translator.h"
#include "frame/connection.h"

struct sqlite3;
struct sqlite3_stmt;

namespace korimba {

// A result cell as the component sees it: SQLite's value read as the SQL
// Server type the translator gave its column.
Variant ReadSqliteCell(sqlite3_stmt* stmt, int index, const sql::ResultColumn& column);

class SqlitePagedResult final : public PagedResult {
 public:
  // nullptr when `translation` is no SELECT that can take LIMIT/OFFSET of
  // its own (one that already limits its rows, through TOP, is read whole).
  static std::unique_ptr<SqlitePagedResult> Make(sqlite3* db, const sql::Translation& translation,
                                                 std::vector<sql::BoundValue> values);
  ~SqlitePagedResult() override;

  const std::vector<std::string>& columns() const override { return columns_; }
  size_t row_count() const override { return rows_; }
  size_t ReadRows(size_t first, size_t count, Variant* out, size_t row_step,
                  size_t column_step) override;

 private:
  SqlitePagedResult(sqlite3* db, const sql::Translation& translation,
                    std::vector<sql::BoundValue> values);
  sqlite3_stmt* Prepare(const std::string& text);
  void BindValues(sqlite3_stmt* stmt);
  [[noreturn]] void Fail() const;

  sqlite3* db_;
  std::vector<std::string> columns_;
  std::vector<sql::ResultColumn> types_;
  std::vector<sql::BoundValue> values_;
  std::string page_sql_;
  sqlite3_stmt* page_stmt_ = nullptr;  // prepared on the first read
  size_t rows_ = 0;
};

}  // namespace korimba

#endif  // KORIMBA_DB_SQLITE_PAGED_RESULT_H_

// CopyTarget writes the rows of a whole-office copy into the target
// database in that database's own dialect, ids included: the embedded
// database (through its own SQLite handle, since the SQL Server dialect the
// provider speaks leaves identity columns to the database), a SQLite file
// behind the SQLite ODBC driver, or SQL Server over ODBC (with IDENTITY_INSERT
// on for the table being filled). Every write happens inside one transaction
// that Commit ends; a CopyTarget destroyed before Commit rolls it back, so a
// failed copy leaves the target as it was. It borrows the connection, which
// must outlive it. Main thread.
#ifndef KORIMBA_CLI_COPY_TARGET_H_
#define KORIMBA_CLI_COPY_TARGET_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/schema.h"
#include "frame/connection.h"

namespace korimba::cli {

class CopyTarget {
 public:
  enum class Dialect { kSqlite, kSqlServer };

  // Fails (AutomationError) when the connection is of no kind it can write.
  explicit CopyTarget(Connection& conn);
  ~CopyTarget();
  CopyTarget(const CopyTarget&) = delete;
  CopyTarget& operator=(const CopyTarget&) = delete;

  Dialect dialect() const { return dialect_; }

  // Starts the transaction every later write belongs to.
  void Begin();
  void Commit();
  // Rows now in the table, as this transaction sees them.
  int64_t Count(const sql::TableDef& table);
  void Empty(const sql::TableDef& table);
  // Inserts `rows` (each of table.columns.size() cells, in their order),
  // every column written, the identity column too.
  void Insert(const sql::TableDef& table, const std::vector<std::vector<Variant>>& rows);

  // One row's values as a VALUES tuple in the dialect: "(1, N'text', NULL,
  // CONVERT(datetime, '2024-03-05 09:07:00.000', 121))" for SQL Server.
  static std::string Tuple(Dialect dialect, const sql::TableDef& table,
                           const std::vector<Variant>& row);

 private:
  void Run(const std::string& statement);
  void SetIdentityInsert(const sql::TableDef& table, bool on);

  Connection& conn_;
  Dialect dialect_ = Dialect::kSqlite;
  bool open_ = false;  // inside the transaction
};

}  // namespace korimba::cli

#endif  // KORIMBA_CLI_COPY_TARGET_H_

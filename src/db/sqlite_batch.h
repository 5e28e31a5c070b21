// SqliteBatch runs a parsed batch (sql_batch.h) on the embedded database:
// each step's text is shaped with the variables' current values and run
// through the connection's statement cache; conditions decide IF and WHILE;
// transaction statements go to the connection's SqliteTransactions.
//
// What the caller gets: the first result set any SELECT of the batch
// produced (a SELECT that assigns variables produces none), or an empty
// table when none did. Every statement runs in turn; an error ends the
// batch at once with that error, leaving what the statements before it did
// (and any transaction they began) as SQL Server leaves it. A WHILE loop
// that runs more often than the connection's loop limit ends the batch with
// an error.
//
// @@ROWCOUNT follows SQL Server's rules: the rows a SELECT read or a DML
// statement changed, 1 after SET and DECLARE ... =, the rows a SELECT @v =
// read, 0 after BEGIN TRANSACTION, COMMIT, SAVE, PRINT and SET NOCOUNT; it
// lasts on the connection from one call to the next. Lives for one
// Execute; holds references to the connection and the batch; one thread.
#ifndef KORIMBA_DB_SQLITE_BATCH_H_
#define KORIMBA_DB_SQLITE_BATCH_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "db/sql_batch.h"
#include "db/sqlite_connection.h"

namespace korimba {

class SqliteBatch {
 public:
  // `conn`'s current shape is the batch's; the batch takes it over.
  SqliteBatch(SqliteConnection& conn, const sql::Batch& batch);
  SqliteBatch(const SqliteBatch&) = delete;
  SqliteBatch& operator=(const SqliteBatch&) = delete;

  ResultTable Run();

 private:
  enum class Flow { kNext, kBreak, kContinue, kReturn };

  Flow RunSteps(const std::vector<sql::BatchStep>& steps);
  Flow RunStep(const sql::BatchStep& step);
  void Shape(const sql::BatchText& text);
  bool Condition(const sql::BatchText& text);
  void RunStatement(const sql::BatchStep& step);
  void Assign(const sql::BatchStep& step);

  SqliteConnection& conn_;
  const sql::Batch& batch_;
  sql::ShapedStatement batch_shape_;
  sql::ShapedStatement step_shape_;
  std::vector<sql::BoundValue> values_;
  SqliteConnection::Outcome outcome_;
  std::optional<ResultTable> first_result_;
  int64_t iterations_ = 0;
};

}  // namespace korimba

#endif  // KORIMBA_DB_SQLITE_BATCH_H_

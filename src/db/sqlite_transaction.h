// The transaction statements of SQL Server on a SQLite handle, counted as
// SQL Server counts them (@@TRANCOUNT): BEGIN TRANSACTION adds one and only
// the first begins a SQLite transaction; COMMIT takes one off and only the
// last commits; ROLLBACK rolls everything back and leaves none; SAVE
// TRANSACTION and ROLLBACK TRANSACTION <name> are SQLite savepoints.
//
// The outermost BEGIN is "BEGIN IMMEDIATE", which takes the database's
// write lock at once: a transaction that reads first and writes later
// cannot then fail because another connection wrote in between. When the
// handle is already inside a transaction someone else began (a test's
// wrapper), the outermost BEGIN is a savepoint within it instead. A
// transaction left open when the connection closes is rolled back by
// SQLite. Owned by its connection; one thread at a time.
#ifndef KORIMBA_DB_SQLITE_TRANSACTION_H_
#define KORIMBA_DB_SQLITE_TRANSACTION_H_

#include <string>
#include <vector>

struct sqlite3;

namespace korimba {

class SqliteTransactions {
 public:
  explicit SqliteTransactions(sqlite3* db) : db_(db) {}
  SqliteTransactions(const SqliteTransactions&) = delete;
  SqliteTransactions& operator=(const SqliteTransactions&) = delete;

  // @@TRANCOUNT: 0 outside a transaction. A transaction SQLite rolled back
  // on its own (out of disk space, out of memory) counts as ended.
  int Count();
  // `name` (may be empty) names the transaction for a later ROLLBACK <name>.
  void Begin(const std::string& name);
  void Commit();
  // With an empty name, or the name of the outermost BEGIN, the whole
  // transaction; else back to the savepoint of that name, which stays.
  void Rollback(const std::string& name);
  void Save(const std::string& name);

 private:
  void RollbackAll();

  sqlite3* db_;
  int count_ = 0;
  bool own_ = false;  // the outermost BEGIN began a SQLite transaction
  std::string name_;  // the outermost BEGIN's name
  std::vector<std::string> savepoints_;
};

}  // namespace korimba

#endif  // KORIMBA_DB_SQLITE_TRANSACTION_H_

// SqliteConnection is the embedded provider: a SQLite database (a file or
// memory) that runs the component's SQL Server-dialect statements through
// the translator (translator.h) and answers with SQL Server's results,
// value kinds and error texts.
//
// Each statement text is shaped (literals taken out); the translation and
// the prepared SQLite statement are cached per shape, so a repeated call
// with other values only binds and steps. The connection owns its sqlite3
// handle and prepared statements; it is used by one thread at a time (the
// handle is opened without SQLite's own mutex). Files use the WAL journal
// with synchronous=NORMAL (a crash never corrupts the file; the last
// transactions before a power loss may be lost) and a 5 s busy timeout, so
// several processes may share one file.
//
// A text of several statements is a batch (sql_batch.h), run by
// SqliteBatch (sqlite_batch.h) statement by statement through the same
// cache. Execute returns the first result set the batch produces (the
// first SELECT that is not an assignment), as an ODBC client reads the
// first result of a batch; the statements after it still run, and an error
// in any statement ends the batch with that error. Transactions begun by
// BEGIN TRANSACTION stay open across calls until COMMIT or ROLLBACK, as on
// SQL Server (sqlite_transaction.h).
//
// A file database remembers which file it opened (device and inode); before
// every write it checks that the path still names that file, and refuses the
// write when the file was removed or replaced under it (the write would
// otherwise land in an unlinked file and be lost).
#ifndef KORIMBA_DB_SQLITE_CONNECTION_H_
#define KORIMBA_DB_SQLITE_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/schema.h"
#include "db/sqlite_transaction.h"
#include "db/temp_tables.h"
#include "db/translator.h"
#include "frame/connection.h"

struct sqlite3;
struct sqlite3_stmt;

namespace korimba {

class SqliteConnection final : public Connection, public SchemaOwner {
 public:
  // `path` is a file name or ":memory:". With `schema_if_new`, a database
  // that did not exist (or was empty) gets the schema at once.
  static std::shared_ptr<SqliteConnection> Open(const std::string& path, bool schema_if_new = true);
  ~SqliteConnection() override;

  ResultTable Execute(std::string_view statement) override;
  // Counts the query's rows now and reads ranges of them on demand
  // (sqlite_paged_result.h); nullptr for statements that are read whole.
  std::unique_ptr<PagedResult> QueryPaged(std::string_view statement) override;
  std::vector<std::string> EnsureSchema() override;

  // The translation a statement gets on a database with the whole schema
  // (tests, benchmarks, query plans).
  static sql::Translation TranslateText(std::string_view statement);
  // The options this database's schema allows (the plan span R*Tree is
  // used once it and its triggers exist).
  const sql::TranslatorOptions& translator_options() const { return options_; }
  // The raw handle, for benchmarks that run the translated SQL directly.
  sqlite3* handle() const { return db_; }
  // Number of cached statement shapes.
  size_t cached_shapes() const { return cache_.size(); }
  // Fails when the path no longer names the file this connection opened
  // (removed or replaced); run before every write, and by a pool that wants
  // to know whether to open the path again.
  void CheckFileBeforeWrite() const;
  // How many WHILE iterations one batch may run before it is stopped with
  // an error, so that a loop whose condition never turns false cannot hang
  // the page that sent it.
  void set_loop_limit(int64_t limit) { loop_limit_ = limit; }
  int64_t loop_limit() const { return loop_limit_; }

 private:
  friend class SqliteBatch;

  // What one statement of a batch gave: its result (a SELECT's), the rows it
  // read or changed, and with `want_values` the last row's stored values.
  struct Outcome {
    ResultTable table;
    int64_t rows = 0;
    std::vector<sql::BoundValue> last_row;
  };

  // Finalizes a prepared statement when its owner goes.
  struct Finalize {
    void operator()(sqlite3_stmt* stmt) const;
  };
  using StatementHandle = std::unique_ptr<sqlite3_stmt, Finalize>;

  struct Prepared {
    sql::Translation translation;
    StatementHandle stmt;
    // Cells the statement's last result held: the next result usually has
    // about as many, so reserving that much up front spares the growing
    // vector its copies and its fresh pages.
    size_t last_cells = 0;
  };
  struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  struct KeyEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return a == b; }
  };
  using Cache =
      std::unordered_map<std::string, std::vector<std::unique_ptr<Prepared>>, KeyHash, KeyEqual>;

  explicit SqliteConnection(sqlite3* db) : db_(db), transactions_(db) {}
  void RememberFile(const std::string& path);
  Prepared* Find();
  Prepared& Lookup();
  ResultTable Run(Prepared& p, Outcome* outcome);
  // Runs `shape` as one statement of a batch.
  void RunInBatch(const sql::ShapedStatement& shape, Outcome& outcome);
  // The temporary tables: made, dropped, and made from a query's result.
  void CreateTempTable(sql::TableDef table);
  void DropTempTable(const std::string& name, bool if_exists);
  void SelectInto(const sql::ShapedStatement& shape, const std::string& name, Outcome& outcome);
  // Translations that name a temporary table go when one is made or dropped.
  void ForgetTempShapes();
  // After a rollback: the catalog follows what SQLite undid (tables made in
  // the transaction are gone, tables dropped in it are back).
  void ReconcileTempTables();
  bool TempTableExists(const std::string& name);
  void BindTo(const sql::Translation& translation, sqlite3_stmt* stmt);
  void ClearCache();
  void ReadSchemaOptions();
  void Bind(const Prepared& p) { BindTo(p.translation, p.stmt.get()); }
  [[noreturn]] void Fail() const;

  sqlite3* db_;
  Cache cache_;
  sql::ShapedStatement shape_;  // reused by every call
  sql::BindState bind_state_;
  sql::TranslatorOptions options_;
  std::vector<sql::BoundValue> bound_;  // the values bound to the running statement
  SqliteTransactions transactions_;
  sql::TempTables temp_tables_;
  // Tables dropped while a transaction is open, which a rollback brings back.
  std::vector<sql::TableDef> dropped_in_transaction_;
  int64_t row_count_ = 0;  // @@ROWCOUNT
  int64_t loop_limit_ = 100'000;
  // The file opened (empty for memory) and its identity at open.
  std::string path_;
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
};

}  // namespace korimba

#endif  // KORIMBA_DB_SQLITE_CONNECTION_H_

// OdbcConnection runs statements through an ODBC driver (unixODBC): SQL
// Server through FreeTDS or the vendor's driver in production. Text is passed
// unchanged (or, for the SQLite ODBC driver used in tests, through the same
// dialect translation as the embedded database); rows are read into memory so
// counts are exact; the driver's diagnostic text is the error description.
//
// Text crosses the driver boundary as UTF-8 through the narrow ODBC calls:
// the SQLite driver speaks UTF-8 there, and FreeTDS does with
// ClientCharset=UTF-8 in the connection string. (The wide calls would depend
// on the process locale whenever the driver manager has to convert them for
// a driver without wide entry points, as the SQLite driver is.) The
// connection owns its environment, connection and statement handles; each
// statement handle lives for one Execute. One thread at a time.
#ifndef KORIMBA_DB_ODBC_CONNECTION_H_
#define KORIMBA_DB_ODBC_CONNECTION_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/schema.h"
#include "frame/connection.h"

namespace korimba {

// One object of the SQL Server schema: `probe` is a query that returns a row
// when the object exists; `batch` creates it, guarded so that it can also be
// run on its own (schema/sqlserver.sql holds the same batches).
struct SqlServerSchemaObject {
  const char* name;
  const char* probe;
  const char* batch;
};
const std::vector<SqlServerSchemaObject>& SqlServerSchemaObjects();

class OdbcConnection final : public Connection, public SchemaOwner {
 public:
  enum class Dialect {
    kAuto,         // translate for the SQLite driver, pass through otherwise
    kPassThrough,  // the driver gets every text unchanged
  };

  // Connects without prompting; fails with the driver manager's or the
  // driver's diagnostic text.
  explicit OdbcConnection(std::string_view odbc_connection_string,
                          Dialect dialect = Dialect::kAuto);
  ~OdbcConnection() override;
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  ResultTable Execute(std::string_view statement) override;
  // Sends the text to the driver as it is, whatever the dialect setting:
  // for statements in the driver's own dialect (the embedded schema's DDL).
  ResultTable ExecuteUntranslated(std::string_view statement);

  // Creates the missing tables and indexes in the database's own dialect:
  // the embedded database's DDL through the SQLite driver, SQL Server's
  // otherwise. Returns the names created.
  std::vector<std::string> EnsureSchema() override;

  // The product name the driver reports ("SQLite", "Microsoft SQL Server").
  const std::string& dbms_name() const { return dbms_name_; }
  // True when statements are translated from the SQL Server dialect before
  // they reach the driver (the SQLite ODBC driver).
  bool translates_dialect() const { return translates_dialect_; }

 private:
  ResultTable ExecuteTranslated(std::string_view statement);

  struct Handles;
  std::unique_ptr<Handles> handles_;
  std::string dbms_name_;
  bool translates_dialect_ = false;
};

// Connects with an ODBC connection string ("Driver=...;Server=...;...").
std::shared_ptr<Connection> OpenOdbcConnection(std::string_view odbc_connection_string);

}  // namespace korimba

#endif  // KORIMBA_DB_ODBC_CONNECTION_H_

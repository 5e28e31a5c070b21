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

#include "frame/connection.h"

namespace korimba {

class OdbcConnection final : public Connection {
 public:
  // Connects without prompting; fails with the driver manager's or the
  // driver's diagnostic text.
  explicit OdbcConnection(std::string_view odbc_connection_string);
  ~OdbcConnection() override;
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  ResultTable Execute(std::string_view statement) override;

  // The product name the driver reports ("SQLite", "Microsoft SQL Server").
  const std::string& dbms_name() const { return dbms_name_; }
  // True when statements are translated from the SQL Server dialect before
  // they reach the driver (the SQLite ODBC driver).
  bool translates_dialect() const { return translates_dialect_; }

 private:
  struct Handles;
  std::unique_ptr<Handles> handles_;
  std::string dbms_name_;
  bool translates_dialect_ = false;
};

// Connects with an ODBC connection string ("Driver=...;Server=...;...").
std::shared_ptr<Connection> OpenOdbcConnection(std::string_view odbc_connection_string);

}  // namespace korimba

#endif  // KORIMBA_DB_ODBC_CONNECTION_H_

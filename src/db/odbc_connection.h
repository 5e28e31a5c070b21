// OdbcConnection runs statements through an ODBC driver (unixODBC): SQL
// Server through FreeTDS or the vendor's driver in production. Text is passed
// unchanged (or, for the SQLite ODBC driver used in tests, through the same
// dialect translation as the embedded database); rows are read into memory so
// counts are exact; the driver's diagnostic text is the error description.
// One thread at a time.
#ifndef KORIMBA_DB_ODBC_CONNECTION_H_
#define KORIMBA_DB_ODBC_CONNECTION_H_

#include <memory>
#include <string_view>

#include "frame/connection.h"

namespace korimba {

// Connects with an ODBC connection string ("Driver=...;Server=...;...").
std::shared_ptr<Connection> OpenOdbcConnection(std::string_view odbc_connection_string);

}  // namespace korimba

#endif  // KORIMBA_DB_ODBC_CONNECTION_H_

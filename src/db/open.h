// Opening a database connection from a connection string:
//   "sqlite:PATH"        the embedded database in a file (a new file gets the schema)
//   "sqlite::memory:"    a private in-memory embedded database with the schema
//   "odbc:<ODBC connection string>"  any ODBC driver (SQL Server through FreeTDS)
// and creating the schema (the three tables and their indexes) where it is
// missing, never dropping or changing data. Any thread; the connection is
// then used by one thread at a time.
#ifndef KORIMBA_DB_OPEN_H_
#define KORIMBA_DB_OPEN_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame/connection.h"

namespace korimba {

std::shared_ptr<Connection> OpenConnection(std::string_view connection_string);
// Creates whatever of DATA_Msg, HR_Person, DATA_Plan and their indexes is
// missing. Returns the names of what it created.
std::vector<std::string> EnsureSchema(Connection& conn);

}  // namespace korimba

#endif  // KORIMBA_DB_OPEN_H_

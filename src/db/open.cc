#include "db/open.h"

#include "db/odbc_connection.h"
#include "db/schema.h"
#include "db/sqlite_connection.h"
#include "frame/error.h"

namespace korimba {

std::shared_ptr<Connection> OpenConnection(std::string_view connection_string) {
  constexpr std::string_view kSqlite = "sqlite:";
  constexpr std::string_view kOdbc = "odbc:";
  if (connection_string.substr(0, kSqlite.size()) == kSqlite) {
    std::string path(connection_string.substr(kSqlite.size()));
    if (path.empty()) ThrowDatabase("The connection string 'sqlite:' names no database file.");
    return SqliteConnection::Open(path);
  }
  if (connection_string.substr(0, kOdbc.size()) == kOdbc) {
    return OpenOdbcConnection(connection_string.substr(kOdbc.size()));
  }
  ThrowDatabase("Unknown connection string '" + std::string(connection_string) +
                "': expected sqlite:PATH, sqlite::memory: or odbc:<ODBC connection string>.");
}

// Each provider creates the schema in its own dialect (SchemaOwner).
std::vector<std::string> EnsureSchema(Connection& conn) {
  if (auto* owner = dynamic_cast<SchemaOwner*>(&conn)) return owner->EnsureSchema();
  ThrowDatabase("This connection cannot create the schema.");
}

}  // namespace korimba

// FindSqliteDriver locates the SQLite ODBC driver that scripts/setup.sh
// installs, so that tests of the ODBC path run on a database file without a
// server; an empty answer means the driver is missing and the test skips.
// Any thread.
#ifndef KORIMBA_TESTS_SUPPORT_SQLITE_ODBC_DRIVER_H_
#define KORIMBA_TESTS_SUPPORT_SQLITE_ODBC_DRIVER_H_

#include <filesystem>
#include <string>

namespace korimba::testing {

// Where Debian-style systems put the driver, for each architecture.
inline std::string FindSqliteDriver() {
  for (const char* path : {"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
                           "/usr/lib/aarch64-linux-gnu/odbc/libsqlite3odbc.so",
                           "/usr/lib/odbc/libsqlite3odbc.so", "/usr/lib64/libsqlite3odbc.so"}) {
    if (std::filesystem::exists(path)) return path;
  }
  return {};
}

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_SUPPORT_SQLITE_ODBC_DRIVER_H_

#include "db/odbc_connection.h"

#include "frame/error.h"

namespace korimba {

std::shared_ptr<Connection> OpenOdbcConnection(std::string_view) {
  ThrowDatabase("The ODBC provider is not built yet");
}

}  // namespace korimba

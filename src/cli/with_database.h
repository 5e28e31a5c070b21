// WithDatabase opens the database a command of the korimba program names,
// makes sure its tables exist, and runs the command's body on it. A failure
// to open it or in the body is reported on `err` as "korimba COMMAND: reason"
// with any password in the reason masked, and gives exit status 1; the body's
// own status is returned otherwise. The connection lives for the call only.
// One thread.
#ifndef KORIMBA_CLI_WITH_DATABASE_H_
#define KORIMBA_CLI_WITH_DATABASE_H_

#include <exception>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "db/open.h"
#include "frame/connection.h"
#include "frame/error.h"
#include "web/secret_mask.h"

namespace korimba::cli {

template <typename Body>
int WithDatabase(std::string_view command, const std::string& db, std::ostream& err, Body body) {
  try {
    std::shared_ptr<Connection> conn = OpenConnection(db);
    EnsureSchema(*conn);
    return body(*conn);
  } catch (const AutomationError& e) {
    err << "korimba " << command << ": " << web::MaskSecrets(e.description()) << "\n";
  } catch (const std::exception& e) {
    err << "korimba " << command << ": " << web::MaskSecrets(e.what()) << "\n";
  }
  return 1;
}

}  // namespace korimba::cli

#endif  // KORIMBA_CLI_WITH_DATABASE_H_

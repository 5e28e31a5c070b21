// `korimba init-db`: opens the database named by a connection string, creates
// whatever of the schema is missing (never dropping or changing data) and,
// with `demo`, adds the demo office when HR_Person is still empty, so that
// running it again adds nothing twice. Reports what it did on `out`, failures
// on `err`. Called from main on the main thread.
#ifndef KORIMBA_CLI_INIT_DB_H_
#define KORIMBA_CLI_INIT_DB_H_

#include <iosfwd>
#include <string>

namespace korimba::cli {

struct InitDbOptions {
  std::string db = "sqlite:korimba.db";
  bool demo = false;
};

// Returns the process exit code.
int InitDb(const InitDbOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korimba::cli

#endif  // KORIMBA_CLI_INIT_DB_H_

// `korimba copy --from CONN --to CONN`: moves a whole office between two
// databases of any kind (the embedded database, SQL Server over ODBC, a
// SQLite file behind the SQLite ODBC driver): HR_Person, DATA_Msg, DATA_Plan
// and KORIMBA_Account, every id and every value as it was. The target gets
// the schema where it lacks it, then all rows in one transaction, written in
// batches; the row counts are checked before that transaction commits, so a
// failed copy leaves the target as it was. A target that already holds rows
// is refused unless told to replace them or to add to them. An embedded
// source is read in one read transaction (one consistent state even while a
// server writes); another source should not change during the copy. Called
// from main on the main thread; results on `out`, failures (connection
// strings masked) on `err`, a progress line on `err` when asked.
#ifndef KORIMBA_CLI_COPY_COMMAND_H_
#define KORIMBA_CLI_COPY_COMMAND_H_

#include <cstddef>
#include <iosfwd>
#include <string>

namespace korimba::cli {

struct CopyOptions {
  std::string from;
  std::string to;
  bool replace = false;  // empty the target's tables first
  bool append = false;   // add to the rows there (an id already there fails the copy)
  bool progress = false;
  size_t batch_rows = 200;  // rows read and inserted per statement
};

// Returns the process exit code: 0 copied, 1 failed or refused, 2 bad options.
int Copy(const CopyOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korimba::cli

#endif  // KORIMBA_CLI_COPY_COMMAND_H_

// `korimba person add|list|rename`: the persons of HR_Person without SQL.
// Ids are whole numbers from 1; names at most 50 characters, as the column
// holds. Results on `out`, failures on `err`; each returns the process exit
// code. Main thread.
#ifndef KORIMBA_CLI_PERSON_COMMAND_H_
#define KORIMBA_CLI_PERSON_COMMAND_H_

#include <cstdint>
#include <iosfwd>
#include <string>

namespace korimba::cli {

struct PersonOptions {
  std::string db = "sqlite:korimba.db";
  int32_t id = 0;
  std::string name;
};

int PersonAdd(const PersonOptions& options, std::ostream& out, std::ostream& err);
int PersonList(const PersonOptions& options, std::ostream& out, std::ostream& err);
int PersonRename(const PersonOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korimba::cli

#endif  // KORIMBA_CLI_PERSON_COMMAND_H_

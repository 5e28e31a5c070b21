// No command of the program shows a database password when it fails: a
// connection string that cannot be opened (a driver that is missing, a
// forgotten odbc: prefix) is reported with its secrets masked.
#include <gmock/gmock.h>

#include "tests/cli/run_korimba.h"

namespace korimba {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class SecretOutputTest : public testing::ProgramTest {};

TEST_F(SecretOutputTest, FailingCommandsMaskTheDatabasePassword) {
  const std::string dbs[] = {"'odbc:Driver=NoSuchDriver;UID=u;PWD=hunter2'",
                             "'Driver=NoSuchDriver;Password=hunter2'"};
  const std::string commands[] = {
      "script --db {}",       "attachments sweep --attachments . --db {}",
      "init-db --db {}",      "person list --db {}",
      "account list --db {}", "copy --from " + Db() + " --to {}",
  };
  Run("init-db --db " + Db());
  for (const std::string& db : dbs) {
    for (std::string command : commands) {
      command.replace(command.find("{}"), 2, db);
      const std::string said = Run(command, "");
      EXPECT_THAT(said, Not(HasSubstr("hunter2"))) << command;
      EXPECT_NE(exit_code_, 0) << command << "\n" << said;
    }
  }
}

}  // namespace
}  // namespace korimba

// `korimba account` and `korimba person` end to end on an embedded database.
#include <gmock/gmock.h>

#include "db/open.h"
#include "tests/cli/run_korimba.h"
#include "web/account_store.h"
#include "web/password_hash.h"

namespace korimba {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class AccountPersonTest : public testing::ProgramTest {
 protected:
  std::string Cmd(const std::string& args, const std::string& input = "") {
    return Run(args + " --db " + Db(), input);
  }
  std::optional<web::Account> Stored(const std::string& login) {
    auto conn = OpenConnection(Db());
    return web::AccountStore(*conn).Find(login);
  }
};

TEST_F(AccountPersonTest, PersonsAreAddedListedAndRenamed) {
  EXPECT_THAT(Cmd("person list"), HasSubstr("No persons."));
  EXPECT_THAT(Cmd("person add 7 \"O'Brien 王\""), HasSubstr("Added person 7: O'Brien 王"));
  EXPECT_EQ(exit_code_, 0);
  EXPECT_THAT(Cmd("person add 7 Other"), HasSubstr("person 7 already exists (O'Brien 王)"));
  EXPECT_EQ(exit_code_, 1);
  EXPECT_THAT(Cmd("person rename 7 'Mary Smith'"), HasSubstr("O'Brien 王 -> Mary Smith"));
  EXPECT_THAT(Cmd("person rename 8 Nobody"), HasSubstr("there is no person 8"));
  EXPECT_EQ(exit_code_, 1);
  EXPECT_EQ(Cmd("person list"), "7\tMary Smith\t(no account)\n");

  struct Bad {
    const char* args;
    const char* says;
  };
  const Bad bad[] = {
      {"person add 0 Zero", "whole number from 1"},
      {"person add 9 ''", "the name is empty"},
      {"person add 9 xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", "longer than 50"},
      {"person add x Name", "id"},
  };
  for (const Bad& b : bad) {
    EXPECT_THAT(Cmd(b.args), HasSubstr(b.says)) << b.args;
    EXPECT_NE(exit_code_, 0) << b.args;
  }
}

TEST_F(AccountPersonTest, AccountsKeepAHashNeverThePassword) {
  Cmd("person add 1 Ann");
  Cmd("person add 2 Bo");
  EXPECT_THAT(Cmd("account set ann --person 1", "first-password\n"),
              HasSubstr("Created the account ann for Ann (1)"));
  EXPECT_EQ(exit_code_, 0);
  std::optional<web::Account> ann = Stored("ann");
  ASSERT_TRUE(ann);
  EXPECT_EQ(ann->person_id, 1);
  EXPECT_THAT(ann->password_hash, Not(HasSubstr("first-password")));
  EXPECT_TRUE(web::VerifyPassword(ann->password_hash, "first-password"));

  // Setting again changes person and password (a CRLF line is one password).
  EXPECT_THAT(Cmd("account set ANN --person 2", "second-password\r\n"),
              HasSubstr("Changed the account ANN"));
  ann = Stored("ann");
  EXPECT_EQ(ann->person_id, 2);
  EXPECT_TRUE(web::VerifyPassword(ann->password_hash, "second-password"));

  const std::string list = Cmd("account list");
  EXPECT_THAT(list, HasSubstr("ann"));
  EXPECT_THAT(list, HasSubstr("never"));
  EXPECT_THAT(list, Not(HasSubstr("argon2")));
  EXPECT_THAT(Cmd("person list"), HasSubstr("1\tAnn\t(no account)\n2\tBo\n"));

  EXPECT_THAT(Cmd("account remove ann"), HasSubstr("Removed the account ann"));
  EXPECT_FALSE(Stored("ann"));
  EXPECT_THAT(Cmd("account remove ann"), HasSubstr("there is no account ann"));
  EXPECT_EQ(exit_code_, 1);
}

TEST_F(AccountPersonTest, AccountSetRefusesWhatItCannotKeep) {
  Cmd("person add 1 Ann");
  struct Bad {
    std::string args;
    std::string input;
    const char* says;
  };
  const Bad bad[] = {
      {"account set ann --person 9", "long-enough-pw\n", "there is no person 9"},
      {"account set ann --person 1", "short\n", "at least 8 characters"},
      {"account set ann --person 1", "", "no password on standard input"},
      {"account set ' ann' --person 1", "long-enough-pw\n", "starts or ends with a blank"},
      {"account set ann", "long-enough-pw\n", "--person"},
  };
  for (const Bad& b : bad) {
    EXPECT_THAT(Cmd(b.args, b.input), HasSubstr(b.says)) << b.args;
    EXPECT_NE(exit_code_, 0) << b.args;
  }
  EXPECT_THAT(Cmd("account list"), HasSubstr("No accounts."));
}

TEST_F(AccountPersonTest, DemoOfficeGetsOneAccountPerPersonWithTheDemoPassword) {
  const std::string out = Run("init-db --demo --db " + Db());
  EXPECT_THAT(out, HasSubstr("Demo sign-in accounts: wangfang (1), liwei (2)"));
  EXPECT_THAT(out, HasSubstr("Demo password of every account: demo-office"));
  auto conn = OpenConnection(Db());
  std::vector<web::Account> accounts = web::AccountStore(*conn).List();
  EXPECT_EQ(accounts.size(), 12u);
  for (const web::Account& account : accounts) {
    EXPECT_TRUE(web::VerifyPassword(account.password_hash, "demo-office")) << account.login;
  }
}

}  // namespace
}  // namespace korimba

// `korimba account set|list|remove`: the sign-in accounts of KORIMBA_Account
// without SQL. `set` reads the password from `in`: one line, or, when `in` is
// a terminal, twice without echo (the two must match). Hashing cost from
// KORIMBA_PASSWORD_COST (interactive unless a test lowers it). Results on
// `out`, failures on `err`; each returns the process exit code. Main thread.
#ifndef KORIMBA_CLI_ACCOUNT_COMMAND_H_
#define KORIMBA_CLI_ACCOUNT_COMMAND_H_

#include <cstdint>
#include <iosfwd>
#include <string>

namespace korimba::cli {

struct AccountOptions {
  std::string db = "sqlite:korimba.db";
  std::string login;
  int32_t person = 0;
};

// Passwords shorter than this are refused.
inline constexpr size_t kMinPasswordLength = 8;

int AccountSet(const AccountOptions& options, std::istream& in, bool terminal, std::ostream& out,
               std::ostream& err);
int AccountList(const AccountOptions& options, std::ostream& out, std::ostream& err);
int AccountRemove(const AccountOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korimba::cli

#endif  // KORIMBA_CLI_ACCOUNT_COMMAND_H_

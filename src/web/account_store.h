// AccountStore reads and writes the sign-in accounts of KORIMBA_Account over
// any connection (the embedded database or ODBC): a login, the person it
// signs in as, the password hash (empty for an account used only through a
// sign-in proxy), when it was created and when it last signed in. Logins
// compare without regard to case. Every statement is built with
// StatementBuilder. Lives on the thread that holds the connection.
#ifndef KORIMBA_WEB_ACCOUNT_STORE_H_
#define KORIMBA_WEB_ACCOUNT_STORE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/connection.h"

namespace korimba::web {

struct Account {
  std::string login;
  int32_t person_id = 0;
  std::string password_hash;
  std::string created;       // "yyyy-mm-dd hh:mm:ss", or ""
  std::string last_sign_in;  // likewise; "" when never
};

class AccountStore {
 public:
  explicit AccountStore(Connection& conn) : conn_(conn) {}

  // What is wrong with a login ("" when it is fine): empty, longer than 100
  // characters, blanks at either end, or control characters.
  static std::string LoginProblem(std::string_view login);

  std::optional<Account> Find(std::string_view login);
  std::vector<Account> List();
  // Creates the account or changes its person and hash.
  void Set(std::string_view login, int32_t person_id, std::string_view password_hash);
  // False when there was no such account.
  bool Remove(std::string_view login);
  void RecordSignIn(std::string_view login);

  // The person's name in HR_Person, or nullopt when there is no such person.
  std::optional<std::string> PersonName(int32_t person_id);

 private:
  Connection& conn_;
};

}  // namespace korimba::web

#endif  // KORIMBA_WEB_ACCOUNT_STORE_H_

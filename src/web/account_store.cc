#include "web/account_store.h"

#include "frame/statement.h"
#include "frame/value_ops.h"

namespace korimba::web {
namespace {

constexpr std::string_view kColumns =
    "SELECT LoginName, PersonID, PasswordHash, Created, LastSignIn FROM KORIMBA_Account";

std::string DateText(const Variant& value) {
  if (value.is_null() || value.is_empty()) return "";
  std::string text = TextForm(value);
  return text;
}

std::vector<Account> Accounts(const ResultTable& table) {
  std::vector<Account> out;
  for (size_t row = 0; row < table.row_count(); ++row) {
    Account account;
    account.login = TextForm(table.at(row, 0));
    account.person_id = table.at(row, 1).is_number() ? ToI4(table.at(row, 1)) : 0;
    account.password_hash = TextForm(table.at(row, 2));
    account.created = DateText(table.at(row, 3));
    account.last_sign_in = DateText(table.at(row, 4));
    out.push_back(std::move(account));
  }
  return out;
}

}  // namespace

std::string AccountStore::LoginProblem(std::string_view login) {
  if (login.empty()) return "the login is empty";
  if (login.size() > 100) return "the login is longer than 100 characters";
  if (login.front() == ' ' || login.back() == ' ') return "the login starts or ends with a blank";
  for (unsigned char c : login) {
    if (c < 0x20 || c == 0x7f) return "the login holds a control character";
  }
  return "";
}

std::optional<Account> AccountStore::Find(std::string_view login) {
  const Variant value = Variant::Text(std::string(login));
  StatementBuilder query;
  query << Lit{kColumns} << Lit{" WHERE LoginName = N'"} << Quoted{value} << Lit{"'"};
  std::vector<Account> found = Accounts(conn_.Execute(query.text()));
  if (found.empty()) return std::nullopt;
  return found.front();
}

std::vector<Account> AccountStore::List() {
  StatementBuilder query;
  query << Lit{kColumns} << Lit{" ORDER BY LoginName"};
  return Accounts(conn_.Execute(query.text()));
}

void AccountStore::Set(std::string_view login, int32_t person_id, std::string_view password_hash) {
  const Variant name = Variant::Text(std::string(login));
  const Variant hash = Variant::Text(std::string(password_hash));
  StatementBuilder statement;
  if (Find(login)) {
    statement << Lit{"UPDATE KORIMBA_Account SET PersonID = "} << Int{person_id}
              << Lit{", PasswordHash = N'"} << Quoted{hash} << Lit{"' WHERE LoginName = N'"}
              << Quoted{name} << Lit{"'"};
  } else {
    statement << Lit{"INSERT INTO KORIMBA_Account (LoginName, PersonID, PasswordHash, Created) "
                     "VALUES (N'"}
              << Quoted{name} << Lit{"', "} << Int{person_id} << Lit{", N'"} << Quoted{hash}
              << Lit{"', GETDATE())"};
  }
  conn_.Execute(statement.text());
}

bool AccountStore::Remove(std::string_view login) {
  if (!Find(login)) return false;
  const Variant name = Variant::Text(std::string(login));
  StatementBuilder statement;
  statement << Lit{"DELETE FROM KORIMBA_Account WHERE LoginName = N'"} << Quoted{name} << Lit{"'"};
  conn_.Execute(statement.text());
  return true;
}

void AccountStore::RecordSignIn(std::string_view login) {
  const Variant name = Variant::Text(std::string(login));
  StatementBuilder statement;
  statement << Lit{"UPDATE KORIMBA_Account SET LastSignIn = GETDATE() WHERE LoginName = N'"}
            << Quoted{name} << Lit{"'"};
  conn_.Execute(statement.text());
}

std::optional<std::string> AccountStore::PersonName(int32_t person_id) {
  StatementBuilder query;
  query << Lit{"SELECT PersonName FROM HR_Person WHERE PersonID = "} << Int{person_id};
  ResultTable table = conn_.Execute(query.text());
  if (table.row_count() == 0) return std::nullopt;
  return TextForm(table.at(0, 0));
}

}  // namespace korimba::web

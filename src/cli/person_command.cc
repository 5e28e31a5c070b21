#include "cli/person_command.h"

#include <ostream>
#include <set>

#include "cli/with_database.h"
#include "db/open.h"
#include "frame/error.h"
#include "frame/statement.h"
#include "frame/value_ops.h"
#include "web/account_store.h"
#include "web/secret_mask.h"

namespace korimba::cli {
namespace {

// Characters, not bytes: the column is nvarchar(50).
size_t CharacterCount(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

std::string NameProblem(const std::string& name) {
  if (name.empty()) return "the name is empty";
  if (CharacterCount(name) > 50) return "the name is longer than 50 characters";
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f) return "the name holds a control character";
  }
  return "";
}

}  // namespace

int PersonAdd(const PersonOptions& options, std::ostream& out, std::ostream& err) {
  if (options.id <= 0) {
    err << "korimba person add: the id must be a whole number from 1\n";
    return 2;
  }
  if (std::string problem = NameProblem(options.name); !problem.empty()) {
    err << "korimba person add: " << problem << "\n";
    return 2;
  }
  return WithDatabase("person add", options.db, err, [&](Connection& conn) {
    if (auto existing = web::AccountStore(conn).PersonName(options.id)) {
      err << "korimba person add: person " << options.id << " already exists (" << *existing
          << "); use `korimba person rename`\n";
      return 1;
    }
    const Variant name = Variant::Text(options.name);
    StatementBuilder insert;
    insert << Lit{"INSERT INTO HR_Person (PersonID, PersonName) VALUES ("} << Int{options.id}
           << Lit{", N'"} << Quoted{name} << Lit{"')"};
    conn.Execute(insert.text());
    out << "Added person " << options.id << ": " << options.name << "\n";
    return 0;
  });
}

int PersonList(const PersonOptions& options, std::ostream& out, std::ostream& err) {
  return WithDatabase("person list", options.db, err, [&](Connection& conn) {
    ResultTable table =
        conn.Execute("SELECT PersonID, PersonName FROM HR_Person ORDER BY PersonID");
    ResultTable with_accounts = conn.Execute("SELECT DISTINCT PersonID FROM KORIMBA_Account");
    std::set<int32_t> signs_in;
    for (const Variant& id : with_accounts.cells) {
      if (id.is_number()) signs_in.insert(ToI4(id));
    }
    if (table.row_count() == 0) out << "No persons.\n";
    for (size_t row = 0; row < table.row_count(); ++row) {
      const Variant& id = table.at(row, 0);
      out << TextForm(id) << "\t" << TextForm(table.at(row, 1));
      if (!id.is_number() || !signs_in.contains(ToI4(id))) out << "\t(no account)";
      out << "\n";
    }
    return 0;
  });
}

int PersonRename(const PersonOptions& options, std::ostream& out, std::ostream& err) {
  if (std::string problem = NameProblem(options.name); !problem.empty()) {
    err << "korimba person rename: " << problem << "\n";
    return 2;
  }
  return WithDatabase("person rename", options.db, err, [&](Connection& conn) {
    std::optional<std::string> old = web::AccountStore(conn).PersonName(options.id);
    if (!old) {
      err << "korimba person rename: there is no person " << options.id << "\n";
      return 1;
    }
    const Variant name = Variant::Text(options.name);
    StatementBuilder update;
    update << Lit{"UPDATE HR_Person SET PersonName = N'"} << Quoted{name}
           << Lit{"' WHERE PersonID = "} << Int{options.id};
    conn.Execute(update.text());
    out << "Renamed person " << options.id << ": " << *old << " -> " << options.name << "\n";
    return 0;
  });
}

}  // namespace korimba::cli

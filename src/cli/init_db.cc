#include "cli/init_db.h"

#include <filesystem>
#include <ostream>
#include <string_view>

#include "db/open.h"
#include "demo/demo_data.h"
#include "frame/clock.h"
#include "frame/error.h"
#include "frame/record_set.h"
#include "frame/value_ops.h"
#include "web/account_store.h"
#include "web/password_hash.h"
#include "web/secret_mask.h"

namespace korimba::cli {
namespace {

// The file an embedded-database connection string names, or "" for any other
// connection (the in-memory database, ODBC).
std::string EmbeddedFile(std::string_view db) {
  constexpr std::string_view kPrefix = "sqlite:";
  if (!db.starts_with(kPrefix) || db == "sqlite::memory:") return {};
  return std::string(db.substr(kPrefix.size()));
}

}  // namespace

int InitDb(const InitDbOptions& options, std::ostream& out, std::ostream& err) {
  try {
    // Opening a new file already lays out the schema, so say that here.
    const std::string file = EmbeddedFile(options.db);
    const bool new_file = !file.empty() && !std::filesystem::exists(file);
    std::shared_ptr<Connection> conn = OpenConnection(options.db);
    out << "Database " << web::MaskSecrets(options.db) << "\n";
    if (new_file) out << "Created the database file " << file << " with the schema\n";
    const std::vector<std::string> created = EnsureSchema(*conn);
    if (created.empty()) {
      if (!new_file) out << "Schema: complete, nothing created\n";
    } else {
      for (const std::string& name : created) out << "Created " << name << "\n";
    }
    if (!options.demo) return 0;

    RecordSet persons = RecordSet::Execute(*conn, "select count(*) from HR_Person");
    const int32_t existing = ToI4(persons.Value(0));
    if (existing > 0) {
      out << "Demo data skipped: HR_Person already holds " << existing
          << " persons (demo data is only added to an empty database)\n";
      return 0;
    }
    const web::HashCost cost = web::HashCostFromEnvironment();
    const DemoSummary demo = AddDemoData(conn, Now());
    out << "Demo data added: " << demo.persons << " persons, " << demo.messages << " messages ("
        << demo.group_messages << " group messages, " << demo.broadcasts << " broadcasts, "
        << demo.unread << " unread), " << demo.plans << " plans\n";
    web::AccountStore accounts(*conn);
    std::string logins;
    for (const DemoAccount& account : DemoAccounts()) {
      if (accounts.Find(account.login)) continue;
      accounts.Set(account.login, account.person_id, web::HashPassword(kDemoPassword, cost));
      logins += (logins.empty() ? "" : ", ") + std::string(account.login) + " (" +
                std::to_string(account.person_id) + ")";
    }
    if (!logins.empty()) {
      out << "Demo sign-in accounts: " << logins << "\n"
          << "Demo password of every account: " << kDemoPassword << "\n";
    }
    return 0;
  } catch (const AutomationError& e) {
    err << "korimba init-db: " << web::MaskSecrets(e.description()) << "\n";
    return 1;
  } catch (const std::exception& e) {
    err << "korimba init-db: " << web::MaskSecrets(e.what()) << "\n";
    return 1;
  }
}

}  // namespace korimba::cli

#include "cli/account_command.h"

#include <termios.h>
#include <unistd.h>

#include <iomanip>
#include <istream>
#include <ostream>

#include "cli/with_database.h"
#include "db/open.h"
#include "frame/error.h"
#include "web/account_store.h"
#include "web/password_hash.h"
#include "web/secret_mask.h"

namespace korimba::cli {
namespace {

// Turns terminal echo off for its lifetime.
class NoEcho {
 public:
  NoEcho() {
    if (tcgetattr(STDIN_FILENO, &saved_) == 0) {
      termios quiet = saved_;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
  }
  ~NoEcho() {
    if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  NoEcho(const NoEcho&) = delete;
  NoEcho& operator=(const NoEcho&) = delete;

 private:
  termios saved_{};
  bool active_ = false;
};

bool ReadLine(std::istream& in, std::string* line) {
  if (!std::getline(in, *line)) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

// The password from `in`, or "" after saying on `err` what was wrong.
std::string ReadPassword(std::istream& in, bool terminal, std::ostream& err) {
  std::string first;
  if (!terminal) {
    if (!ReadLine(in, &first)) err << "korimba account set: no password on standard input\n";
    return first;
  }
  std::string second;
  {
    NoEcho quiet;
    err << "Password: " << std::flush;
    const bool got_first = ReadLine(in, &first);
    err << "\nPassword again: " << std::flush;
    const bool got_second = got_first && ReadLine(in, &second);
    err << "\n";
    if (!got_second) {
      err << "korimba account set: no password given\n";
      return "";
    }
  }
  if (first != second) {
    err << "korimba account set: the two passwords differ; nothing was changed\n";
    return "";
  }
  return first;
}

}  // namespace

int AccountSet(const AccountOptions& options, std::istream& in, bool terminal, std::ostream& out,
               std::ostream& err) {
  if (std::string problem = web::AccountStore::LoginProblem(options.login); !problem.empty()) {
    err << "korimba account set: " << problem << "\n";
    return 2;
  }
  return WithDatabase("account set", options.db, err, [&](Connection& conn) {
    web::AccountStore store(conn);
    std::optional<std::string> name = store.PersonName(options.person);
    if (!name) {
      err << "korimba account set: there is no person " << options.person
          << " (add one with `korimba person add ID NAME`)\n";
      return 1;
    }
    const web::HashCost cost = web::HashCostFromEnvironment();
    std::string password = ReadPassword(in, terminal, err);
    if (password.empty()) return 1;
    if (password.size() < kMinPasswordLength) {
      err << "korimba account set: the password must have at least " << kMinPasswordLength
          << " characters\n";
      return 1;
    }
    const bool existed = store.Find(options.login).has_value();
    store.Set(options.login, options.person, web::HashPassword(password, cost));
    out << (existed ? "Changed" : "Created") << " the account " << options.login << " for " << *name
        << " (" << options.person << ")\n";
    return 0;
  });
}

int AccountList(const AccountOptions& options, std::ostream& out, std::ostream& err) {
  return WithDatabase("account list", options.db, err, [&](Connection& conn) {
    web::AccountStore store(conn);
    std::vector<web::Account> accounts = store.List();
    if (accounts.empty()) {
      out << "No accounts.\n";
      return 0;
    }
    out << std::left << std::setw(20) << "login" << std::setw(10) << "person" << std::setw(10)
        << "password" << std::setw(22) << "created"
        << "last sign-in\n";
    for (const web::Account& account : accounts) {
      out << std::setw(20) << account.login << std::setw(10) << account.person_id << std::setw(10)
          << (account.password_hash.empty() ? "no" : "yes") << std::setw(22) << account.created
          << (account.last_sign_in.empty() ? "never" : account.last_sign_in) << "\n";
    }
    return 0;
  });
}

int AccountRemove(const AccountOptions& options, std::ostream& out, std::ostream& err) {
  return WithDatabase("account remove", options.db, err, [&](Connection& conn) {
    web::AccountStore store(conn);
    if (!store.Remove(options.login)) {
      err << "korimba account remove: there is no account " << options.login << "\n";
      return 1;
    }
    out << "Removed the account " << options.login << "\n";
    return 0;
  });
}

}  // namespace korimba::cli

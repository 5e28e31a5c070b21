#include "db/sqlite_transaction.h"

#include <sqlite3.h>

#include <algorithm>

#include "frame/error.h"

namespace korimba {
namespace {

constexpr const char* kOuterSavepoint = "korimba_transaction";

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errmsg(db);
    sqlite3_free(error);
    ThrowDatabase(message);
  }
}

// SQLite compares savepoint names without regard to case, SQL Server with
// it, so the name goes over in hexadecimal.
std::string SavepointName(const std::string& name) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "korimba_save_";
  for (unsigned char c : name) {
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
  return out;
}

}  // namespace

int SqliteTransactions::Count() {
  if (count_ > 0 && own_ && sqlite3_get_autocommit(db_)) {
    count_ = 0;
    savepoints_.clear();
  }
  return count_;
}

void SqliteTransactions::Begin(const std::string& name) {
  if (Count() == 0) {
    own_ = sqlite3_get_autocommit(db_) != 0;
    Exec(db_, own_ ? std::string("BEGIN IMMEDIATE") : std::string("SAVEPOINT ") + kOuterSavepoint);
    name_ = name;
  }
  ++count_;
}

void SqliteTransactions::Commit() {
  if (Count() == 0) {
    ThrowDatabase("The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  }
  if (count_ > 1) {
    --count_;
    return;
  }
  Exec(db_, own_ ? std::string("COMMIT") : std::string("RELEASE ") + kOuterSavepoint);
  count_ = 0;
  savepoints_.clear();
}

void SqliteTransactions::RollbackAll() {
  if (own_) {
    Exec(db_, "ROLLBACK");
  } else {
    Exec(db_, std::string("ROLLBACK TO ") + kOuterSavepoint);
    Exec(db_, std::string("RELEASE ") + kOuterSavepoint);
  }
  count_ = 0;
  savepoints_.clear();
}

void SqliteTransactions::Rollback(const std::string& name) {
  if (Count() == 0) {
    if (!name.empty()) {
      ThrowDatabase("Cannot roll back " + name +
                    ". No transaction or savepoint of that name was found.");
    }
    ThrowDatabase("The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  }
  if (name.empty() || name == name_) {
    RollbackAll();
    return;
  }
  // The latest savepoint of the name; the ones after it are gone with it.
  auto it = std::find_if(savepoints_.rbegin(), savepoints_.rend(),
                         [&](const std::string& s) { return s == name; });
  if (it == savepoints_.rend()) {
    ThrowDatabase("Cannot roll back " + name +
                  ". No transaction or savepoint of that name was found.");
  }
  Exec(db_, "ROLLBACK TO " + SavepointName(*it));
  savepoints_.erase(it.base(), savepoints_.end());
}

void SqliteTransactions::Save(const std::string& name) {
  if (Count() == 0) {
    ThrowDatabase("Cannot issue SAVE TRANSACTION when there is no active transaction.");
  }
  Exec(db_, "SAVEPOINT " + SavepointName(name));
  savepoints_.push_back(name);
}

}  // namespace korimba

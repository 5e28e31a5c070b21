#include "cli/backup_command.h"

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>

namespace korimba::cli {
namespace {

namespace fs = std::filesystem;

struct CloseDb {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Db = std::unique_ptr<sqlite3, CloseDb>;

struct FinishBackup {
  void operator()(sqlite3_backup* b) const { sqlite3_backup_finish(b); }
};

// The file of an embedded database's connection string, or "" for any
// other kind (an ODBC database is backed up by its own server's tools).
std::string SqlitePath(const std::string& conn) {
  constexpr std::string_view kPrefix = "sqlite:";
  if (conn.rfind(kPrefix, 0) != 0) return "";
  std::string path = conn.substr(kPrefix.size());
  return path == ":memory:" ? "" : path;
}

Db OpenDb(const std::string& path, int flags, std::ostream& err) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) {
    err << "cannot open " << path << ": " << (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc))
        << "\n";
    return nullptr;
  }
  sqlite3_busy_timeout(db.get(), 5000);
  return db;
}

// Copies the whole of `from` into `to` in one step: one read transaction,
// which in WAL mode holds up no writer and sees one consistent state. (A
// copy in several steps starts over whenever another connection writes in
// between, and might never end under a busy server.)
bool CopyDatabase(sqlite3* from, sqlite3* to, bool progress, std::ostream& err) {
  std::unique_ptr<sqlite3_backup, FinishBackup> backup(
      sqlite3_backup_init(to, "main", from, "main"));
  if (!backup) {
    err << "cannot start the copy: " << sqlite3_errmsg(to) << "\n";
    return false;
  }
  int rc = SQLITE_OK;
  for (int tries = 0; tries < 250; ++tries) {
    rc = sqlite3_backup_step(backup.get(), -1);
    if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED) break;
    sqlite3_sleep(20);
  }
  const int pages = sqlite3_backup_pagecount(backup.get());
  backup.reset();
  if (rc != SQLITE_DONE) {
    err << "the copy failed: " << sqlite3_errstr(rc) << "\n";
    return false;
  }
  if (progress) err << "database: " << pages << " pages copied\n";
  return true;
}

// Copies the regular files of `from` (one level, as the attachments
// directory holds them) into `to`, counting them on a terminal; returns how
// many, or -1 after an error.
int CopyFiles(const fs::path& from, const fs::path& to, bool overwrite, bool progress,
              std::ostream& err) {
  std::error_code ec;
  fs::create_directories(to, ec);
  if (ec) {
    err << "cannot create " << to.string() << ": " << ec.message() << "\n";
    return -1;
  }
  if (!fs::exists(from)) return 0;
  int copied = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(from, ec)) {
    if (!entry.is_regular_file()) continue;
    const auto how = overwrite ? fs::copy_options::overwrite_existing : fs::copy_options::none;
    fs::copy_file(entry.path(), to / entry.path().filename(), how, ec);
    if (ec) {
      err << "cannot copy " << entry.path().filename().string() << ": " << ec.message() << "\n";
      return -1;
    }
    ++copied;
    if (progress) err << "\rattachments: " << copied << " files" << std::flush;
  }
  if (progress && copied > 0) err << "\n";
  if (ec) {
    err << "cannot read " << from.string() << ": " << ec.message() << "\n";
    return -1;
  }
  return copied;
}

bool HoldsFiles(const fs::path& dir) {
  std::error_code ec;
  return fs::exists(dir, ec) && !fs::is_empty(dir, ec);
}

}  // namespace

int Backup(const BackupOptions& o, std::ostream& out, std::ostream& err) {
  const std::string path = SqlitePath(o.db);
  if (path.empty()) {
    err << "korimba backup: --db must name an embedded database file (sqlite:PATH); back up a "
           "SQL Server database with its own tools\n";
    return 2;
  }
  if (!fs::exists(path)) {
    err << "korimba backup: there is no database " << path << "\n";
    return 1;
  }
  const fs::path dir = o.dir;
  if (HoldsFiles(dir)) {
    err << "korimba backup: " << dir.string() << " is not empty; give a new folder\n";
    return 1;
  }
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) {
    err << "korimba backup: cannot create " << dir.string() << ": " << ec.message() << "\n";
    return 1;
  }
  Db from = OpenDb(path, SQLITE_OPEN_READONLY, err);
  Db to = OpenDb((dir / kBackupDbName).string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, err);
  if (!from || !to || !CopyDatabase(from.get(), to.get(), o.progress, err)) {
    err << "korimba backup: the database was not backed up\n";
    return 1;
  }
  const int files = CopyFiles(o.attachments, dir / kBackupFilesName, false, o.progress, err);
  if (files < 0) {
    err << "korimba backup: the attachments were not all backed up\n";
    return 1;
  }
  out << "Backed up " << path << " and " << files << " attachment file" << (files == 1 ? "" : "s")
      << " to " << dir.string() << "\n";
  return 0;
}

int Restore(const BackupOptions& o, std::ostream& out, std::ostream& err) {
  const std::string path = SqlitePath(o.db);
  if (path.empty()) {
    err << "korimba restore: --db must name an embedded database file (sqlite:PATH)\n";
    return 2;
  }
  const fs::path dir = o.dir;
  if (!fs::exists(dir / kBackupDbName)) {
    err << "korimba restore: " << dir.string() << " holds no backup (" << kBackupDbName
        << " is missing)\n";
    return 1;
  }
  if (!o.overwrite && (fs::exists(path) || HoldsFiles(o.attachments))) {
    err << "korimba restore: " << path << " or " << o.attachments
        << " already exists; stop the server and give --overwrite to replace them\n";
    return 1;
  }
  Db from = OpenDb((dir / kBackupDbName).string(), SQLITE_OPEN_READONLY, err);
  Db to = OpenDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, err);
  if (!from || !to || !CopyDatabase(from.get(), to.get(), o.progress, err)) {
    err << "korimba restore: the database was not restored\n";
    return 1;
  }
  const int files = CopyFiles(dir / kBackupFilesName, o.attachments, o.overwrite, o.progress, err);
  if (files < 0) {
    err << "korimba restore: the attachments were not all restored\n";
    return 1;
  }
  out << "Restored " << path << " and " << files << " attachment file" << (files == 1 ? "" : "s")
      << " from " << dir.string() << "\n";
  return 0;
}

}  // namespace korimba::cli

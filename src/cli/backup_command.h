// `korimba backup` and `korimba restore`: a consistent snapshot of the
// embedded database and the attachment files, and the way back. The
// database is copied with SQLite's online backup, which sees every committed
// write (those still in the write-ahead log too) while a server keeps
// running on it; a plain file copy does not. Restore refuses to overwrite a
// database or attachment files that exist unless told to. Called from main on
// the main thread; progress goes to `err` when it is a terminal.
// (An ODBC database is backed up with its own server's tools.)
#ifndef KORIMBA_CLI_BACKUP_COMMAND_H_
#define KORIMBA_CLI_BACKUP_COMMAND_H_

#include <iosfwd>
#include <string>

namespace korimba::cli {

struct BackupOptions {
  std::string db = "sqlite:korimba.db";
  std::string attachments = "attachments";
  std::string dir;         // the backup's folder: --to for backup, --from for restore
  bool overwrite = false;  // restore only
  bool progress = false;   // a progress line (on a terminal)
};

// The file names inside a backup folder.
inline constexpr const char* kBackupDbName = "korimba.db";
inline constexpr const char* kBackupFilesName = "attachments";

// Each returns the process exit code.
int Backup(const BackupOptions& options, std::ostream& out, std::ostream& err);
int Restore(const BackupOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korimba::cli

#endif  // KORIMBA_CLI_BACKUP_COMMAND_H_

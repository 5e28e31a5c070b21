// Backup and restore: a snapshot taken while another connection keeps
// writing holds every message committed before it (the write-ahead log's
// too, which a plain copy of the file misses), restore refuses to overwrite
// unless told, and the attachments travel with the database.
#include "cli/backup_command.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "db/open.h"
#include "frame/value_ops.h"
#include "web/session_store.h"

namespace korimba::cli {
namespace {

namespace fs = std::filesystem;

class BackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("korimba_backup_" + web::RandomHexId().substr(0, 10));
    fs::create_directories(dir_ / "files");
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Db(const char* name) const { return "sqlite:" + (dir_ / name).string(); }
  static int32_t Messages(const std::string& db) {
    return ToI4(OpenConnection(db)->Execute("select count(*) from DATA_Msg").at(0, 0));
  }

  fs::path dir_;
};

TEST_F(BackupTest, SnapshotWhileWritingHoldsEveryCommittedMessage) {
  const std::string db = Db("office.db");
  auto writer = OpenConnection(db);
  EnsureSchema(*writer);
  for (int i = 0; i < 50; ++i) {
    writer->Execute(
        "insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle) values (1,'m',2,'t')");
  }
  std::ofstream(dir_ / "files" / "7") << "attachment";
  // A second connection goes on writing during the backup.
  std::atomic<bool> stop{false};
  std::thread more([&] {
    auto conn = OpenConnection(db);
    while (!stop) {
      conn->Execute(
          "insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle) values "
          "(1,'later',2,'t')");
    }
  });
  std::ostringstream out, err;
  const BackupOptions backup{db, (dir_ / "files").string(), (dir_ / "snap").string()};
  const int code = Backup(backup, out, err);
  stop = true;
  more.join();
  ASSERT_EQ(code, 0) << err.str();
  EXPECT_NE(out.str().find("1 attachment file to"), std::string::npos) << out.str();
  const std::string snapshot = "sqlite:" + (dir_ / "snap" / kBackupDbName).string();
  EXPECT_GE(Messages(snapshot), 50);
  EXPECT_EQ(ToI4(OpenConnection(snapshot)
                     ->Execute("select count(*) from DATA_Msg where MsgContent='m'")
                     .at(0, 0)),
            50);
  EXPECT_TRUE(fs::exists(dir_ / "snap" / kBackupFilesName / "7"));
  // A backup folder is never written over.
  EXPECT_EQ(Backup(backup, out, err), 1);

  // Restore into a new place; an existing database is kept unless told.
  const std::string restored = Db("restored.db");
  const fs::path files = dir_ / "restored-files";
  std::ostringstream rout, rerr;
  BackupOptions back{restored, files.string(), (dir_ / "snap").string()};
  ASSERT_EQ(Restore(back, rout, rerr), 0) << rerr.str();
  EXPECT_EQ(Messages(restored), Messages(snapshot));
  EXPECT_TRUE(fs::exists(files / "7"));
  EXPECT_EQ(Restore(back, rout, rerr), 1);
  EXPECT_NE(rerr.str().find("--overwrite"), std::string::npos) << rerr.str();
  back.overwrite = true;
  EXPECT_EQ(Restore(back, rout, rerr), 0) << rerr.str();
}

TEST_F(BackupTest, RefusesWhatItCannotBackUp) {
  std::ostringstream out, err;
  EXPECT_EQ(Backup({"odbc:DSN=office", "files", (dir_ / "x").string()}, out, err), 2);
  EXPECT_EQ(Backup({"sqlite::memory:", "files", (dir_ / "x").string()}, out, err), 2);
  EXPECT_EQ(Backup({Db("missing.db"), "files", (dir_ / "x").string()}, out, err), 1);
  EXPECT_EQ(Restore({Db("r.db"), "files", (dir_ / "no-backup").string()}, out, err), 1);
  EXPECT_NE(err.str().find("holds no backup"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace korimba::cli

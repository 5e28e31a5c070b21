// The sweep removes exactly the files no message owns: numbered files
// without a message with an attachment name, and temporary uploads old
// enough to belong to no post in flight; it keeps everything else.
#include "cli/attachments_sweep.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "db/open.h"
#include "web/session_store.h"

namespace korimba::cli {
namespace {

namespace fs = std::filesystem;

TEST(AttachmentsSweep, RemovesOnlyFilesWithoutTheirMessage) {
  const fs::path dir =
      fs::temp_directory_path() / ("korimba_sweep_" + web::RandomHexId().substr(0, 10));
  fs::create_directories(dir / "files");
  const std::string db = "sqlite:" + (dir / "k.db").string();
  {
    auto conn = OpenConnection(db);
    EnsureSchema(*conn);
    conn->Execute(
        "insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle,MsgFileName) values "
        "(1,'a',2,'t','a.txt'), (1,'b',2,'t','b.txt'), (1,'c',2,'t',NULL)");
  }
  for (const char* name :
       {"1", "2", "3", "17", "007", "notes.txt", "upload-1-2-3.tmp", "upload-4-5-6.tmp"}) {
    std::ofstream(dir / "files" / name) << "x";
  }
  fs::last_write_time(dir / "files" / "upload-1-2-3.tmp",
                      fs::file_time_type::clock::now() - std::chrono::hours(2));

  std::ostringstream out, err;
  EXPECT_EQ(SweepAttachments({db, (dir / "files").string()}, out, err), 0) << err.str();
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir / "files")) {
    left.push_back(entry.path().filename());
  }
  std::sort(left.begin(), left.end());
  // Message 3 has no attachment name, so a file "3" is no attachment of it.
  EXPECT_EQ(left, (std::vector<std::string>{"1", "2", "notes.txt", "upload-4-5-6.tmp"}));
  EXPECT_NE(out.str().find("removed " + (dir / "files" / "17").string()), std::string::npos);
  EXPECT_NE(out.str().find("4 files removed"), std::string::npos) << out.str();

  std::ostringstream again;
  EXPECT_EQ(SweepAttachments({db, (dir / "files").string()}, again, err), 0);
  EXPECT_EQ(again.str(), "0 files removed\n");
  EXPECT_EQ(SweepAttachments({db, (dir / "missing").string()}, again, err), 1);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace korimba::cli

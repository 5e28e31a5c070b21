// A post with an attachment on the embedded database either fully happens
// or leaves nothing: whichever file operation fails (creating the file,
// writing it, renaming it into place), no row, no file, and no older
// message lost to the retention rule. Failures come from a file system that
// fails one chosen operation (the tests run as root, where permissions
// never fail).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "db/open.h"
#include "frame/clock.h"
#include "frame/error.h"
#include "frame/value_ops.h"
#include "message/attachment_store.h"
#include "message/message.h"
#include "tests/support/scratch_dir.h"

namespace korimba::testing {
namespace {

namespace fs = std::filesystem;

// The real file system, but for the one operation told to fail.
class FailingFiles final : public FileSystem {
 public:
  enum class Fail { kNothing, kCreate, kWrite, kRename };
  explicit FailingFiles(Fail fail) : fail_(fail) {}

  CreateResult CreateFile(const std::string& path, std::string_view data) override {
    if (fail_ == Fail::kCreate) return {ENOENT, false};
    if (fail_ == Fail::kWrite) return {ENOSPC, true};
    return real_->CreateFile(path, data);
  }
  int Rename(const std::string& from, const std::string& to) override {
    return fail_ == Fail::kRename ? EROFS : real_->Rename(from, to);
  }
  int Remove(const std::string& path) override { return real_->Remove(path); }
  int ReadFile(const std::string& path, std::string* data) override {
    return real_->ReadFile(path, data);
  }

 private:
  Fail fail_;
  std::shared_ptr<FileSystem> real_ = SystemFileSystem();
};

class AttachmentPostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = OpenConnection("sqlite::memory:");
    Call("SetConn", {Variant::Object(conn_)});
    message_->Put("WorkPath", Variant::Text(dir_.string() + "/"));
  }

  Variant Call(std::string_view method, std::vector<Variant> args) {
    return message_->Call(method, args);
  }
  int32_t Count() { return ToI4(conn_->Execute("select count(*) from DATA_Msg").at(0, 0)); }
  int32_t Oldest() { return ToI4(conn_->Execute("select min(MsgID) from DATA_Msg").at(0, 0)); }
  void Post(const std::string& file_name) {
    clock_->Advance(1);
    const Variant bytes = Variant::Bytes(ByteArray{{1, 2, 3}, 0});
    Call("dptAddData", {Variant::I4(7), Variant::Text("c"), Variant::I4(9), Variant::Text("t"),
                        Variant::Text(file_name), bytes, Variant()});
  }

  ScopedClockOverride clock_{*MakeDate({2024, 3, 5, 9, 0, 0, 0})};
  ScratchDir scratch_{"h4post"};
  const fs::path dir_ = scratch_.path();
  std::shared_ptr<Message> message_ = std::make_shared<Message>();
  std::shared_ptr<Connection> conn_;
};

TEST_F(AttachmentPostTest, FailedFileLeavesNoRowNoFileAndNoLostMessage) {
  struct Case {
    FailingFiles::Fail fail;
    int32_t error;
  };
  const std::vector<Case> cases = {
      {FailingFiles::Fail::kCreate, kErrPathAccess},
      {FailingFiles::Fail::kWrite, kErrFileIo},
      {FailingFiles::Fail::kRename, kErrPathAccess},
  };
  // A full conversation: one more post would push the oldest out.
  for (int i = 0; i < 25; ++i) Post("");
  const int32_t oldest = Oldest();
  for (const Case& c : cases) {
    message_->SetFileSystem(std::make_shared<FailingFiles>(c.fail));
    try {
      Post("report.pdf");
      ADD_FAILURE() << "the post succeeded";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), c.error) << e.description();
    }
    EXPECT_EQ(Count(), 25);
    EXPECT_EQ(Oldest(), oldest);
    EXPECT_TRUE(Listing(dir_).empty());
  }
  // The same post, once the files can be written, happens whole.
  message_->SetFileSystem(SystemFileSystem());
  Post("report.pdf");
  EXPECT_EQ(Count(), 25);
  EXPECT_GT(Oldest(), oldest);
  const std::string newest = TextForm(conn_->Execute("select max(MsgID) from DATA_Msg").at(0, 0));
  EXPECT_EQ(Listing(dir_), std::vector<std::string>{newest});
  EXPECT_EQ(Call("GetFileData", {Variant::I4(std::stoi(newest))}).DebugString(),
            Variant::Bytes(ByteArray{{1, 2, 3}, 0}).DebugString());
}

TEST_F(AttachmentPostTest, StoreRemovesOnlyWhatIsThere) {
  AttachmentStore store(dir_.string() + "/");
  store.Write("12", ByteArray{{5}, 0});
  EXPECT_TRUE(store.Remove("12"));
  EXPECT_FALSE(store.Remove("12"));
  EXPECT_TRUE(Listing(dir_).empty());
}

}  // namespace
}  // namespace korimba::testing

// Posting, changing and deleting messages: the statements sent, values
// refused before anything runs, the retention rule, text stored as
// written, and a post with an attachment happening whole or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/grid.h"
#include "frame/safe_array.h"
#include "message/attachment_store.h"
#include "message/file_system.h"
#include "message/message.h"
#include "tests/message/message_db_fixture.h"
#include "tests/message/statement_cases.h"
#include "tests/support/scratch_dir.h"

namespace korimba::testing {
namespace {

namespace fs = std::filesystem;

using PostingTest = MessageDatabaseTest;

const std::string kRetention79 =
    "delete from Data_Msg where ((data_msg.PersonID=7 and MsgFromPersonid=9) or "
    "(data_msg.personid=9 and MsgFromPersonID=7))  and msgID not in ( Select top 25 msgID from "
    "DATA_Msg where ((data_msg.PersonID=7 and MsgFromPersonid=9) or (data_msg.personid=9 and "
    "MsgFromPersonID=7))  order by msgCreatetime desc)";

TEST(PostingStatements, SentExactlyAsWritten) {
  ExpectSentExactly({
      // A post without a file: the insert, the new id, then the retention.
      {"dptAddData",
       {I(7), T("c"), I(9), T("t"), T(""), Variant(), Variant()},
       {"Insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle,MsgFileName) values "
        "(7,'c',9,'t','') ",
        "select @@IDENTITY", kRetention79}},
      {"DelData", {I(5)}, {"Delete from DATA_Msg where MsgID=5"}},
      {"AddData",
       {I(7), T("hi"), I(9), T("t")},
       {"Insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle) values (7,'hi',9,'t') ",
        kRetention79}},
      // Apostrophes are doubled inside quoted values and nowhere else;
      // numeric text goes in as it came, blanks included.
      {"AddData",
       {T("7"), T("it's O'Brien"), T(" 9 "), T("'")},
       {"Insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle) values (7,'it''s "
        "O''Brien', 9 ,'''') ",
        "delete from Data_Msg where ((data_msg.PersonID=7 and MsgFromPersonid= 9 ) or "
        "(data_msg.personid= 9  and MsgFromPersonID=7))  and msgID not in ( Select top 25 msgID "
        "from DATA_Msg where ((data_msg.PersonID=7 and MsgFromPersonid= 9 ) or (data_msg.personid= "
        "9  and MsgFromPersonID=7))  order by msgCreatetime desc)"}},
      {"UpdateData",
       {I(5), I(7), T("a,,b x=,y"), I(9), T("t")},
       {"update DATA_Msg set PersonID =7,MsgContent='a,,b x=,y',MsgFromPersonID= 9,MsgTitle='t'  "
        "where MsgID=5"}},
      // Empty numbers become null, the sender included.
      {"UpdateData",
       {I(5), Variant(), T("hi"), Variant::Null(), T("t")},
       {"update DATA_Msg set PersonID =null,MsgContent='hi',MsgFromPersonID= null,MsgTitle='t'  "
        "where MsgID=5"}},
  });
}

TEST(PostingStatements, HostileOrMissingValuesRunNothing) {
  const Variant bytes = Variant::Bytes(ByteArray{{1, 2, 3}, 0});
  ExpectRefusedBeforeAnyStatement({
      {"AddData", {T("7 or 1=1"), T("x"), I(9), T("t")}, kErrTypeMismatch},
      {"AddData", {I(7), T("x"), T("9; delete from DATA_Msg"), T("t")}, kErrTypeMismatch},
      {"AddData", {Variant::Bool(true), T("x"), I(9), T("t")}, kErrTypeMismatch},
      {"AddData", {Variant(), T("x"), I(9), T("t")}, kErrInvalidCall},
      {"AddData", {I(7), T("x"), Variant::Null(), T("t")}, kErrInvalidCall},
      // Blank text reads as no number: refused as any other non-number is.
      {"AddData", {T("  "), T("x"), I(9), T("t")}, kErrTypeMismatch},
      {"AddData", {I(7), T("x"), T("\t"), T("t")}, kErrTypeMismatch},
      {"UpdateData", {I(5), T("  "), T("x"), I(9), T("t")}, kErrTypeMismatch},
      {"UpdateData", {I(5), I(7), T("x"), T(" "), T("t")}, kErrTypeMismatch},
      {"dptAddData",
       {Variant::Null(), T("x"), I(9), T("t"), T(""), bytes, Variant()},
       kErrInvalidCall},
      {"dptAddData",
       {I(7), T("x"), Variant(), T("t"), T("a.txt"), bytes, Variant()},
       kErrInvalidCall},
      // A file name without bytes to store.
      {"dptAddData",
       {I(7), T("x"), I(9), T("t"), T("a.txt"), Variant(), Variant()},
       kErrTypeMismatch},
      {"dptAddData",
       {I(7), T("x"), I(9), T("t"), T("a.txt"), T("not bytes"), Variant()},
       kErrTypeMismatch},
      {"UpdateData", {T("5 or 1=1"), I(7), T("x"), I(9), T("t")}, kErrTypeMismatch},
      {"DelData", {T("1 or 1=1")}, kErrTypeMismatch},
  });
}

// 25 messages between 7 and 9 with the oldest going either way; the 26th,
// either way, removes exactly the oldest; 7's and 9's messages with 3 stay.
TEST_F(PostingTest, RetentionKeepsTheNewest25PerPairInBothDirections) {
  for (bool oldest_from_7 : {true, false}) {
    for (bool newest_from_7 : {true, false}) {
      SCOPED_TRACE(std::string("oldest from ") + (oldest_from_7 ? "7" : "9") + ", newest from " +
                   (newest_from_7 ? "7" : "9"));
      Sql("delete from DATA_Msg");
      Post(3, 7, "third");
      Post(9, 3, "third");
      oldest_from_7 ? Post(9, 7, "oldest") : Post(7, 9, "oldest");
      for (int i = 1; i < 25; ++i) (i % 2 ? Post(7, 9) : Post(9, 7));
      const std::string pair =
          "((PersonID=7 and MsgFromPersonID=9) or (PersonID=9 and MsgFromPersonID=7))";
      EXPECT_EQ(Count(pair), 25);
      EXPECT_EQ(Count("MsgContent='oldest'"), 1);
      newest_from_7 ? Post(9, 7, "newest") : Post(7, 9, "newest");
      EXPECT_EQ(Count(pair), 25);
      EXPECT_EQ(Count("MsgContent='oldest'"), 0);
      EXPECT_EQ(Count("MsgContent='newest'"), 1);
      EXPECT_EQ(Count("MsgContent='third'"), 2);
    }
  }
}

TEST_F(PostingTest, RetentionToOneselfKeeps25) {
  for (int i = 0; i < 27; ++i) Post(7, 7, "n" + std::to_string(i));
  EXPECT_EQ(Count("PersonID=7"), 25);
  EXPECT_EQ(Count("MsgContent in ('n0','n1')"), 0);
}

// Values stored exactly as written: apostrophes, the rewrites' pairs inside
// text, and an empty attachment name.
TEST_F(PostingTest, TextIsStoredAsWritten) {
  const std::vector<std::string> contents = {"O'Brien's", "a,,b", "x=,y", "(,)",
                                             "'); delete from DATA_Msg; --"};
  for (const std::string& c : contents) Post(9, 7, c);
  EXPECT_EQ(Contents("MsgFromPersonID=7"), "O'Brien's;a,,b;x=,y;(,);'); delete from DATA_Msg; --;");

  const int32_t id = Post(9, 7, "before");
  h_->Call("UpdateData", {I(id), I(4), T("it's, x=,"), Variant(), T("t")});
  ResultTable row = Sql("select PersonID, MsgContent, MsgFromPersonID from DATA_Msg where MsgID=" +
                        std::to_string(id));
  EXPECT_EQ(row.at(0, 0).DebugString() + row.at(0, 1).DebugString() + row.at(0, 2).DebugString(),
            "4i4\"it's, x=,\"Null");

  h_->Call("dptAddData", {I(9), T("c"), I(7), T("t"), T(""), Variant(), Variant()});
  EXPECT_EQ(Count("MsgFileName=''"), 1);
}

// The attachment goes under the post's own MsgID, even when another
// connection posts between its insert and the lookup of its id.
TEST_F(PostingTest, AttachmentIsStoredUnderThePostsOwnId) {
  const ScratchDir scratch("h4db");  // made first, so it goes after the connections
  const fs::path& dir = scratch.path();
  const std::string db_path = (dir / "shared.db").string();
  auto ours = OpenConnection("sqlite:" + db_path);
  auto theirs = OpenConnection("sqlite:" + db_path);

  // Runs another page's post right after our insert.
  class Interleaving final : public Connection {
   public:
    Interleaving(std::shared_ptr<Connection> inner, std::shared_ptr<Connection> other)
        : inner_(std::move(inner)), other_(std::move(other)) {}
    ResultTable Execute(std::string_view s) override {
      ResultTable r = inner_->Execute(s);
      if (s.starts_with("Insert")) {
        other_->Execute(
            "insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID) values (3,'x',4)");
      }
      return r;
    }
    ResultTable Query(std::string_view s) override { return inner_->Query(s); }

   private:
    std::shared_ptr<Connection> inner_, other_;
  };

  MessageHarness h(std::make_shared<Interleaving>(ours, theirs));
  h.SetWorkPath(dir.string() + "/");
  const Variant bytes = Variant::Bytes(ByteArray{{9, 8, 7}, 0});
  h.Call("dptAddData", {I(9), T("c"), I(7), T("t"), T("a.bin"), bytes, Variant()});
  h.Call("dptAddData", {I(9), T("c"), I(7), T("t"), T("b.bin"), bytes, Variant()});

  ResultTable ids = ours->Execute("select MsgID, MsgFileName from DATA_Msg order by MsgID");
  ASSERT_EQ(ids.row_count(), 4u);
  // Ours are 1 and 3; theirs (2 and 4) have no file.
  EXPECT_TRUE(fs::exists(dir / "1"));
  EXPECT_TRUE(fs::exists(dir / "3"));
  EXPECT_FALSE(fs::exists(dir / "2"));
  EXPECT_FALSE(fs::exists(dir / "4"));
  EXPECT_EQ(h.Call("GetFileData", {I(3)}).DebugString(), bytes.DebugString());

  // Deleting the message leaves its file.
  h.Call("DelData", {I(3)});
  EXPECT_TRUE(fs::exists(dir / "3"));
}

// A post with an attachment either fully happens or leaves nothing:
// whichever file operation fails (creating the file, writing it, renaming it
// into place), no row, no file, and no older message lost to the retention
// rule. Failures come from a file system that fails one chosen operation
// (the tests run as root, where permissions never fail).
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

}  // namespace
}  // namespace korimba::testing

// Message methods on the embedded database: retention, the attachment under
// the post's own id, read state, grid shapes, group tracking across a minute
// boundary, people, and values that must be stored exactly as written.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "db/open.h"
#include "frame/clock.h"
#include "frame/error.h"
#include "frame/grid.h"
#include "frame/safe_array.h"
#include "frame/value_ops.h"
#include "message/message.h"
#include "tests/message/message_harness.h"
#include "tests/support/scratch_dir.h"

namespace korimba::testing {
namespace {

namespace fs = std::filesystem;

Date At(int hour, int minute, int second, int ms = 0) {
  return *MakeDate({2024, 3, 5, hour, minute, second, ms});
}

class MessageDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = OpenConnection("sqlite::memory:");
    h_ = std::make_unique<MessageHarness>(conn_);
    for (auto [id, name] :
         std::vector<std::pair<int, std::string>>{{7, "Ann"}, {9, "Bob"}, {3, "Cay"}, {4, "Dee"}}) {
      Sql("insert into HR_Person(PersonID,PersonName) values (" + std::to_string(id) + ",'" + name +
          "')");
    }
    h_->StartPage();
    h_->session().SetValue("PersonID", I(7));  // also read as "personid"
  }

  ResultTable Sql(const std::string& text) { return conn_->Execute(text); }
  int32_t Count(const std::string& where) {
    return ToI4(Sql("select count(*) from DATA_Msg where " + where).at(0, 0));
  }
  // Posts one message a second later than the previous one; returns its id.
  int32_t Post(int32_t to, int32_t from, const std::string& content = "hi") {
    clock_->Advance(1);
    h_->Call("AddData", {I(to), T(content), I(from), T("t")});
    return ToI4(Sql("select max(MsgID) from DATA_Msg").at(0, 0));
  }
  std::string Contents(const std::string& where) {
    ResultTable t = Sql("select MsgContent from DATA_Msg where " + where + " order by MsgID");
    std::string out;
    for (const Variant& v : t.cells) out += TextForm(v) + ";";
    return out;
  }

  ScopedClockOverride clock_{At(9, 0, 0)};
  std::shared_ptr<Connection> conn_;
  std::unique_ptr<MessageHarness> h_;
};

// 25 messages between 7 and 9 with the oldest going either way; the 26th,
// either way, removes exactly the oldest; 7's and 9's messages with 3 stay.
TEST_F(MessageDatabaseTest, RetentionKeepsTheNewest25PerPairInBothDirections) {
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

TEST_F(MessageDatabaseTest, RetentionToOneselfKeeps25) {
  for (int i = 0; i < 27; ++i) Post(7, 7, "n" + std::to_string(i));
  EXPECT_EQ(Count("PersonID=7"), 25);
  EXPECT_EQ(Count("MsgContent in ('n0','n1')"), 0);
}

// Values stored exactly as written: apostrophes, the rewrites' pairs inside
// text, and an empty attachment name.
TEST_F(MessageDatabaseTest, TextIsStoredAsWritten) {
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
TEST_F(MessageDatabaseTest, AttachmentIsStoredUnderThePostsOwnId) {
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

TEST_F(MessageDatabaseTest, ReadStateAcrossNoreadNoread1AndRepairFlg) {
  const int32_t first = Post(7, 9);
  const int32_t second = Post(7, 3);
  const int32_t third = Post(7, 9);
  Post(9, 7);  // to somebody else

  EXPECT_EQ(h_->Call("noread").DebugString(), std::to_string(first) + "i4");
  h_->Call("MsgRead", {I(first)});  // opening alone changes nothing
  EXPECT_EQ(h_->Call("noread").DebugString(), std::to_string(first) + "i4");

  const Variant opened = h_->Call("noread1", {T(std::to_string(first))});
  // Row 0 Empty, row 1 the message as read before the update: msgFlag 0.
  EXPECT_EQ(opened.array()->bound(1), (Bound{0, 1}));
  EXPECT_EQ(GridCell(opened, 0, 0).DebugString(), "Empty");
  EXPECT_EQ(GridCell(opened, 1, MessageColumn::kFlag).DebugString(), "0i4");
  EXPECT_EQ(h_->Call("noread").DebugString(), std::to_string(second) + "i4");

  EXPECT_EQ(h_->Call("repairFlg", {I(second)}).DebugString(), "Empty");
  EXPECT_EQ(h_->Call("noread").DebugString(), std::to_string(third) + "i4");
  h_->Call("repairFlg", {I(third)});
  h_->Call("repairFlg", {I(third)});  // already read: stays read
  EXPECT_EQ(h_->Call("noread").DebugString(), "0i4");
  EXPECT_EQ(Count("msgFlag=1"), 3);

  EXPECT_EQ(h_->Call("noread2", {I(third)}).DebugString(), "9i4");
  EXPECT_EQ(h_->Call("noread2", {I(999)}).DebugString(), "0i4");
  // Numeric text reaches the database with its blanks, which it reads past.
  EXPECT_EQ(h_->Call("noread2", {T("\t " + std::to_string(third) + " ")}).DebugString(), "9i4");
}

TEST_F(MessageDatabaseTest, GridShapes) {
  // No messages: one row, seven columns, all Empty.
  EXPECT_EQ(GridString(h_->Call("GetAllData", {I(9)})),
            "[0..0, 0..6]\n0: Empty | Empty | Empty | Empty | Empty | Empty | Empty");
  EXPECT_EQ(GridString(h_->Call("trackMsg", {I(7)})), "[0..0, 0..0]\n0: Empty");

  const int32_t older = Post(9, 7, "older");
  const int32_t newer = Post(7, 9, "newer");
  Post(7, 55, "no person row");  // left out of the join
  const Variant all = h_->Call("GetAllData", {I(9)});
  EXPECT_EQ(all.array()->bound(1), (Bound{0, 2}));  // spare row
  EXPECT_EQ(GridCell(all, 0, ConversationColumn::kContent).DebugString() +
                GridCell(all, 0, ConversationColumn::kSenderName).DebugString() +
                GridCell(all, 1, ConversationColumn::kMsgId).DebugString() +
                GridCell(all, 2, ConversationColumn::kSenderName).DebugString(),
            "\"newer\"\"Bob\"" + std::to_string(older) + "i4Empty");
  EXPECT_EQ(GridString(h_->Call("GetAllData", {I(55)})).substr(0, 12), "[0..0, 0..6]");

  // One message with its sender's record: every DATA_Msg and HR_Person column.
  const Variant one = h_->Call("MsgRead", {I(newer)});
  EXPECT_EQ(one.array()->bound(1), (Bound{0, 1}));
  EXPECT_EQ(one.array()->bound(2), (Bound{0, 9}));
  EXPECT_EQ(GridCell(one, 1, MessageColumn::kSenderName).DebugString(), "\"Bob\"");
  EXPECT_EQ(GridString(h_->Call("MsgRead", {I(12345)})).substr(0, 14), "[0..0, 0..9]\n0");

  // Header row first, then the messages received, newest first; a sender
  // without a person row shows Null.
  const Variant received = h_->Call("InceptMsg", {I(7)});
  EXPECT_EQ(received.array()->bound(1), (Bound{0, 2}));
  std::string header;
  for (int c = 0; c < 6; ++c) header += TextForm(GridCell(received, 0, c)) + "|";
  EXPECT_EQ(header, "姓名|内容|发送时间|msgID|阅读标志|MsgFileName|");
  EXPECT_EQ(GridCell(received, 1, ReceivedColumn::kSenderName).DebugString() +
                GridCell(received, 2, ReceivedColumn::kSenderName).DebugString(),
            "Null\"Bob\"");
  EXPECT_EQ(GridString(h_->Call("InceptMsg", {I(4)})).substr(0, 12), "[0..0, 0..5]");
}

// One group message whose copies straddle a minute boundary is two entries;
// track lists every group copy of a minute, whoever sent it.
TEST_F(MessageDatabaseTest, GroupMessagesSplitAcrossAMinute) {
  const std::string group = "明天开会 群发消息";
  clock_->Set(At(10, 0, 58, 500));
  for (int32_t to : {9, 3, 4}) {
    clock_->Advance(0.4);  // 58.9, 59.3, 59.7 ... 00.1 would be next
    h_->Call("AddData", {I(to), T(group), I(7), T("t")});
  }
  clock_->Set(At(10, 1, 0, 100));
  h_->Call("AddData", {I(55), T(group), I(7), T("t")});
  clock_->Advance(1);
  h_->Call("AddData", {I(7), T("other 群发消息"), I(9), T("t")});
  h_->Call("AddData", {I(9), T("plain"), I(7), T("t")});

  const Variant entries = h_->Call("trackMsg", {I(7)});
  ASSERT_EQ(entries.array()->bound(1), (Bound{0, 1}));  // row-set: (column, row)
  ASSERT_EQ(entries.array()->bound(2), (Bound{0, 1}));
  std::vector<std::string> seen;
  for (int r = 0; r < 2; ++r) {
    seen.push_back(TextForm(GridCell(entries, GroupMessageColumn::kContent, r)) + "@" +
                   TextForm(GridCell(entries, GroupMessageColumn::kMinute, r)));
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen,
            (std::vector<std::string>{group + "@2024-03-05 10:00", group + "@2024-03-05 10:01"}));

  const Variant early = h_->Call("track", {T("2024-03-05 10:00")});
  EXPECT_EQ(GridString(early).substr(0, 12), "[0..4, 0..2]");
  const Variant late = h_->Call("track", {T("2024-03-05 10:01")});
  ASSERT_EQ(late.array()->bound(2), (Bound{0, 1}));
  // Newest first: 9's group message to 7, then 7's copy to 55 (no name).
  EXPECT_EQ(GridCell(late, GroupCopyColumn::kRecipientName, 0).DebugString() +
                GridCell(late, GroupCopyColumn::kContent, 0).DebugString() +
                GridCell(late, GroupCopyColumn::kRecipientName, 1).DebugString() +
                GridCell(late, GroupCopyColumn::kFlag, 1).DebugString(),
            "\"Ann\"\"other 群发消息\"Null0i4");
  EXPECT_EQ(GridString(h_->Call("track", {Variant()})), "[0..0, 0..0]\n0: Empty");
}

// Every named column of every grid reads the field it names, so that a
// reordered SELECT list or table shows up here and not on a page.
TEST_F(MessageDatabaseTest, NamedColumnsReadTheFieldsTheyName) {
  clock_->Set(At(11, 30, 0));
  const int32_t id = Post(7, 9, "named 群发消息");
  Sql("update DATA_Msg set MsgFileName='a.txt', MsgTitle='title' where MsgID=" +
      std::to_string(id));
  const std::string n = std::to_string(id) + "i4";
  auto cells = [](auto cell, std::initializer_list<int32_t> columns) {
    std::string out;
    for (int32_t c : columns) out += cell(c).DebugString() + ";";
    return out;
  };

  const Variant all = h_->Call("GetAllData", {I(9)});
  using C = ConversationColumn;
  EXPECT_EQ(all.array()->bound(2).count(), C::kColumns);
  EXPECT_EQ(cells([&](int32_t c) { return GridCell(all, 0, c); },
                  {C::kSenderName, C::kCreated, C::kContent, C::kFlag, C::kSenderId, C::kFileName,
                   C::kMsgId}),
            "\"Bob\";#2024-03-05 11:30:01#;\"named 群发消息\";0i4;9i4;\"a.txt\";" + n + ";");

  const Variant one = h_->Call("MsgRead", {I(id)});
  using M = MessageColumn;
  EXPECT_EQ(one.array()->bound(2).count(), M::kColumns);
  EXPECT_EQ(
      cells([&](int32_t c) { return GridCell(one, 1, c); },
            {M::kMsgId, M::kRecipientId, M::kSenderId, M::kTitle, M::kContent, M::kFileName,
             M::kFlag, M::kCreated, M::kPersonId, M::kSenderName}),
      n + ";7i4;9i4;\"title\";\"named 群发消息\";\"a.txt\";0i4;#2024-03-05 11:30:01#;9i4;\"Bob\";");

  const Variant received = h_->Call("InceptMsg", {I(7)});
  using R = ReceivedColumn;
  EXPECT_EQ(received.array()->bound(2).count(), R::kColumns);
  EXPECT_EQ(cells([&](int32_t c) { return GridCell(received, 1, c); },
                  {R::kSenderName, R::kContent, R::kSent, R::kMsgId, R::kFlag, R::kFileName}),
            "\"Bob\";\"named 群发消息\";#2024-03-05 11:30:01#;" + n + ";0i4;\"a.txt\";");

  const Variant entries = h_->Call("trackMsg", {I(9)});
  using G = GroupMessageColumn;
  EXPECT_EQ(entries.array()->bound(1).count(), G::kColumns);
  EXPECT_EQ(cells([&](int32_t c) { return GridCell(entries, c, 0); }, {G::kContent, G::kMinute}),
            "\"named 群发消息\";\"2024-03-05 11:30\";");

  const Variant copies = h_->Call("track", {T("2024-03-05 11:30")});
  using K = GroupCopyColumn;
  EXPECT_EQ(copies.array()->bound(1).count(), K::kColumns);
  EXPECT_EQ(cells([&](int32_t c) { return GridCell(copies, c, 0); },
                  {K::kRecipientName, K::kContent, K::kMinute, K::kMsgId, K::kFlag}),
            "\"Ann\";\"named 群发消息\";\"2024-03-05 11:30\";" + n + ";0i4;");

  Post(9, 7);
  const Variant friends = h_->Call("GetFriendList");
  using F = FriendColumn;
  EXPECT_EQ(friends.array()->bound(2).count(), F::kColumns);
  EXPECT_EQ(cells([&](int32_t c) { return GridCell(friends, 0, c); },
                  {F::kPersonId, F::kName, F::kMessages}),
            "9i4;\"Bob\";1i4;");
}

TEST_F(MessageDatabaseTest, PeopleNamesAndFriends) {
  Sql("insert into HR_Person(PersonID,PersonName) values (20,'  Eve  ')");
  Sql("insert into HR_Person(PersonID,PersonName) values (21,NULL)");
  EXPECT_EQ(h_->Call("GetPersonName", {I(20)}).DebugString(), "\"Eve\"");
  EXPECT_EQ(h_->Call("GetPersonName", {I(21)}).DebugString(), "\"\"");
  EXPECT_EQ(h_->Call("GetPersonName", {T("404")}).DebugString(), "\"\"");

  EXPECT_EQ(GridString(h_->Call("GetFriendList")), "[0..0, 0..2]\n0: Empty | Empty | Empty");
  Post(9, 7, "(广播) not counted");
  Post(9, 7, "（广播 full-width counts");
  Post(3, 7, " (广播 blank first counts");
  Post(3, 7);
  Post(3, 7);
  Post(7, 3);  // received, not sent
  EXPECT_EQ(
      GridString(h_->Call("GetFriendList")),
      "[0..2, 0..2]\n0: 3i4 | \"Cay\" | 3i4\n1: 9i4 | \"Bob\" | 1i4\n2: Empty | Empty | Empty");
}

}  // namespace
}  // namespace korimba::testing

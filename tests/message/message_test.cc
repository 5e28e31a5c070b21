// The grids Message returns: their shapes, empty and full, and every
// named column reading the field it names.
#include "message/message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/grid.h"
#include "frame/safe_array.h"
#include "tests/message/message_db_fixture.h"

namespace korimba::testing {
namespace {

using MessageGridTest = MessageDatabaseTest;

TEST_F(MessageGridTest, GridShapes) {
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

// Every named column of every grid reads the field it names, so that a
// reordered SELECT list or table shows up here and not on a page.
TEST_F(MessageGridTest, NamedColumnsReadTheFieldsTheyName) {
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

}  // namespace
}  // namespace korimba::testing

// Received messages and group-message tracking: the statements sent, and
// a group message whose copies straddle a minute boundary.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/grid.h"
#include "frame/safe_array.h"
#include "message/message.h"
#include "tests/message/message_db_fixture.h"
#include "tests/message/statement_cases.h"

namespace korimba::testing {
namespace {

using HistoryTest = MessageDatabaseTest;

TEST(HistoryStatements, SentExactlyAsWritten) {
  ExpectSentExactly({
      {"trackMsg",
       {I(9)},
       {" select MsgContent, CONVERT(char(16), MsgCreateTime, 120) from DATA_Msg where MsgContent "
        "LIKE '%群发消息%' and msgFrompersonID=9 GROUP BY MsgContent, CONVERT(char(16), "
        "MsgCreateTime, 120) "}},
      {"InceptMsg",
       {I(7)},
       {"Select 姓名=(select personname from hr_person where hr_person.personID=data_msg."
        "MsgFromPersonID),内容=Msgcontent,发送时间=MsgCreateTime,msgID,阅读标志=MsgFlag,"
        "MsgFileName from DATA_Msg where data_msg.personID=7  order by msgCreatetime desc"}},
      {"track",
       {T("2024-03-05 09:07' or '1'='1")},
       {"select personname=(select personname from hr_person where hr_person.personID=data_msg."
        "PersonID),Msgcontent, CONVERT(char(16), MsgCreateTime, 120),msgID,MsgFlag from DATA_Msg "
        "where CONVERT(char(16), MsgCreateTime, 120)='2024-03-05 09:07'' or ''1''=''1'and "
        "msgcontent like '%群发消息%'   order by msgCreatetime desc"}},
  });
}

// One group message whose copies straddle a minute boundary is two entries;
// track lists every group copy of a minute, whoever sent it.
TEST_F(HistoryTest, GroupMessagesSplitAcrossAMinute) {
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

}  // namespace
}  // namespace korimba::testing

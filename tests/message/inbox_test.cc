// A person's conversation and inbox: the statements sent, values refused
// before anything runs, and read state across noread, noread1 and
// repairFlg.
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

using InboxTest = MessageDatabaseTest;

TEST(InboxStatements, SentExactlyAsWritten) {
  ExpectSentExactly({
      // The oldest unread message of the session's person.
      {"noread",
       {},
       {"Select top 1 * from DATA_Msg Where (personid=7) and (msgFlag=0) Order by msgCreatetime "}},
      {"GetAllData",
       {I(9)},
       {"Select HR_person.PersonName,msgCreatetime,MsgContent,msgFlag,MsgFromPersonid,MsgFileName,"
        "MsgID from DATA_Msg,HR_Person where ((data_msg.PersonID=7 and MsgFromPersonid=9) or "
        "(data_msg.personid=9 and MsgFromPersonID=7)) and Data_Msg.MsgFromPersonid=HR_Person."
        "PersonID  order by msgCreatetime desc"}},
      // The same statements whether the id comes as a number or as text.
      {"noread1",
       {T("12")},
       {"SELECT * FROM DATA_Msg INNER JOIN HR_Person ON DATA_Msg.MsgFromPersonID = "
        "HR_Person.PersonID where MsgID=12",
        "update DATA_Msg set msgFlag =1 Where MsgID=12"}},
      {"noread1",
       {I(12)},
       {"SELECT * FROM DATA_Msg INNER JOIN HR_Person ON DATA_Msg.MsgFromPersonID = "
        "HR_Person.PersonID where MsgID=12",
        "update DATA_Msg set msgFlag =1 Where MsgID=12"}},
      // Reading one message: the message with its sender, its sender alone,
      // and marking it read.
      {"MsgRead",
       {I(5)},
       {"SELECT * FROM DATA_Msg INNER JOIN HR_Person ON DATA_Msg.MsgFromPersonID = "
        "HR_Person.PersonID Where (DATA_Msg.MsgID =5)"}},
      {"noread2", {I(5)}, {"Select top 1 * from DATA_Msg where MsgID=5"}},
      {"repairFlg", {I(5)}, {"update DATA_Msg set msgFlag =1 Where MsgID=5"}},
  });
}

TEST(InboxStatements, HostileOrMissingValuesRunNothing) {
  ExpectRefusedBeforeAnyStatement({
      {"noread1", {T("12; update DATA_Msg set msgFlag=1")}, kErrTypeMismatch},
      {"GetAllData", {Variant::R8(2147483648.0)}, kErrOverflow},
  });
}

TEST(InboxStatements, HostileSessionPersonRunsNothing) {
  auto fake = std::make_shared<FakeConnection>();
  MessageHarness h(fake);
  h.StartPage();
  h.session().SetValue("personid", T("7) or (1=1"));
  EXPECT_THROW(h.Call("noread"), AutomationError);
  EXPECT_THROW(h.Call("GetAllData", {I(9)}), AutomationError);
  EXPECT_THROW(h.Call("GetFriendList"), AutomationError);
  EXPECT_EQ(Joined(fake->texts()), "");
}

TEST_F(InboxTest, ReadStateAcrossNoreadNoread1AndRepairFlg) {
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

}  // namespace
}  // namespace korimba::testing

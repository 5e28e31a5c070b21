// Person names and the friend list: a hostile id runs nothing, names are
// trimmed, broadcasts are not counted.
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

using FriendsTest = MessageDatabaseTest;

TEST(FriendsStatements, SentExactlyAsWritten) {
  ExpectSentExactly({
      {"GetPersonName", {I(7)}, {"select personname from hr_person where PersonID=7"}},
      // The session's person is the sender counted.
      {"GetFriendList",
       {},
       {"SELECT TOP 20 DATA_Msg.PersonID, HR_Person.PersonName, COUNT(*) AS nCount FROM DATA_Msg, "
        "HR_Person Where DATA_Msg.PersonID = HR_Person.PersonID and (DATA_Msg.MsgFromPersonID = "
        "7) and left(msgContent,3)<>'(广播'   GROUP BY DATA_Msg.PersonID, HR_Person.PersonName "
        "ORDER BY COUNT(*) DESC "}},
  });
}

TEST(FriendsStatements, HostileOrMissingValuesRunNothing) {
  ExpectRefusedBeforeAnyStatement({
      {"GetPersonName", {T("7 or 1=1")}, kErrTypeMismatch},
  });
}

TEST_F(FriendsTest, PeopleNamesAndFriends) {
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

// Statement texts as the database receives them, and values that must be
// refused before any statement runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/error.h"
#include "tests/message/message_harness.h"
#include "tests/support/fake_connection.h"

namespace korimba::testing {
namespace {

const std::string kRetention79 =
    "delete from Data_Msg where ((data_msg.PersonID=7 and MsgFromPersonid=9) or "
    "(data_msg.personid=9 and MsgFromPersonID=7))  and msgID not in ( Select top 25 msgID from "
    "DATA_Msg where ((data_msg.PersonID=7 and MsgFromPersonid=9) or (data_msg.personid=9 and "
    "MsgFromPersonID=7))  order by msgCreatetime desc)";

std::string Joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += t + "\n";
  return out;
}

struct Case {
  const char* method;
  std::vector<Variant> args;
  std::vector<std::string> expected;
};

TEST(MessageStatements, EachFamilyIsSentExactlyAsWritten) {
  const std::vector<Case> cases = {
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
      // Reading one message: its file, the message with its sender, its
      // sender alone, and marking it read.
      {"GetFileData", {I(5)}, {"select * from DATA_Msg where MsgID = 5"}},
      {"MsgRead",
       {I(5)},
       {"SELECT * FROM DATA_Msg INNER JOIN HR_Person ON DATA_Msg.MsgFromPersonID = "
        "HR_Person.PersonID Where (DATA_Msg.MsgID =5)"}},
      {"noread2", {I(5)}, {"Select top 1 * from DATA_Msg where MsgID=5"}},
      {"repairFlg", {I(5)}, {"update DATA_Msg set msgFlag =1 Where MsgID=5"}},
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
  };
  for (const Case& c : cases) {
    auto fake = std::make_shared<FakeConnection>();
    MessageHarness h(fake);
    h.StartPage();
    h.session().SetValue("personid", T("7"));
    // Lookups get an empty answer with the columns they read.
    fake->QueueResult({{"MsgFromPersonID", "MsgID", "MsgFileName", "personname"}, {}});
    try {
      h.Call(c.method, c.args);
    } catch (const AutomationError& e) {
      ADD_FAILURE() << c.method << " failed: " << e.description();
    }
    EXPECT_EQ(Joined(fake->texts()), Joined(c.expected)) << c.method;
  }
}

// Every one of these must fail before the first statement reaches the
// database: nothing is stored, nothing is marked read.
TEST(MessageStatements, HostileOrMissingValuesRunNothing) {
  const Variant bytes = Variant::Bytes(ByteArray{{1, 2, 3}, 0});
  struct Refusal {
    const char* method;
    std::vector<Variant> args;
    int32_t error;
  };
  const std::vector<Refusal> refusals = {
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
      {"noread1", {T("12; update DATA_Msg set msgFlag=1")}, kErrTypeMismatch},
      {"GetPersonName", {T("7 or 1=1")}, kErrTypeMismatch},
      {"GetAllData", {Variant::R8(2147483648.0)}, kErrOverflow},
  };
  for (const Refusal& r : refusals) {
    auto fake = std::make_shared<FakeConnection>();
    MessageHarness h(fake);
    h.StartPage();
    h.session().SetValue("personid", T("7"));
    try {
      h.Call(r.method, r.args);
      ADD_FAILURE() << r.method << " accepted " << r.args[0].DebugString();
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), r.error) << r.method << ": " << e.description();
    }
    EXPECT_EQ(Joined(fake->texts()), "") << r.method;
  }
}

TEST(MessageStatements, HostileSessionPersonRunsNothing) {
  auto fake = std::make_shared<FakeConnection>();
  MessageHarness h(fake);
  h.StartPage();
  h.session().SetValue("personid", T("7) or (1=1"));
  EXPECT_THROW(h.Call("noread"), AutomationError);
  EXPECT_THROW(h.Call("GetAllData", {I(9)}), AutomationError);
  EXPECT_THROW(h.Call("GetFriendList"), AutomationError);
  EXPECT_EQ(Joined(fake->texts()), "");
}

}  // namespace
}  // namespace korimba::testing

// The embedded database running the component's statements: each family on
// data chosen so that a wrong translation would show (day and minute
// boundaries, the 25th/26th message, the join's column order, value kinds).
// The statements are the ones the methods send (taken from a call on a
// scratch database); only setup rows and checks of the provider itself are
// written here.
#include "db/sqlite_connection.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "db/open.h"
#include "frame/value_ops.h"
#include "tests/db/db_test_util.h"
#include "tests/support/sent_by.h"

namespace korimba::testing {
namespace {

constexpr const char* kMessage = "Korimba.Message";
constexpr const char* kPlan = "Korimba.Plan";

std::string N(int v) { return std::to_string(v); }
Variant I(int v) { return Variant::I4(v); }
Variant T(std::string text) { return Variant::Text(std::move(text)); }

class SqliteConnectionTest : public DbTest {
 protected:
  void Person(int id, const std::string& name) {
    Run("Insert into HR_Person(PersonID,PersonName) values (" + N(id) + ",N'" + name + "')");
  }
  // The message insert AddData sends.
  std::string AddMsg(int p, const std::string& content, int f, const std::string& title) {
    return NthSent(kMessage, "AddData", {I(p), T(content), I(f), T(title)});
  }
  // Posts from `f` to `p` (the insert alone, no retention) and moves the
  // clock on by `seconds`.
  void Post(int p, int f, const std::string& content, double seconds = 1) {
    Run(AddMsg(p, content, f, "t"));
    clock_->Advance(seconds);
  }
  // The retention statement AddData sends after its insert.
  std::string Retention(int p, int f) {
    return NthSent(kMessage, "AddData", {I(p), T("c"), I(f), T("t")}, 1);
  }
  std::string AddPlan(const std::string& begin, const std::string& end, const std::string& content,
                      const std::string& alert, const std::string& place) {
    return NthSent(kPlan, "AddData",
                   {I(7), I(1), I(1), T(begin), T(end), T(content), T(alert), T(place)});
  }
  std::string UpdatePlan(int id, const std::string& type, const std::string& cls,
                         const std::string& begin, const std::string& end,
                         const std::string& alert) {
    return NthSent(kPlan, "UpdateData",
                   {I(id), I(7), T(type), T(cls), T(begin), T(end), T("c"), T(alert), T("p")});
  }
  std::string DayPlan(const std::string& moment, int p) {
    return NthSent(kPlan, "GetDayPlan", {I(p), T(moment)});
  }
  int Count(const std::string& where) {
    return *Run("select count(*) from DATA_Msg where " + where).at(0, 0).i4();
  }
};

TEST_F(SqliteConnectionTest, RetentionKeepsTheNewest25OfThePairInBothDirections) {
  for (int i = 0; i < 26; ++i) Post(i % 2 ? 7 : 9, i % 2 ? 9 : 7, "m" + N(i));
  Post(7, 3, "third person");
  Post(3, 9, "third person");
  Run(Retention(7, 9));
  EXPECT_EQ(Count("1=1"), 27);
  EXPECT_EQ(Count("MsgContent='m0'"), 0);  // the oldest, sent from 7 to 9
  EXPECT_EQ(Count("MsgContent='m1'"), 1);
  EXPECT_EQ(Count("MsgFromPersonID=3 or PersonID=3"), 2);
  Run(Retention(7, 9));  // at 25 nothing more goes
  EXPECT_EQ(Count("1=1"), 27);
}

TEST_F(SqliteConnectionTest, IdentityIncreasesAndIsNeverReused) {
  EXPECT_EQ(Show("select @@IDENTITY"), "\nNull\n");
  Post(7, 9, "a");
  Post(7, 9, "b");
  Run(NthSent(kMessage, "DelData", {I(2)}));
  Post(7, 9, "c");
  EXPECT_EQ(Show("select @@IDENTITY"), "\n3i4\n");
  EXPECT_EQ(Show("SELECT SCOPE_IDENTITY()"), "\nNull\n");  // a batch of its own
  Run(AddPlan("2024-3-1", "2024-3-2", "c", "", "p"));
  EXPECT_EQ(Show("select @@IDENTITY"), "\n1i4\n");
  // Updates and deletes leave it alone.
  Run(NthSent(kMessage, "DelData", {I(3)}));
  EXPECT_EQ(Show("select @@IDENTITY"), "\n1i4\n");
  // SELECT * reports the identity column first (a statement of the provider's
  // own: no method reads the newest message).
  EXPECT_EQ(Show("select top 1 * from data_Msg order by MsgID desc").substr(0, 5), "MsgID");
}

TEST_F(SqliteConnectionTest, DefaultsAndGetdateFollowTheComponentClock) {
  Post(7, 9, "a", 0);
  clock_->Set(At(2024, 12, 31, 23, 59, 59, 999));
  Post(7, 9, "b", 0);
  ResultTable t =
      Run("select msgFlag, CONVERT(char(23), msgCreatetime, 121), "
          "CONVERT(varchar(30), GETDATE(), 121) from DATA_Msg order by MsgID");
  EXPECT_EQ(TableString(t),
            "msgFlag||\n"
            "0i4|\"2024-03-01 09:05:07.123\"|\"2024-12-31 23:59:59.999\"\n"
            "0i4|\"2024-12-31 23:59:59.999\"|\"2024-12-31 23:59:59.999\"\n");
  EXPECT_EQ(*Run("select msgCreatetime from DATA_Msg where MsgID=2").at(0, 0).date(),
            At(2024, 12, 31, 23, 59, 59, 999));
}

TEST_F(SqliteConnectionTest, ReportedNamesAndKindsFollowTheSelectList) {
  Person(9, "张三");
  Post(7, 9, "hello");
  Run(NthSent(kMessage, "dptAddData",
              {I(7), T("with file"), I(5), T("t"), T("a.txt"),
               Variant::Bytes(ByteArray{{1, 2, 3}, 0}), Variant()}));  // sender 5 has no person row
  EXPECT_EQ(Show(NthSent(kMessage, "InceptMsg", {I(7)})),
            "姓名|内容|发送时间|msgID|阅读标志|MsgFileName\n"
            "Null|\"with file\"|#2024-03-01 09:05:08#|2i4|0i4|\"a.txt\"\n"
            "\"张三\"|\"hello\"|#2024-03-01 09:05:07#|1i4|0i4|Null\n");
  EXPECT_EQ(Show("select [PersonName] as [Who], personid, PersonID + 1, N'x' k from hr_person"),
            "Who|personid||k\n\"张三\"|9i4|10i4|\"x\"\n");
  EXPECT_EQ(
      Show("select CAST(PersonID AS smallint), CAST(PersonID AS bit), CAST(PersonID AS float), "
           "CAST(PersonID AS real), 1.5, CONVERT(char(3), 12345) from HR_Person"),
      "|||||\n9i2|True|9r8|9r4|1.5r8|\"*  \"\n");
}

TEST_F(SqliteConnectionTest, SelectStarOverTheJoinGivesBothTablesInTableOrder) {
  Person(9, "Ann");
  Post(7, 9, "hi");
  EXPECT_EQ(Show(NthSent(kMessage, "MsgRead", {I(1)})),
            "MsgID|PersonID|MsgFromPersonID|MsgTitle|MsgContent|MsgFileName|msgFlag|msgCreatetime|"
            "PersonID|PersonName\n"
            "1i4|7i4|9i4|\"t\"|\"hi\"|Null|0i4|#2024-03-01 09:05:07#|9i4|\"Ann\"\n");
  EXPECT_EQ(Show(NthSent(kMessage, "noread1", {I(1)})), Show(NthSent(kMessage, "MsgRead", {I(1)})));
  EXPECT_EQ(Run(NthSent(kMessage, "MsgRead", {I(2)})).row_count(), 0u);
}

TEST_F(SqliteConnectionTest, ConversationAndReadState) {
  Person(7, "Seven");
  Person(9, "Nine");
  Post(7, 9, "to seven");
  Post(9, 7, "to nine");
  Post(9, 5, "from a stranger");  // no person row for 5
  Post(9, 3, "other pair");
  EXPECT_EQ(Show(NthSent(kMessage, "GetAllData", {I(9)}, 0, 7)),
            "PersonName|msgCreatetime|MsgContent|msgFlag|MsgFromPersonid|MsgFileName|MsgID\n"
            "\"Seven\"|#2024-03-01 09:05:08#|\"to nine\"|0i4|7i4|Null|2i4\n"
            "\"Nine\"|#2024-03-01 09:05:07#|\"to seven\"|0i4|9i4|Null|1i4\n");
  EXPECT_EQ(Run(NthSent(kMessage, "noread", {}, 0, 9)).at(0, 0).DebugString(), "2i4");
  Run(NthSent(kMessage, "repairFlg", {I(2)}));
  EXPECT_EQ(Run(NthSent(kMessage, "noread", {}, 0, 9)).at(0, 0).DebugString(), "3i4");
  EXPECT_EQ(Run(NthSent(kMessage, "noread2", {I(3)})).at(0, 2).DebugString(), "5i4");
  EXPECT_EQ(Show(NthSent(kMessage, "GetPersonName", {T("9")})), "personname\n\"Nine\"\n");
}

TEST_F(SqliteConnectionTest, GroupMessagesGroupByMinute) {
  Person(1, "One");
  Person(2, "Two");
  clock_->Set(At(2024, 3, 1, 9, 5, 59, 999));
  Post(1, 9, "今天群发消息A", 0);
  clock_->Set(At(2024, 3, 1, 9, 6, 0, 0));  // the copies straddle a minute boundary
  Post(2, 9, "今天群发消息A", 0);
  clock_->Set(At(2024, 3, 1, 9, 6, 0, 1));
  Post(1, 8, "另一条群发消息", 0);
  Post(1, 9, "not a group message", 0);
  EXPECT_EQ(Run(NthSent(kMessage, "trackMsg", {I(9)})).row_count(), 2u);
  EXPECT_EQ(Show(NthSent(kMessage, "track", {T("2024-03-01 09:06")})),
            "personname|Msgcontent||msgID|MsgFlag\n"
            "\"One\"|\"另一条群发消息\"|\"2024-03-01 09:06\"|3i4|0i4\n"
            "\"Two\"|\"今天群发消息A\"|\"2024-03-01 09:06\"|2i4|0i4\n");
  EXPECT_EQ(Run(NthSent(kMessage, "track", {T("")})).row_count(), 0u);
  EXPECT_EQ(Run(NthSent(kMessage, "track", {T("2024-03-01 09:05 ")})).row_count(),
            1u);  // trailing blanks are ignored
}

// Messages written in the same millisecond keep one order whichever index
// answers: a minute's group copies as written, a person's inbox newest
// written first.
TEST_F(SqliteConnectionTest, EqualTimesKeepTheirWrittenOrder) {
  for (int p = 1; p <= 3; ++p) Person(p, "P" + N(p));
  clock_->Set(At(2024, 3, 1, 9, 6, 0, 0));
  Post(3, 9, "群发消息 a", 0);
  Post(1, 9, "群发消息 a", 0);
  Post(2, 9, "群发消息 a", 0);
  Post(2, 8, "from eight", 0);
  Post(2, 1, "from one", 0);
  EXPECT_EQ(Show(NthSent(kMessage, "track", {T("2024-03-01 09:06")})),
            "personname|Msgcontent||msgID|MsgFlag\n"
            "\"P3\"|\"群发消息 a\"|\"2024-03-01 09:06\"|1i4|0i4\n"
            "\"P1\"|\"群发消息 a\"|\"2024-03-01 09:06\"|2i4|0i4\n"
            "\"P2\"|\"群发消息 a\"|\"2024-03-01 09:06\"|3i4|0i4\n");
  const ResultTable inbox = Run(NthSent(kMessage, "InceptMsg", {I(2)}));
  ASSERT_EQ(inbox.row_count(), 3u);
  EXPECT_EQ(inbox.at(0, 3).DebugString(), "5i4");
  EXPECT_EQ(inbox.at(1, 3).DebugString(), "4i4");
  EXPECT_EQ(inbox.at(2, 3).DebugString(), "3i4");
}

TEST_F(SqliteConnectionTest, FriendListCountsAndSkipsBroadcasts) {
  Person(1, "One");
  Person(2, "Two");
  for (int i = 0; i < 3; ++i) Post(2, 9, "x");
  Post(1, 9, "y");
  Post(1, 9, "(广播 all");  // a broadcast: not counted
  Post(1, 9, "（广播 full-width");
  Run("Insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle) values (1,null,9,'t')");
  EXPECT_EQ(Show(NthSent(kMessage, "GetFriendList", {}, 0, 9)),
            "PersonID|PersonName|nCount\n2i4|\"Two\"|3i4\n1i4|\"One\"|2i4\n");
  for (int p = 10; p < 40; ++p) {
    Person(p, "P" + N(p));
    Post(p, 9, "x");
  }
  EXPECT_EQ(Run(NthSent(kMessage, "GetFriendList", {}, 0, 9)).row_count(), 20u);
}

// Each date text SQL Server reads, compared, inserted and assigned.
TEST_F(SqliteConnectionTest, DateTextsReadAsSqlServerReadsThem) {
  const std::vector<std::pair<std::string, std::string>> forms = {
      {"2024-3-1", "2024-03-01 00:00:00.000"},
      {"2024-03-01", "2024-03-01 00:00:00.000"},
      {"2024-03-01 9:05", "2024-03-01 09:05:00.000"},
      {"2024-03-01 09:05:07.123", "2024-03-01 09:05:07.123"},
      {"2024-03-01 09:05:07.5", "2024-03-01 09:05:07.500"},
      {"2024/3/1", "2024-03-01 00:00:00.000"},
      {"20240301", "2024-03-01 00:00:00.000"},
      {"2024-03-01T09:05:07", "2024-03-01 09:05:07.000"},
      {"2024-3-1 23:59:59", "2024-03-01 23:59:59.000"},
      {" 2024-3-1 1:05 PM ", "2024-03-01 13:05:00.000"},
      {"", "1900-01-01 00:00:00.000"},
  };
  for (const auto& [text, stored] : forms) {
    Run("delete from DATA_Plan");
    Run(AddPlan(text, text, "c", text, "p"));
    EXPECT_EQ(Show("select CONVERT(char(23), PlanBeginTime, 121) from DATA_Plan where "
                   "PlanBeginTime = '" +
                   text + "' and PlanEndTime between '" + text + "' and '" + text + "'"),
              "\n\"" + stored + "\"\n")
        << text;
    Run(UpdatePlan(*Run("select PlanID from DATA_Plan").at(0, 0).i4(), "1", "1", text, text, text));
    EXPECT_EQ(Run("select PlanAlertTime from DATA_Plan").at(0, 0).DebugString(),
              Run("select PlanBeginTime from DATA_Plan").at(0, 0).DebugString());
  }
  const std::string conversion =
      "Conversion failed when converting date and/or time from character string.";
  for (std::string bad :
       {"x", "2024-03-01 25:00", "2024-3-1x", "3/1/2024", "2024-03-01 09:05:07.1234"}) {
    EXPECT_EQ(ErrorOf(DayPlan(bad, 7)), conversion) << bad;
    EXPECT_EQ(ErrorOf(AddPlan(bad, "", "c", "", "p")), conversion) << bad;
  }
  EXPECT_EQ(ErrorOf(DayPlan("2024-02-30", 7)),
            "The conversion of a varchar data type to a datetime data type resulted in an "
            "out-of-range value.");
}

TEST_F(SqliteConnectionTest, TextIntoIntColumnsConvertsAsSqlServerDoes) {
  Run(AddPlan("2024-3-1", "2024-3-1", "c", "", "p"));
  Run(UpdatePlan(1, "", " 12 ", "2024-3-1", "2024-3-1", ""));
  EXPECT_EQ(Show("select PlanType, PlanClass, PlanAlertTime from DATA_Plan"),
            "PlanType|PlanClass|PlanAlertTime\n0i4|12i4|#1900-01-01#\n");
  EXPECT_EQ(ErrorOf(UpdatePlan(1, "x", "1", "2024-3-1", "2024-3-1", "")),
            "Conversion failed when converting the varchar value 'x' to data type int.");
  EXPECT_EQ(ErrorOf(UpdatePlan(1, "99999999999", "1", "2024-3-1", "2024-3-1", "")),
            "The conversion of the varchar value '99999999999' overflowed an int column.");
  EXPECT_EQ(ErrorOf("update DATA_Plan set PlanType=2147483648 where PlanID=1"),
            "Arithmetic overflow error converting expression to data type int.");
  EXPECT_EQ(ErrorOf("update DATA_Plan set PlanType=-2147483648 where PlanID=1"), "");
  EXPECT_EQ(Show(NthSent(kPlan, "GetData", {I(1)})).substr(0, 6), "PlanID");
  // A failed statement changes nothing.
  EXPECT_EQ(Run("select PlanClass from DATA_Plan").at(0, 0).DebugString(), "12i4");
}

// Bounds at midnight and at the last second of a day, as the calendar views use them.
TEST_F(SqliteConnectionTest, CalendarBoundsAtDayEdges) {
  auto plan = [&](const std::string& begin, const std::string& end, const std::string& what) {
    Run(AddPlan(begin, end, what, begin, what));
  };
  plan("2024-02-29 23:59:59", "2024-03-01 00:00:00", "crosses start");
  plan("2024-03-01 00:00:00", "2024-03-01 01:00:00", "first midnight");
  plan("2024-03-31 09:00:00", "2024-03-31 23:30:00", "last day");
  plan("2024-03-31 23:59:59", "2024-04-01 00:00:01", "crosses end");
  plan("2024-04-01 00:00:00", "2024-04-01 01:00:00", "april");
  auto contents = [&](const std::string& sql) {
    std::string out;
    ResultTable t = Run(sql);
    int col = 0;
    while (t.columns[col] != "PlanContent") ++col;
    for (size_t r = 0; r < t.row_count(); ++r) out += *t.at(r, col).text() + ";";
    return out;
  };
  EXPECT_EQ(contents(NthSent(kPlan, "GetMonthPlan", {I(7), T("2024-3-5")})),
            "crosses start;first midnight;last day;crosses end;");
  EXPECT_EQ(Show("select DAY(PlanBeginTime) AS BeginDay, DAY(PlanEndTime) AS EndDay from DATA_Plan "
                 "where PlanID=4"),
            "BeginDay|EndDay\n31i4|1i4\n");
  // DATEDIFF(dd) counts calendar days: the whole last day is inside, a plan
  // that begins a second before the first day is not.
  EXPECT_EQ(contents(NthSent(kPlan, "GetMonthPlan11", {I(7), T("2024-3-5")})),
            "first midnight;last day;");
  EXPECT_EQ(
      Show("select DateDiff(dd,'2024-03-01 23:59:59','2024-03-02 00:00:00'), "
           "DATEDIFF(dd,'2024-03-02','2024-03-01 23:00'), datediff(mm,'2024-01-31','2024-02-01'), "
           "DATEDIFF(mi,'2024-03-01 09:05:59','2024-03-01 09:06:00')"),
      "|||\n1i4|-1i4|1i4|1i4\n");
  // BETWEEN includes both bounds; a plan in progress at midnight is found.
  EXPECT_EQ(contents(NthSent(kPlan, "GetWeekPlan11", {I(7), T("2024-3-1")})) +
                contents(NthSent(kPlan, "GetWeekPlan11", {I(7), T("2024-3-31")})),
            "crosses start;first midnight;last day;crosses end;");
  EXPECT_EQ(contents(NthSent(kPlan, "GetWeekPlan", {I(7), T("2024-03-01")})),
            "crosses start;first midnight;");
  EXPECT_EQ(contents(DayPlan("2024-04-01", 7)), "crosses end;april;");
}

TEST_F(SqliteConnectionTest, TextComparesWithoutCaseOrTrailingBlanks) {
  Person(1, "Ann");
  EXPECT_EQ(Run("select PersonID from HR_Person where PersonName = 'ANN  '").row_count(), 1u);
  EXPECT_EQ(Run("select PersonID from HR_Person where left(PersonName,2) = 'aN'").row_count(), 1u);
  EXPECT_EQ(Run("select PersonID from HR_Person where PersonName like 'a%'").row_count(), 1u);
  EXPECT_EQ(Run("select PersonID from HR_Person where PersonName like '[a]%'").row_count(), 1u);
}

// [%], [_] and [[] match the character itself, as on SQL Server; a
// backslash is an ordinary character of the pattern.
TEST_F(SqliteConnectionTest, BracketedWildcardsMatchThemselves) {
  const std::vector<std::string> names = {"50%", "500", "a_b", "axb", "[x]", "c\\d", "c%d"};
  for (size_t i = 0; i < names.size(); ++i) Person(static_cast<int>(i + 1), names[i]);
  auto matches = [&](const std::string& pattern) {
    ResultTable t = Run("select PersonName from HR_Person where PersonName like '" + pattern +
                        "' order by PersonID");
    std::string out;
    for (size_t r = 0; r < t.row_count(); ++r) out += TextForm(t.at(r, 0)) + ";";
    return out;
  };
  EXPECT_EQ(matches("50[%]"), "50%;");
  EXPECT_EQ(matches("50%"), "50%;500;");
  EXPECT_EQ(matches("a[_]b"), "a_b;");
  EXPECT_EQ(matches("%[[]x]%"), "[x];");
  EXPECT_EQ(matches("c\\%"), "c\\d;");
  EXPECT_EQ(matches("c\\_"), "c\\d;");
  EXPECT_EQ(matches("c[%]d"), "c%d;");
  EXPECT_EQ(matches("[ab]%"), "a_b;axb;");
}

TEST_F(SqliteConnectionTest, LimitsAndApostrophes) {
  EXPECT_EQ(ErrorOf(AddMsg(7, std::string(5000, 'x'), 9, std::string(201, 'x'))),
            "String or binary data would be truncated.");
  EXPECT_EQ(ErrorOf(AddMsg(7, "it's", 9, std::string(200, 'x'))), "");
  EXPECT_EQ(Run("select MsgContent from DATA_Msg").at(0, 0).DebugString(), "\"it's\"");
  // An empty recipient (insert null rewrite) is stored as NULL. The methods
  // refuse a post without one, so the statement is written here.
  Run("Insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle) values "
      "(null,'c',9,'t') ");
  EXPECT_EQ(Count("PersonID is null"), 1);
}

TEST_F(SqliteConnectionTest, ErrorsCarrySqlServerMessagesOrNameTheConstruct) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"select nosuch from DATA_Msg", "Invalid column name 'nosuch'."},
      {"select * from NoTable", "Invalid object name 'NoTable'."},
      {"select PersonID from DATA_Msg, HR_Person", "Ambiguous column name 'PersonID'."},
      {"select x.PersonID from DATA_Msg",
       "The multi-part identifier \"x.PersonID\" could not be bound."},
      {"Delete from DATA_Msg where MsgID=", "Incorrect syntax near '='."},
      {"select personname from hr_person where PersonID= and 1=1",
       "Incorrect syntax near the keyword 'and'."},
      {"select MsgTitle, count(*) from DATA_Msg group by MsgContent",
       "Column 'DATA_Msg.MsgTitle' is invalid in the select list because it is not contained in "
       "either an aggregate function or the GROUP BY clause."},
      {"select (select PersonID from DATA_Msg) from HR_Person",
       "A subquery used as a value must select at most one row (by its key, TOP 1 or an aggregate) "
       "on the embedded database."},
      {"insert into DATA_Msg(MsgID) values (1)",
       "Cannot insert explicit value for identity column in table 'DATA_Msg' when IDENTITY_INSERT "
       "is set to OFF."},
      {"update DATA_Plan set PlanID=1", "Cannot update identity column 'PlanID'."},
      {"select * from DATA_Msg where MsgContent = 5",
       "Implicit conversion between nvarchar and int in a comparison is not supported by the "
       "embedded database."},
      {"select * from DATA_Msg where MsgID",
       "An expression of non-boolean type specified in a "
       "context where a condition is expected."},
      {"select * from DATA_Msg where 'it''s", "Unclosed quotation mark in the statement."},
      {"select * from DATA_Msg order by 9",
       "The ORDER BY position number 9 is out of range of the "
       "number of items in the select list."},
      // Numbers too long for any integer are judged, not overflowed.
      {"select * from DATA_Msg order by 99999999999999999999",
       "The ORDER BY position number 99999999999999999999 is out of range of the "
       "number of items in the select list."},
      {"select CONVERT(varchar(99999999999), MsgTitle) from DATA_Msg",
       "The size (99999999999) given to the type 'varchar' exceeds the maximum allowed (8000)."},
      {"select CONVERT(char(16), msgCreatetime, 99999999999) from DATA_Msg",
       "CONVERT style 99999999999 is not supported by the embedded database."},
  };
  for (const auto& [sql, message] : cases) EXPECT_EQ(ErrorOf(sql), message) << sql;
  // A constraint the database itself enforces keeps the database's text.
  EXPECT_NE(ErrorOf("insert into HR_Person(PersonID,PersonName) values (null,'x')"), "");
}

TEST_F(SqliteConnectionTest, RepeatedShapesReuseOneTranslation) {
  Person(1, "Ann");
  for (int i = 0; i < 5; ++i) Run(NthSent(kMessage, "GetPersonName", {T(N(i))}));
  EXPECT_EQ(db_->cached_shapes(), 2u);  // the insert and the lookup
  // Literals that shape the translation itself are not parameters.
  Post(1, 9, "x");
  EXPECT_EQ(Show("select CONVERT(char(10), msgCreatetime, 120) from DATA_Msg"),
            "\n\"2024-03-01\"\n");
  EXPECT_EQ(Show("select CONVERT(char(13), msgCreatetime, 120) from DATA_Msg"),
            "\n\"2024-03-01 09\"\n");
  EXPECT_EQ(Show("select CONVERT(char(21), msgCreatetime, 120) from DATA_Msg"),
            "\n\"2024-03-01 09:05:07  \"\n");
  EXPECT_EQ(Show("select MsgID, MsgContent from DATA_Msg order by 2 desc, 1"),
            Show("select MsgID, MsgContent from DATA_Msg order by 1 desc, 2"));
}

// A database file removed or replaced under an open connection: every write
// is refused, naming the file, so nothing is answered as saved and then
// lost; reads of a removed file go on (SQLite keeps it open).
TEST(SqliteFileTest, WritesAreRefusedOnceTheFileIsRemovedOrReplaced) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("korimba_gone_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string insert = "insert into HR_Person (PersonID, PersonName) values (2, 'Bo')";
  for (const bool replace : {false, true}) {
    const fs::path path = dir / (replace ? "replaced.db" : "removed.db");
    auto conn = SqliteConnection::Open(path.string());
    conn->Execute("insert into HR_Person (PersonID, PersonName) values (1, 'Ann')");
    fs::remove(path);
    if (replace) SqliteConnection::Open(path.string());  // a new, empty database at the path
    try {
      conn->Execute(insert);
      ADD_FAILURE() << "write accepted, replace=" << replace;
    } catch (const AutomationError& e) {
      EXPECT_NE(e.description().find("was removed or replaced"), std::string::npos);
      EXPECT_NE(e.description().find(path.string()), std::string::npos);
    }
    EXPECT_THROW(conn->EnsureSchema(), AutomationError);
    if (!replace) {
      EXPECT_EQ(conn->Execute("select count(*) from HR_Person").at(0, 0).DebugString(), "1i4");
    }
  }
  // A file that stays in place keeps taking writes, through a rename of
  // something else beside it too.
  const fs::path kept = dir / "kept.db";
  auto conn = SqliteConnection::Open(kept.string());
  fs::rename(dir / "replaced.db", dir / "other.db");
  conn->Execute(insert);
  EXPECT_EQ(conn->Execute("select count(*) from HR_Person").at(0, 0).DebugString(), "1i4");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace korimba::testing

// What the SQLite writer decides where SQL Server leaves the choice to the
// database: which rows TOP keeps among ties, and how long operator chains
// are written; and that statements of one shape, cached as one
// translation, still answer by their own literals.
#include "db/sqlite_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/db/db_test_util.h"

namespace korimba::testing {
namespace {

class SqliteWriterTest : public DbTest {
 protected:
  // `n` messages from 9 to 7, all at the frozen clock's time.
  void PostTied(int n) {
    for (int i = 0; i < n; ++i) {
      Run("insert into DATA_Msg (PersonID, MsgContent, MsgFromPersonID, MsgTitle) values (7, 'm" +
          std::to_string(i) + "', 9, 't')");
    }
  }
  std::string Ids(std::string_view sql) {
    std::string out;
    ResultTable t = Run(sql);
    for (size_t r = 0; r < t.row_count(); ++r) out += (r ? "," : "") + t.at(r, 0).DebugString();
    return out;
  }
};

TEST_F(SqliteWriterTest, TopKeepsTheLatestInsertedAmongTiesOnADescendingOrder) {
  PostTied(30);
  // The retention rule's shape: everything but the 25 newest goes.
  Run("delete from Data_Msg where PersonID=7 and msgID not in ( Select top 25 msgID from DATA_Msg "
      "where PersonID=7 order by msgCreatetime desc)");
  EXPECT_EQ(Show("select count(*) as n, min(MsgID) as lo, max(MsgID) as hi from DATA_Msg"),
            "n|lo|hi\n25i4|6i4|30i4\n");
  // A new post at the same time keeps itself and drops the oldest.
  PostTied(1);
  Run("delete from Data_Msg where PersonID=7 and msgID not in ( Select top 25 msgID from DATA_Msg "
      "where PersonID=7 order by msgCreatetime desc)");
  EXPECT_EQ(Show("select count(*) as n, min(MsgID) as lo, max(MsgID) as hi from DATA_Msg"),
            "n|lo|hi\n25i4|7i4|31i4\n");
}

TEST_F(SqliteWriterTest, TopTieOrderFollowsTheLastOrderItem) {
  PostTied(4);
  EXPECT_EQ(Ids("select top 2 MsgID from DATA_Msg order by msgCreatetime desc"), "4i4,3i4");
  EXPECT_EQ(Ids("select top 2 MsgID from DATA_Msg order by msgCreatetime"), "1i4,2i4");
  // An order that already names the key is left as written.
  EXPECT_EQ(Ids("select top 2 MsgID from DATA_Msg order by MsgID"), "1i4,2i4");
  EXPECT_EQ(Ids("select top 2 MsgID from DATA_Msg order by msgCreatetime, MsgID desc"), "4i4,3i4");
}

TEST_F(SqliteWriterTest, ChainsAreWrittenFlatAndKeepTheirGrouping) {
  const sql::Translation t = SqliteConnection::TranslateText(
      "select MsgID from DATA_Msg where MsgID=1 or MsgID=2 or MsgID=3");
  EXPECT_NE(t.sql.find("WHERE ((t0.\"MsgID\" = ?1) OR (t0.\"MsgID\" = ?2) OR (t0.\"MsgID\" = ?3))"),
            std::string::npos)
      << t.sql;
  // Grouping that differs from left to right stays explicit.
  const struct {
    const char* sql;
    const char* value;
  } cases[] = {
      {"select 10 - 3 - 2 as v", "v\n5i4\n"},          {"select 10 - (3 - 2) as v", "v\n9i4\n"},
      {"select 2 + 3 * 4 as v", "v\n14i4\n"},          {"select (2 + 3) * 4 as v", "v\n20i4\n"},
      {"select 'a' + 'b' + 'c' as v", "v\n\"abc\"\n"}, {"select 1 + 2 - 3 + 4 as v", "v\n4i4\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Show(c.sql), c.value) << c.sql;
}

// Each pair shares a shape (and so a cached translation and prepared
// statement) but differs in a literal that the translation either fixes
// (MAXRECURSION, CONVERT's style) or binds (TOP's count, a percent, a frame
// is fixed too): the second must answer by its own value, not the first's.
TEST_F(SqliteWriterTest, OneShapeAnswersByEachStatementsOwnLiterals) {
  Run("insert into HR_Person (PersonID, PersonName) values (1, 'a'), (2, 'b'), (3, 'b'), (4, 'c')");
  const struct {
    const char* sql;
    const char* answer;  // a table, or the start of the error
  } cases[] = {
      {"with n as (select 1 as i union all select i + 1 from n where i < 9) select max(i) as m "
       "from n option (maxrecursion 5)",
       "error: The statement terminated. The maximum recursion 5"},
      {"with n as (select 1 as i union all select i + 1 from n where i < 9) select max(i) as m "
       "from n option (maxrecursion 8)",
       "m\n9i4\n"},
      {"select CONVERT(datetime, '03/05/2024', 101) as d", "d\n#2024-03-05#\n"},
      {"select CONVERT(datetime, '03/05/2024', 103) as d", "d\n#2024-05-03#\n"},
      {"select top 1 with ties PersonID from HR_Person order by PersonName desc",
       "PersonID\n4i4\n"},
      {"select top 2 with ties PersonID from HR_Person order by PersonName desc",
       "PersonID\n4i4\n2i4\n3i4\n"},
      {"select top 25 percent PersonID from HR_Person order by PersonID", "PersonID\n1i4\n"},
      {"select top 26 percent PersonID from HR_Person order by PersonID", "PersonID\n1i4\n2i4\n"},
      {"select PersonID, sum(PersonID) over (order by PersonID rows 1 preceding) as s from "
       "HR_Person where PersonID = 2 or PersonID = 3",
       "PersonID|s\n2i4|2i4\n3i4|5i4\n"},
      {"select PersonID, sum(PersonID) over (order by PersonID rows 0 preceding) as s from "
       "HR_Person where PersonID = 2 or PersonID = 3",
       "PersonID|s\n2i4|2i4\n3i4|3i4\n"},
      {"select PersonID from HR_Person where PersonID < 3 union select 9 order by 1 desc",
       "PersonID\n9i4\n2i4\n1i4\n"},
      {"select PersonID from HR_Person where PersonID < 3 union select 0 order by 1 desc",
       "PersonID\n2i4\n1i4\n0i4\n"},
  };
  for (const auto& c : cases) {
    std::string got;
    try {
      got = Show(c.sql);
    } catch (const AutomationError& e) {
      got = "error: " + e.description();
    }
    EXPECT_EQ(got.substr(0, std::string_view(c.answer).size()), c.answer) << c.sql;
  }
}

// A LIKE pattern without character classes is written into the SQLite text
// (so a partial index on that condition can serve it) and its translation
// serves that pattern only; a pattern with a class stays bound. Many
// patterns of one shape on one connection each answer by their own, past
// the number of translations a shape keeps.
TEST_F(SqliteWriterTest, LikePatternsAreWrittenIntoTheTextAndServeOnlyThemselves) {
  const struct {
    const char* pattern;
    const char* written;
  } cases[] = {
      {"%b%", "LIKE '%b%' ESCAPE"},
      {"it''s%", "LIKE 'it''s%' ESCAPE"},
      {"50[%]", "LIKE '50\\%' ESCAPE"},
      {"[bc]%", "LIKE ?1 ESCAPE"},
  };
  for (const auto& c : cases) {
    const std::string sql =
        SqliteConnection::TranslateText(
            std::string("select PersonID from HR_Person where PersonName not like '") + c.pattern +
            "'")
            .sql;
    EXPECT_NE(sql.find(c.written), std::string::npos) << c.pattern << ": " << sql;
  }
  for (int i = 0; i < 40; ++i) {
    Run("insert into HR_Person (PersonID, PersonName) values (" + std::to_string(i) + ", 'p" +
        std::to_string(i) + "')");
  }
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 40; ++i) {
      EXPECT_EQ(
          Ids("select PersonID from HR_Person where PersonName like 'P" + std::to_string(i) + "'"),
          std::to_string(i) + "i4");
    }
  }
  EXPECT_EQ(Run("select PersonID from HR_Person where PersonName like 'p1%'").row_count(), 11u);
  EXPECT_EQ(Run("select PersonID from HR_Person where PersonName not like 'p1%'").row_count(), 29u);
  EXPECT_EQ(Run("select PersonID from HR_Person where PersonName like 'p[1-2]'").row_count(), 2u);
}

// A recursive common table that never stops is stopped by the recursion
// limit even when the query reads none of its rows' values, and the
// connection answers the next statement.
TEST_F(SqliteWriterTest, EndlessRecursionStopsAtTheLimit) {
  for (const char* sql : {
           "with n as (select 1 as i union all select i from n) select count(*) as c from n",
           "with n as (select 1 as i union all select i + 1 from n) select top 1 0 as z from n "
           "order by i desc",
           "with n (i) as (select 1 union all select 1 from n) select 1 as one where exists "
           "(select i from n where i = 2)",
       }) {
    try {
      Show(sql);
      ADD_FAILURE() << "answered: " << sql;
    } catch (const AutomationError& e) {
      EXPECT_NE(e.description().find("maximum recursion 100"), std::string::npos) << sql;
    }
  }
  EXPECT_EQ(Show("select 1 as one"), "one\n1i4\n");
}

}  // namespace
}  // namespace korimba::testing

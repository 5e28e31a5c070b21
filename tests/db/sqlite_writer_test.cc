// What the SQLite writer decides where SQL Server leaves the choice to the
// database: which rows TOP keeps among ties, and how long operator chains
// are written.
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

}  // namespace
}  // namespace korimba::testing

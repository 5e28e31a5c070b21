#include "frame/record_set.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/grid.h"
#include "tests/support/fake_connection.h"

namespace korimba {
namespace {

using testing::FakeConnection;
using ::testing::HasSubstr;

// Records (n, "rN") for n = 1..count, columns "Id" and "Name".
ResultTable Numbered(int count) {
  ResultTable table{{"Id", "Name"}, {}};
  for (int n = 1; n <= count; ++n) {
    table.cells.push_back(Variant::I4(n));
    table.cells.push_back(Variant::Text("r" + std::to_string(n)));
  }
  return table;
}

RecordSet OpenOn(ResultTable table, FakeConnection& conn) {
  conn.QueueResult(std::move(table));
  RecordSet rs;
  rs.Open("select Id, Name from T", conn, 3, -1, -1);
  return rs;
}

// The error number and description of `action`, or "" when it succeeds.
template <typename Action>
std::string ErrorOf(Action&& action) {
  try {
    action();
  } catch (const AutomationError& e) {
    return std::to_string(e.number()) + " " + e.description();
  }
  return "";
}

TEST(RecordSetTest, OpenRunsTheQueryWithAStaticCursorOnly) {
  FakeConnection conn;
  RecordSet rs = OpenOn(Numbered(3), conn);
  ASSERT_EQ(conn.sent().size(), 1u);
  EXPECT_EQ(conn.sent()[0].via, "query");
  EXPECT_EQ(rs.RecordCount(), 3);

  RecordSet other;
  EXPECT_THAT(ErrorOf([&] { other.Open("select 1", conn, 0, -1, -1); }),
              HasSubstr("static cursor (type 3)"));
  EXPECT_EQ(conn.sent().size(), 1u) << "a refused Open must not run the query";

  RecordSet executed = RecordSet::Execute(conn, "select 2");
  EXPECT_EQ(conn.sent().back().via, "execute");
  EXPECT_TRUE(executed.Eof());
}

TEST(RecordSetTest, WalksRecordsByPositionAndByNameWithoutRegardToCase) {
  FakeConnection conn;
  RecordSet rs = OpenOn(Numbered(2), conn);
  EXPECT_EQ(rs.FieldCount(), 2);
  EXPECT_EQ(rs.FieldName(1), "Name");
  std::vector<std::string> seen;
  while (!rs.Eof()) {
    seen.push_back(rs.Value(0).DebugString() + " " + rs.Value("NAME").DebugString() + " " +
                   rs.Value("id").DebugString());
    rs.MoveNext();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1i4 \"r1\" 1i4", "2i4 \"r2\" 2i4"}));
}

TEST(RecordSetTest, MisuseFailsWithAClearDescription) {
  FakeConnection conn;
  RecordSet rs = OpenOn(Numbered(1), conn);
  EXPECT_THAT(ErrorOf([&] { rs.Value("Title"); }),
              HasSubstr("No field named 'Title' in the result (its fields: Id, Name)"));
  EXPECT_THAT(ErrorOf([&] { rs.Value(2); }), HasSubstr("No field at position 2"));
  EXPECT_THAT(ErrorOf([&] { rs.FieldName(-1); }), HasSubstr("No field at position -1"));

  rs.MoveNext();
  for (auto action :
       std::vector<std::function<void()>>{[&] { rs.Value(0); }, [&] { rs.Value("Id"); },
                                          [&] { rs.MoveNext(); }, [&] { rs.GetRows(); }}) {
    EXPECT_THAT(ErrorOf(action), HasSubstr("EOF"));
  }

  rs.Close();
  rs.Close();  // harmless
  EXPECT_THAT(ErrorOf([&] { rs.Eof(); }), HasSubstr("closed"));
  EXPECT_THAT(ErrorOf([&] { rs.Value(0); }), HasSubstr("closed"));
  EXPECT_THAT(ErrorOf([&] { rs.RecordCount(); }), HasSubstr("closed"));
}

TEST(RecordSetTest, AnEmptyResultIsAtEofAtOnce) {
  FakeConnection conn;
  RecordSet rs = OpenOn(Numbered(0), conn);
  EXPECT_TRUE(rs.Eof());
  EXPECT_EQ(rs.RecordCount(), 0);
  EXPECT_EQ(rs.FieldCount(), 2);
  EXPECT_THAT(ErrorOf([&] { rs.SetAbsolutePage(1); }), HasSubstr("no records"));
}

TEST(RecordSetTest, GetRowsReadsTheRemainingRecordsIndexedColumnThenRow) {
  FakeConnection conn;
  RecordSet rs = OpenOn(Numbered(3), conn);
  rs.MoveNext();
  Variant rows = rs.GetRows();
  EXPECT_EQ(GridString(rows),
            "[0..1, 0..1]\n"
            "0: 2i4 | 3i4\n"
            "1: \"r2\" | \"r3\"");
  EXPECT_TRUE(rs.Eof());
  EXPECT_EQ(rs.RecordCount(), 3);

  // The rows handed out can be read again after repositioning, with the
  // values as read even when the caller has written into its grid.
  GridCell(rows, 1, 0) = Variant::Text("changed");
  rs.SetPageSize(1);
  rs.SetAbsolutePage(3);
  EXPECT_EQ(rs.Value(1).DebugString(), "\"r3\"");
  rs.SetAbsolutePage(2);
  EXPECT_EQ(GridString(rs.GetRows()),
            "[0..1, 0..1]\n"
            "0: 2i4 | 3i4\n"
            "1: \"r2\" | \"r3\"");
}

TEST(RecordSetTest, AllRecordsTakenByGetRowsCanBeReadAgain) {
  FakeConnection conn;
  RecordSet rs = OpenOn(Numbered(2), conn);
  Variant rows = rs.GetRows();
  EXPECT_EQ(GridString(rows),
            "[0..1, 0..1]\n"
            "0: 1i4 | 2i4\n"
            "1: \"r1\" | \"r2\"");
  EXPECT_EQ(rs.RecordCount(), 2);
  EXPECT_THAT(ErrorOf([&] { rs.GetRows(); }), HasSubstr("EOF"));
  GridCell(rows, 0, 0) = Variant::I4(99);
  rs.SetAbsolutePage(1);
  EXPECT_EQ(rs.Value("Id").DebugString(), "1i4");
  EXPECT_EQ(GridString(rs.GetRows()),
            "[0..1, 0..1]\n"
            "0: 1i4 | 2i4\n"
            "1: \"r1\" | \"r2\"");
}

TEST(RecordSetTest, PagesStandOnTheirFirstRecord) {
  FakeConnection conn;
  RecordSet rs = OpenOn(Numbered(7), conn);
  rs.SetPageSize(3);
  struct Case {
    int32_t page;
    std::string first;  // Id of the record stood on, or a part of the error
  };
  const Case cases[] = {
      {2, "4i4"},
      {1, "1i4"},
      {3, "7i4"},  // the last page holds one record
      {4, "AbsolutePage 4 is out of range: the result has 3 pages of 3 records"},
      {0, "AbsolutePage 0 is out of range"},
      {-1, "AbsolutePage -1 is out of range"},
  };
  for (const Case& c : cases) {
    std::string got = ErrorOf([&] { rs.SetAbsolutePage(c.page); });
    if (got.empty()) got = rs.Value("Id").DebugString();
    EXPECT_THAT(got, HasSubstr(c.first)) << "page " << c.page;
  }

  for (int32_t size : {0, -5}) {
    EXPECT_THAT(ErrorOf([&] { rs.SetPageSize(size); }), HasSubstr("PageSize must be at least 1"));
  }
  rs.SetPageSize(7);
  EXPECT_THAT(ErrorOf([&] { rs.SetAbsolutePage(2); }), HasSubstr("1 page of 7"));
}

TEST(RecordSetTest, DatabaseErrorsPassThroughAndLeaveTheSetClosed) {
  FakeConnection conn;
  conn.QueueError("Invalid object name 'DATA_Nope'.");
  RecordSet rs;
  EXPECT_EQ(ErrorOf([&] { rs.Open("select * from DATA_Nope", conn); }),
            std::to_string(kErrDatabase) + " Invalid object name 'DATA_Nope'.");
  EXPECT_THAT(ErrorOf([&] { rs.Eof(); }), HasSubstr("closed"));
}

}  // namespace
}  // namespace korimba

// Moving records from a result set into a grid, and the grid cell fast path.
#include <gtest/gtest.h>

#include "frame/error.h"
#include "frame/grid.h"
#include "frame/record_set.h"
#include "frame/safe_array.h"
#include "tests/support/fake_connection.h"

namespace korimba {
namespace {

ResultTable ThreeRecords() {
  return {{"id", "name"},
          {Variant::I4(1), Variant::Text("a"), Variant::I4(2), Variant::Text("b"), Variant::I4(3),
           Variant::Null()}};
}

TEST(MoveRecordsIntoGridTest, PlacesRecordsByRowAndStopsAtLimitsAndEof) {
  struct Case {
    int32_t grid_rows;
    int32_t first_row;
    int32_t max_records;
    const char* grid;
    bool eof_after;
  };
  const Case cases[] = {
      // Every record under a spare row 0.
      {4, 1, 3, "[0..3, 0..1]\n0: Empty | Empty\n1: 1i4 | \"a\"\n2: 2i4 | \"b\"\n3: 3i4 | Null",
       true},
      // Only the first record.
      {4, 1, 1,
       "[0..3, 0..1]\n0: Empty | Empty\n1: 1i4 | \"a\"\n2: Empty | Empty\n3: Empty | Empty", false},
      // The grid's last row ends the copy before the records do.
      {2, 0, 10, "[0..1, 0..1]\n0: 1i4 | \"a\"\n1: 2i4 | \"b\"", false},
  };
  for (const Case& c : cases) {
    testing::FakeConnection conn;
    conn.QueueResult(ThreeRecords());
    RecordSet rs;
    rs.Open("select", conn);
    Variant grid = MakeGrid(c.grid_rows, 2);
    MoveRecordsIntoGrid(rs, grid, c.first_row, c.max_records);
    EXPECT_EQ(GridString(grid), c.grid) << c.first_row << " " << c.max_records;
    EXPECT_EQ(rs.Eof(), c.eof_after);
  }
}

TEST(MoveRecordsIntoGridTest, RefusesTooFewColumnsAndLeavesOthersSharingTheGridAlone) {
  testing::FakeConnection conn;
  conn.QueueResult(ThreeRecords());
  conn.QueueResult(ThreeRecords());
  RecordSet narrow;
  narrow.Open("select", conn);
  Variant one_column = MakeGrid(3, 1);
  EXPECT_THROW(MoveRecordsIntoGrid(narrow, one_column, 0, 3), AutomationError);

  RecordSet rs;
  rs.Open("select", conn);
  Variant grid = MakeGrid(3, 2);
  const Variant before = grid;  // shares the cells until the first write
  MoveRecordsIntoGrid(rs, grid, 0, 3);
  EXPECT_EQ(GridString(before),
            "[0..2, 0..1]\n0: Empty | Empty\n1: Empty | Empty\n2: Empty | Empty");
  EXPECT_EQ(GridCell(grid, 2, 1).DebugString(), "Null");
}

TEST(SafeArrayOffsetTest, TwoDimensionsWithOffsetBoundsAndOutOfRange) {
  SafeArray array({{-1, 1}, {5, 6}});
  array.at({-1, 5}) = Variant::I4(1);
  array.at({1, 6}) = Variant::I4(2);
  EXPECT_EQ(array.cells().front().DebugString(), "1i4");
  EXPECT_EQ(array.cells().back().DebugString(), "2i4");
  EXPECT_THROW(array.at({2, 5}), AutomationError);
  EXPECT_THROW(array.at({0, 4}), AutomationError);
  EXPECT_THROW(array.at({0}), AutomationError);
}

}  // namespace
}  // namespace korimba

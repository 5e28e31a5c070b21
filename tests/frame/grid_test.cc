#include "frame/grid.h"

#include <gtest/gtest.h>

#include "frame/error.h"
#include "frame/record_set.h"
#include "frame/safe_array.h"
#include "tests/support/fake_connection.h"

namespace korimba {
namespace {

TEST(GridTest, ShapesAndTheirStrings) {
  Variant grid = MakeGrid(2, 3);
  GridCell(grid, 0, 0) = Variant::Text("a");
  GridCell(grid, 0, 1) = Variant::I2(5);
  GridCell(grid, 0, 2) = Variant::Null();
  EXPECT_EQ(GridString(grid), "[0..1, 0..2]\n0: \"a\" | 5i2 | Null\n1: Empty | Empty | Empty");

  // A built grid for no records keeps its one spare row.
  EXPECT_EQ(GridString(MakeBuiltGrid(0, 2)), "[0..0, 0..1]\n0: Empty | Empty");
  EXPECT_EQ(GridString(MakeOneCellGrid()), "[0..0, 0..0]\n0: Empty");
  EXPECT_EQ(GridString(MakeGrid(0, 3)), "[0..-1, 0..2]");
  EXPECT_EQ(GridString(Variant::NoArray()), "no array");
  EXPECT_EQ(GridString(Variant::I4(3)), "3i4");

  auto list = std::make_shared<SafeArray>(std::vector<Bound>{{1, 3}});
  list->at({2}) = Variant::Text("x");
  EXPECT_EQ(GridString(Variant::Array(list)), "[1..3]\nEmpty | \"x\" | Empty");
}

TEST(GridTest, CellAccessFailures) {
  auto error_of = [](auto f) {
    try {
      f();
    } catch (const AutomationError& e) {
      return e.number();
    }
    return 0;
  };
  Variant grid = MakeBuiltGrid(1, 2);
  Variant none = Variant::NoArray();
  const Variant text = Variant::Text("x");
  EXPECT_EQ(error_of([&] { GridCell(grid, 2, 0); }), kErrSubscript);
  EXPECT_EQ(error_of([&] { GridCell(grid, 0, -1); }), kErrSubscript);
  EXPECT_EQ(error_of([&] { GridCell(none, 0, 0); }), kErrTypeMismatch);
  EXPECT_EQ(error_of([&] { GridCell(text, 0, 0); }), kErrTypeMismatch);
}

// Moving records from a result set into a grid.
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

}  // namespace
}  // namespace korimba

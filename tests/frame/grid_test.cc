#include "frame/grid.h"

#include <gtest/gtest.h>

#include "frame/error.h"
#include "frame/safe_array.h"

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

}  // namespace
}  // namespace korimba

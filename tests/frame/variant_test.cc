#include "frame/variant.h"

#include <gtest/gtest.h>

#include "frame/error.h"
#include "frame/grid.h"
#include "frame/safe_array.h"

namespace korimba {
namespace {

TEST(VariantTest, EqualityIsByKindAndValue) {
  EXPECT_NE(Variant::I2(5), Variant::I4(5));
  EXPECT_NE(Variant(), Variant::Null());
  EXPECT_EQ(Variant::Bytes({{1, 2}, 1}), Variant::Bytes({{1, 2}, 1}));
  EXPECT_NE(Variant::Bytes({{1, 2}, 1}), Variant::Bytes({{1, 2}, 0}));  // the bound counts
  EXPECT_EQ(Variant::Bytes({{1, 2, 3}, 1}).DebugString(), "bytes(lbound 1, 3)");
}

TEST(VariantTest, ArraysAreCopiedOnWrite) {
  Variant original = MakeGrid(1, 2);
  GridCell(original, 0, 0) = Variant::Text("kept");
  Variant copy = original;
  EXPECT_EQ(copy, original);
  GridCell(copy, 0, 0) = Variant::Text("changed");
  GridCell(copy, 0, 1) = Variant::I2(1);
  EXPECT_EQ(GridString(original), "[0..0, 0..1]\n0: \"kept\" | Empty");
  EXPECT_EQ(GridString(copy), "[0..0, 0..1]\n0: \"changed\" | 1i2");
  EXPECT_NE(copy, original);
}

TEST(VariantTest, NoArrayHasNoBounds) {
  Variant none = Variant::NoArray();
  EXPECT_TRUE(none.is_array());
  EXPECT_EQ(none.array(), nullptr);
  EXPECT_THROW(none.MutableArray(), AutomationError);
  EXPECT_NE(none, MakeOneCellGrid());
  EXPECT_EQ(none, Variant::NoArray());
}

}  // namespace
}  // namespace korimba

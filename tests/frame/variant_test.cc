#include "frame/variant.h"

#include <gtest/gtest.h>

#include "frame/error.h"
#include "frame/grid.h"
#include "frame/safe_array.h"

namespace korimba {
namespace {

TEST(VariantTest, KindsAndDebugStrings) {
  EXPECT_TRUE(Variant().is_empty());
  EXPECT_EQ(Variant().DebugString(), "Empty");
  EXPECT_EQ(Variant::Null().DebugString(), "Null");
  EXPECT_EQ(Variant::I2(5).DebugString(), "5i2");
  EXPECT_EQ(Variant::I4(70000).DebugString(), "70000i4");
  EXPECT_EQ(Variant::R4(1.5f).DebugString(), "1.5r4");
  EXPECT_EQ(Variant::R8(2.5).DebugString(), "2.5r8");
  EXPECT_EQ(Variant::FromDate(MakeDate({2024, 3, 5, 9, 7, 0, 0}).value()).DebugString(),
            "#2024-03-05 09:07:00#");
  EXPECT_EQ(Variant::Text("t").DebugString(), "\"t\"");
  EXPECT_EQ(Variant::Bool(true).DebugString(), "True");
  EXPECT_EQ(Variant::NoArray().DebugString(), "no array");
  EXPECT_EQ(Variant::Bytes({{1, 2, 3}, 1}).DebugString(), "bytes(lbound 1, 3)");
  EXPECT_TRUE(Variant::I2(1).is_number());
  EXPECT_FALSE(Variant::Bool(true).is_number());
  EXPECT_FALSE(Variant::FromDate(Date{1}).is_number());
  // Equality is by kind and value: 5i2 is not 5i4.
  EXPECT_NE(Variant::I2(5), Variant::I4(5));
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

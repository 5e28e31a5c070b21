#include "frame/safe_array.h"

#include <gtest/gtest.h>

#include "frame/error.h"
#include "frame/grid.h"

namespace korimba {
namespace {

int32_t ErrorOf(void (*f)(SafeArray&), SafeArray& a) {
  try {
    f(a);
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

TEST(SafeArrayTest, BoundsAndIndexing) {
  SafeArray a({{1, 3}, {-1, 0}});
  EXPECT_EQ(a.dims(), 2);
  EXPECT_EQ(a.bound(1), (Bound{1, 3}));
  EXPECT_EQ(a.bound(2), (Bound{-1, 0}));
  EXPECT_EQ(a.cells().size(), 6u);
  a.at({3, -1}) = Variant::I2(7);
  EXPECT_EQ(a.at({3, -1}), Variant::I2(7));
  EXPECT_EQ(ErrorOf([](SafeArray& s) { s.bound(3); }, a), kErrSubscript);
  EXPECT_EQ(ErrorOf([](SafeArray& s) { s.at({0, 0}); }, a), kErrSubscript);
  EXPECT_EQ(ErrorOf([](SafeArray& s) { s.at({1}); }, a), kErrSubscript);
  EXPECT_EQ(ErrorOf([](SafeArray& s) { s.Redim({{0, 1}}); }, a), kErrSubscript);
}

TEST(SafeArrayTest, TakesCellsThatFillTheBounds) {
  SafeArray a({{0, 1}, {0, 0}}, {Variant::I4(1), Variant::I4(2)});
  EXPECT_EQ(a.at({1, 0}), Variant::I4(2));
  try {
    SafeArray b({{0, 1}, {0, 1}}, {Variant::I4(1)});
    ADD_FAILURE() << "three cells short accepted";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), kErrSubscript);
  }
}

TEST(SafeArrayTest, RedimKeepsValuesInsideBothBounds) {
  auto a = std::make_shared<SafeArray>(std::vector<Bound>{{0, 1}, {0, 1}});
  a->at({0, 0}) = Variant::Text("a");
  a->at({1, 0}) = Variant::Text("b");
  a->at({0, 1}) = Variant::Text("c");
  a->at({1, 1}) = Variant::Text("d");
  a->Redim({{0, 2}, {0, 1}});
  EXPECT_EQ(GridString(Variant::Array(a)),
            "[0..2, 0..1]\n0: \"a\" | \"c\"\n1: \"b\" | \"d\"\n2: Empty | Empty");
  a->Redim({{0, 2}, {0, 0}});
  EXPECT_EQ(GridString(Variant::Array(a)), "[0..2, 0..0]\n0: \"a\"\n1: \"b\"\n2: Empty");

  // A growing list, as scripts keep one.
  SafeArray list({{0, 0}});
  for (int i = 1; i <= 3; ++i) {
    list.Redim({{0, i}});
    list.at({i}) = Variant::I2(static_cast<int16_t>(i));
  }
  EXPECT_EQ(GridString(Variant::Array(std::make_shared<SafeArray>(list))),
            "[0..3]\nEmpty | 1i2 | 2i2 | 3i2");
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

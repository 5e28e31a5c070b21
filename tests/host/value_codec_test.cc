#include "host/value_codec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/safe_array.h"

namespace korimba {
namespace {

using ::testing::HasSubstr;

Variant Grid(std::vector<Bound> bounds, std::vector<Variant> cells) {
  return Variant::Array(std::make_shared<SafeArray>(std::move(bounds), std::move(cells)));
}

// The values a session or the Application holds in practice, and the corners
// of every kind: each must come back with its kind, its bits and its bounds.
std::vector<Variant> EveryKind() {
  const Date noon_2024 = *MakeDate(CivilDateTime{2024, 3, 5, 12, 0, 0});
  const Date last_moment = *MakeDate(CivilDateTime{9999, 12, 31, 23, 59, 59, 997});
  return {
      Variant(),
      Variant::Null(),
      Variant::Missing(),
      Variant::I2(-32768),
      Variant::I2(7),
      Variant::I4(70000),
      Variant::I4(std::numeric_limits<int32_t>::min()),
      Variant::R4(1.5f),
      Variant::R4(0.1f),  // not widened to the double 0.1
      Variant::R4(-0.0f),
      Variant::R8(0.1),
      Variant::R8(std::numeric_limits<double>::denorm_min()),
      Variant::R8(-std::numeric_limits<double>::infinity()),
      Variant::FromDate(noon_2024),
      Variant::FromDate(last_moment),
      Variant::FromDate(Date{-1.25}),          // before the origin, 06:00
      Variant::FromDate(Date{0.375}),          // a time with no date
      Variant::FromDate(Date{45356.1234567}),  // a time finer than a millisecond
      Variant::Text(""),
      Variant::Text("Ann's list, 王芳"),
      Variant::Text(std::string("nul\0inside", 10)),
      Variant::Bool(true),
      Variant::Bool(false),
      Variant::Bytes(ByteArray{{0, 255, 10, 13}, 1}),
      Variant::Bytes(ByteArray{}),
      Variant::NoArray(),
      Grid({{0, -1}}, {}),
      Grid({{1, 3}}, {Variant::I4(1), Variant::Null(), Variant()}),
      // The on-line list's shape: two rows of a 0-based grid, columns first.
      Grid({{0, 1}, {0, 2}}, {Variant::I4(2), Variant::Text("Wang"), Variant::Text("Li"),
                              Variant::I4(3), Variant::FromDate(noon_2024), Variant::R4(2.5f)}),
      Grid({{-5, -4}}, {Grid({{10, 10}}, {Variant::Text("inner")}), Variant::NoArray()}),
  };
}

TEST(ValueCodecTest, EveryKindComesBackWithItsKindBitsAndBounds) {
  for (const Variant& value : EveryKind()) {
    const std::string form = EncodeValue(value);
    const Variant back = DecodeValue(form);
    EXPECT_EQ(back.kind(), value.kind()) << value.DebugString();
    EXPECT_EQ(back.DebugString(), value.DebugString());
    EXPECT_EQ(EncodeValue(back), form) << value.DebugString();  // every bit kept
    if (const SafeArray* array = value.array()) {
      ASSERT_NE(back.array(), nullptr);
      EXPECT_EQ(back.array()->bounds(), array->bounds());
    }
  }
}

TEST(ValueCodecTest, NotANumberKeepsItsBits) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Variant back = DecodeValue(EncodeValue(Variant::R8(nan)));
  ASSERT_EQ(back.kind(), VarKind::kR8);
  EXPECT_TRUE(std::isnan(std::get<double>(back.storage())));
}

TEST(ValueCodecTest, DecodedArraysAreTheirOwn) {
  // Writing the decoded copy must not touch the value it was made from.
  Variant original = Grid({{0, 0}}, {Variant::I4(1)});
  Variant back = DecodeValue(EncodeValue(original));
  back.MutableArray().at({0}) = Variant::I4(2);
  EXPECT_EQ(original.array()->at({0}), Variant::I4(1));
}

TEST(ValueCodecTest, ObjectsHaveNoStoredForm) {
  class Thing final : public Object {
   public:
    std::string_view KindName() const override { return "Thing"; }
  };
  auto object = Variant::Object(std::make_shared<Thing>());
  for (const Variant& value : {object, Grid({{0, 1}}, {Variant::I4(1), object})}) {
    try {
      EncodeValue(value);
      ADD_FAILURE() << "an object was encoded";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), kErrTypeMismatch);
    }
  }
}

TEST(ValueCodecTest, EveryCutShortFormIsRefused) {
  for (const Variant& value : EveryKind()) {
    const std::string form = EncodeValue(value);
    for (size_t size = 0; size < form.size(); ++size) {
      EXPECT_THROW(DecodeValue(std::string_view(form).substr(0, size)), AutomationError)
          << value.DebugString() << " cut to " << size;
    }
  }
}

TEST(ValueCodecTest, DamagedFormsAreRefusedWithTheirReason) {
  auto le32 = [](uint32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
    return out;
  };
  std::string deep = "\x01";
  for (int i = 0; i < 40; ++i) deep += "a\x01" + le32(0) + le32(0);
  deep += "E";
  struct Case {
    std::string form;
    const char* reason;
  };
  const Case cases[] = {
      {"\x02"
       "E",
       "version"},
      {"\x01"
       "Q",
       "unknown kind"},
      {"\x01"
       "EE",
       "bytes follow"},
      {std::string("\x01"
                   "b\x02",
                   3),
       "Boolean"},
      {"\x01"
       "s" +
           le32(1000) + "short",
       "ends too soon"},
      // A few bytes claiming a vast array are refused before any allocation.
      {"\x01"
       "a\x02" +
           le32(0) + le32(0x7ffffffe) + le32(0) + le32(0x7ffffffe) + "E",
       "more cells"},
      {"\x01"
       "a\x01" +
           le32(5) + le32(3) + "E",
       "ends before it starts"},
      {std::string("\x01"
                   "a\x00",
                   3),
       "dimensions"},
      {deep, "nest too deep"},
  };
  for (const Case& c : cases) {
    try {
      DecodeValue(c.form);
      ADD_FAILURE() << "accepted: " << c.reason;
    } catch (const AutomationError& e) {
      EXPECT_THAT(e.description(), HasSubstr(c.reason));
    }
  }
}

}  // namespace
}  // namespace korimba

#include "host/value_codec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/safe_array.h"
#include "tests/host/every_kind.h"

namespace korimba {
namespace {

using ::testing::HasSubstr;

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
  Variant original = ArrayOf({{0, 0}}, {Variant::I4(1)});
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
  for (const Variant& value : {object, ArrayOf({{0, 1}}, {Variant::I4(1), object})}) {
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

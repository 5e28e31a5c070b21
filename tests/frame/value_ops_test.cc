#include "frame/value_ops.h"

#include <gtest/gtest.h>

#include <memory>

#include "frame/clock.h"
#include "frame/error.h"
#include "frame/grid.h"
#include "tests/support/error_of.h"

namespace korimba {
namespace {

Variant T(const char* s) { return Variant::Text(s); }
Date At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return MakeDate({y, mo, d, h, mi, s, 0}).value();
}

using testing::ErrorOf;

TEST(ValueOpsTest, TextForms) {
  const struct {
    Variant value;
    const char* text;
  } cases[] = {
      {Variant::Null(), ""},
      {Variant::I2(-32768), "-32768"},
      {Variant::R8(2.5), "2.5"},
      {Variant::R8(1.0 / 3), "0.333333333333333"},
      {Variant::R8(0.1 + 0.2), "0.3"},  // 15 digits hide the binary error
      {Variant::R8(123456789012345.0), "123456789012345"},
      {Variant::R8(1e15), "1E+15"},
      {Variant::R8(1e20), "1E+20"},
      {Variant::R8(-1.5e-7), "-1.5E-07"},
      {Variant::R8(0.0001), "0.0001"},
      {Variant::R8(0.00001), "1E-05"},
      {Variant::R8(1.23456789012345678e17), "1.23456789012346E+17"},
      {Variant::R4(0.1f), "0.1"},
      {Variant::R4(3.1415927f), "3.141593"},
      {Variant::R4(1e7f), "1E+07"},
      {Variant::FromDate(At(2024, 3, 5, 9, 7)), "2024-03-05 09:07:00"},
      {Variant::Bool(true), "True"},
  };
  for (const auto& c : cases) EXPECT_EQ(TextForm(c.value), c.text) << c.value.DebugString();

  EXPECT_EQ(ErrorOf([] { TextForm(Variant::Missing()); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorOf([] { TextForm(MakeOneCellGrid()); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorOf([] { TextForm(Variant::Bytes({{1, 2}, 0})); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorOf([] { ToText(Variant::Null()); }), kErrInvalidNull);
  EXPECT_EQ(ToText(Variant()), "");
}

TEST(ValueOpsTest, ConcatAndAddTreatNullAndEmpty) {
  EXPECT_EQ(Concat(T("a"), Variant::Null()), T("a"));
  EXPECT_EQ(Concat(Variant::Null(), T("a")), T("a"));
  EXPECT_EQ(Concat(Variant::Null(), Variant::Null()), Variant::Null());
  EXPECT_EQ(Concat(Variant(), Variant()), T(""));
  EXPECT_EQ(Concat(Variant::I2(5), T("<br>")), T("5<br>"));

  EXPECT_EQ(Add(Variant::I2(1), Variant::Null()), Variant::Null());
  EXPECT_EQ(Add(Variant(), T("x")), T("x"));
  EXPECT_EQ(Add(Variant::I4(7), Variant()), Variant::I4(7));
  EXPECT_EQ(Add(T("1"), T("2")), T("12"));
  EXPECT_EQ(Add(Variant::I2(1), T(" 2.5 ")), Variant::R8(3.5));
  EXPECT_EQ(Add(Variant::I2(32767), Variant::I2(1)), Variant::I4(32768));  // widens, no overflow
  EXPECT_EQ(Add(Variant::FromDate(At(2024, 2, 28)), Variant::I2(1)),
            Variant::FromDate(At(2024, 2, 29)));
  EXPECT_EQ(ErrorOf([] { Add(Variant::I2(1), T("x")); }), kErrTypeMismatch);
}

TEST(ValueOpsTest, CompareRanksNumbersBelowTextsAndNullNeverTrue) {
  const Variant null = Variant::Null();
  EXPECT_EQ(Compare(null, null), Ordering::kNull);
  EXPECT_FALSE(IsEqual(null, null));
  EXPECT_FALSE(IsLess(Variant::I2(1), null));
  EXPECT_FALSE(IsGreater(null, Variant::I2(1)));

  // A number ranks below any text, even one that reads as a smaller number.
  EXPECT_TRUE(IsLess(Variant::I4(100), T("5")));
  EXPECT_TRUE(IsGreater(T(""), Variant::R8(1e300)));
  EXPECT_TRUE(IsLess(Variant::Bool(true), T("a")));

  EXPECT_TRUE(IsEqual(Variant(), Variant::I2(0)));
  EXPECT_TRUE(IsEqual(Variant(), T("")));
  EXPECT_TRUE(IsLess(Variant(), T("a")));
  EXPECT_TRUE(IsEqual(Variant::I2(2), Variant::R8(2.0)));
  EXPECT_TRUE(IsEqual(Variant::Bool(true), Variant::I4(-1)));
  EXPECT_TRUE(
      IsLess(Variant::FromDate(At(2024, 1, 1)), Variant::FromDate(At(2024, 1, 1, 0, 0, 1))));
  // Binary comparison of texts: case matters, upper case sorts first.
  EXPECT_TRUE(IsLess(T("B"), T("a")));
  EXPECT_TRUE(IsLess(T("z"), T("\xc3\xa9")));  // UTF-8 orders as code points

  EXPECT_TRUE(EqualsLiteralText(Variant(), ""));
  EXPECT_TRUE(EqualsLiteralText(Variant::I2(5), "5"));
  EXPECT_FALSE(EqualsLiteralText(null, ""));

  EXPECT_EQ(CompareWithLiteralNumber(T(" 10 "), 9), Ordering::kGreater);
  EXPECT_EQ(CompareWithLiteralNumber(Variant(), 0), Ordering::kEqual);
  EXPECT_EQ(CompareWithLiteralNumber(null, 0), Ordering::kNull);
  EXPECT_EQ(ErrorOf([] { CompareWithLiteralNumber(T("ten"), 10); }), kErrTypeMismatch);
}

TEST(ValueOpsTest, TrimAndReplaceAll) {
  EXPECT_EQ(Trim(T("  a b \t ")), T("a b \t"));  // blanks only
  EXPECT_EQ(Trim(T("   ")), T(""));
  EXPECT_EQ(Trim(Variant::Null()), Variant::Null());
  EXPECT_EQ(Trim(Variant::I2(-3)), T("-3"));

  EXPECT_EQ(ReplaceAll("a,,,b", ",,", ",null,"), "a,null,,b");  // never rescans
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "a"), "aa");
  EXPECT_EQ(ReplaceAll("abc", "", "z"), "abc");
}

TEST(ValueOpsTest, ParseNumberSyntax) {
  for (const char* ok : {"7", " -7 ", "+7", "1.5", ".5", "5.", "1e3", "1.5E-3", "\t42\t"}) {
    EXPECT_TRUE(ParseNumber(ok)) << ok;
  }
  EXPECT_EQ(*ParseNumber(" -1.5e1 "), -15);
  for (const char* bad : {"", " ", ".", "-", "1e", "1 2", "7 or 1=1", "0x10", "1,000", "e5", "inf",
                          "nan", "--1", "1e+"}) {
    EXPECT_FALSE(ParseNumber(bad)) << bad;
  }
}

TEST(ValueOpsTest, IntegerConversionsRoundHalfToEvenAndCheckRange) {
  EXPECT_EQ(ToI2(Variant::R8(2.5)), 2);
  EXPECT_EQ(ToI2(Variant::R8(3.5)), 4);
  EXPECT_EQ(ToI2(Variant::R8(32767.4)), 32767);
  EXPECT_EQ(ToI2(Variant::R8(-32768.5)), -32768);
  EXPECT_EQ(ToI2(T(" 32767 ")), 32767);
  EXPECT_EQ(ToI2(T("-32768")), -32768);
  EXPECT_EQ(ToI2(Variant::Bool(true)), -1);
  EXPECT_EQ(ToI2(Variant()), 0);
  EXPECT_EQ(ToI4(Variant::R8(2147483646.5)), 2147483646);
  EXPECT_EQ(ToI4(Variant::R8(-2147483648.5)), -2147483648);
  EXPECT_EQ(ToI4(T("1e3")), 1000);

  const struct {
    Variant value;
    int32_t i2_error;
    int32_t i4_error;
  } failures[] = {
      {Variant::I4(32768), kErrOverflow, 0},
      {T("32768"), kErrOverflow, 0},
      {Variant::R8(32767.5), kErrOverflow, 0},
      {Variant::R8(-32768.51), kErrOverflow, 0},
      {Variant::R8(2147483647.5), kErrOverflow, kErrOverflow},
      {T("1e999"), kErrOverflow, kErrOverflow},
      {T("12a"), kErrTypeMismatch, kErrTypeMismatch},
      {T(""), kErrTypeMismatch, kErrTypeMismatch},
      {Variant::Null(), kErrInvalidNull, kErrInvalidNull},
      {Variant::Missing(), kErrTypeMismatch, kErrTypeMismatch},
  };
  for (const auto& f : failures) {
    EXPECT_EQ(ErrorOf([&] { ToI2(f.value); }), f.i2_error) << f.value.DebugString();
    EXPECT_EQ(ErrorOf([&] { ToI4(f.value); }), f.i4_error) << f.value.DebugString();
  }
}

TEST(ValueOpsTest, ToDoubleAndToDate) {
  EXPECT_EQ(ToDouble(T(" 2.5 ")), 2.5);
  EXPECT_EQ(ToDouble(Variant::FromDate(Date{1.5})), 1.5);
  EXPECT_EQ(ErrorOf([] { ToDouble(T("x")); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorOf([] { ToDouble(Variant::Null()); }), kErrInvalidNull);

  EXPECT_EQ(ToDate(T("2024-3-1 9:05")), At(2024, 3, 1, 9, 5));
  EXPECT_EQ(ToDate(Variant::I4(45356)), At(2024, 3, 5));
  EXPECT_EQ(ToDate(Variant::R8(45356.5)), At(2024, 3, 5, 12));
  EXPECT_EQ(ErrorOf([] { ToDate(T("45356")); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorOf([] { ToDate(T("2023-02-29")); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorOf([] { ToDate(Variant::Null()); }), kErrInvalidNull);
  EXPECT_EQ(ErrorOf([] { ToDate(Variant::R8(1e10)); }), kErrOverflow);
}

TEST(ValueOpsTest, DatesBeforeTheOriginCompareAndAddByTheirMoment) {
  const struct {
    Date earlier, later;
  } pairs[] = {
      {At(1899, 12, 29, 9), At(1899, 12, 29, 10)},  // one day before the origin
      {At(1800, 6, 1, 9), At(1800, 6, 1, 17)},
      {At(1899, 12, 29, 23), At(1899, 12, 30, 1)},  // across the origin
      {At(1899, 12, 30, 9), At(1899, 12, 30, 10)},  // day 0
      {At(2024, 3, 5, 9), At(2024, 3, 5, 10)},
  };
  for (const auto& p : pairs) {
    const Variant a = Variant::FromDate(p.earlier), b = Variant::FromDate(p.later);
    SCOPED_TRACE(FormatDate(p.earlier) + " < " + FormatDate(p.later));
    EXPECT_EQ(Compare(a, b), Ordering::kLess);
    EXPECT_EQ(Compare(b, a), Ordering::kGreater);
    EXPECT_TRUE(IsEqual(a, Variant::FromDate(p.earlier)));
  }
  // Empty is the origin's midnight; noon of day 0 is after it.
  EXPECT_EQ(Compare(Variant(), Variant::FromDate(Date{-0.5})), Ordering::kLess);
  EXPECT_EQ(CompareWithLiteralNumber(Variant::FromDate(At(1899, 12, 29, 18)), -1),
            Ordering::kGreater);

  const struct {
    Date from;
    double days;
    const char* result;
  } sums[] = {
      {At(1899, 12, 29, 6), 1, "06:00:00"},  // day 0 shows its time only
      {At(1899, 12, 30, 6), 1, "1899-12-31 06:00:00"},
      {At(1899, 12, 31, 6), -2, "1899-12-29 06:00:00"},
      {At(1899, 12, 29, 23), 2.0 / 24, "01:00:00"},
      {At(1800, 6, 1, 9), 0.5, "1800-06-01 21:00:00"},
  };
  for (const auto& c : sums) {
    EXPECT_EQ(TextForm(Add(Variant::FromDate(c.from), Variant::R8(c.days))), c.result)
        << FormatDate(c.from) << " + " << c.days;
    EXPECT_EQ(TextForm(Add(Variant::R8(c.days), Variant::FromDate(c.from))), c.result);
  }
}

}  // namespace
}  // namespace korimba

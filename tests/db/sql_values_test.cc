// SQL Server's reading of date and number texts at bind time, and the
// canonical stored form of a datetime.
#include "db/sql_values.h"

#include <gtest/gtest.h>

#include "db/translator.h"
#include "frame/error.h"

namespace korimba::sql {
namespace {

TEST(DateTextTest, SqlServerForms) {
  const std::vector<std::pair<const char*, const char*>> ok = {
      {"2024-02-29", "2024-02-29 00:00:00.000"},
      {"2024.3.1 12:00 AM", "2024-03-01 00:00:00.000"},
      {"2024-3-1 12:30pm", "2024-03-01 12:30:00.000"},
      {"2024-03-01 09:05:07:6", "2024-03-01 09:05:07.007"},  // colon: thousandths
      {"2024-03-01 09:05:07.05", "2024-03-01 09:05:07.050"},
      {"20240301 23:59:59.997", "2024-03-01 23:59:59.997"},
      {"9:05", "1900-01-01 09:05:00.000"},
      {"1753-01-01", "1753-01-01 00:00:00.000"},
  };
  for (const auto& [text, canonical] : ok)
    EXPECT_EQ(TextToDateTime(text, false), canonical) << text;
  const std::vector<std::pair<const char*, const char*>> bad = {
      {"2023-02-29",
       "The conversion of a varchar data type to a datetime data type resulted in an out-of-range "
       "value."},
      {"1752-12-31",
       "The conversion of a varchar data type to a datetime data type resulted in an out-of-range "
       "value."},
      {"2024-13-01",
       "The conversion of a varchar data type to a datetime data type resulted in an out-of-range "
       "value."},
      {"2024-03-01 13:00 PM",
       "Conversion failed when converting date and/or time from character string."},
      {"2024-3/1", "Conversion failed when converting date and/or time from character string."},
      {"2024-03-0109:05",
       "Conversion failed when converting date and/or time from character string."},
  };
  for (const auto& [text, message] : bad) {
    try {
      TextToDateTime(text, false);
      ADD_FAILURE() << text;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.description(), message) << text;
    }
  }
}

// A datetime keeps 1/300 s: thousandths move to .xx0, .xx3 or .xx7 (the
// datetime page's table), .999 to the next second with every carry; a text
// read as a datetime2 keeps seven digits and is not rounded.
TEST(DateTextTest, DatetimeRoundsToItsTick) {
  const struct {
    const char* text;
    bool datetime2;
    const char* canonical;  // null: out of range
  } cases[] = {
      {"2024-01-01 10:00:00.990", false, "2024-01-01 10:00:00.990"},
      {"2024-01-01 10:00:00.991", false, "2024-01-01 10:00:00.990"},
      {"2024-01-01 10:00:00.992", false, "2024-01-01 10:00:00.993"},
      {"2024-01-01 10:00:00.994", false, "2024-01-01 10:00:00.993"},
      {"2024-01-01 10:00:00.995", false, "2024-01-01 10:00:00.997"},
      {"2024-01-01 10:00:00.998", false, "2024-01-01 10:00:00.997"},
      {"2024-01-01 10:00:00.5", false, "2024-01-01 10:00:00.500"},
      {"2024-02-29 23:59:59.999", false, "2024-03-01 00:00:00.000"},
      {"2023-12-31 23:59:59.999", false, "2024-01-01 00:00:00.000"},
      {"9999-12-31 23:59:59.998", false, "9999-12-31 23:59:59.997"},
      {"9999-12-31 23:59:59.999", false, nullptr},
      {"2024-01-01 10:00:00.999", true, "2024-01-01 10:00:00.999"},
      {"2007-10-30 12:15:32.1234567", true, "2007-10-30 12:15:32.1234567"},
      {"2007-10-30 12:15:32.12345", true, "2007-10-30 12:15:32.1234500"},
      {"2007-10-30 12:15:32.1230000", true, "2007-10-30 12:15:32.123"},
  };
  for (const auto& c : cases) {
    try {
      EXPECT_EQ(TextToDateTime(c.text, false, 0, c.datetime2), c.canonical ? c.canonical : "")
          << c.text;
    } catch (const AutomationError& e) {
      EXPECT_EQ(c.canonical, nullptr) << c.text << ": " << e.description();
    }
  }
  // Beyond three digits a datetime refuses the text, as SQL Server does.
  EXPECT_THROW(TextToDateTime("2024-01-01 10:00:00.1234", false), AutomationError);
  EXPECT_THROW(TextToDateTime("2024-01-01 10:00:00.12345678", false, 0, true), AutomationError);
}

TEST(DateTextTest, CanonicalFormRoundTrips) {
  const Date d = *MakeDate(CivilDateTime{2024, 12, 31, 23, 59, 59, 999});
  EXPECT_EQ(CanonicalDateText(d), "2024-12-31 23:59:59.999");
  EXPECT_EQ(DateFromCanonical("2024-12-31 23:59:59.999"), d);
  EXPECT_EQ(DateFromCanonical("2024-12-31"), MakeDate(CivilDateTime{2024, 12, 31}));
  EXPECT_EQ(DateFromCanonical("2024-12-31x"), std::nullopt);
  // Read in this order, each text also follows one of the same day, which
  // must not let a bad time or a day that does not exist through.
  const struct {
    const char* text;
    std::optional<Date> want;
  } cases[] = {
      {"2024-02-29 08:30:00", MakeDate(CivilDateTime{2024, 2, 29, 8, 30})},
      {"2024-02-29 17:45:10.250", MakeDate(CivilDateTime{2024, 2, 29, 17, 45, 10, 250})},
      {"2024-02-29 24:00:00", std::nullopt},
      {"2024-02-29 12:60:00", std::nullopt},
      {"2024-02-29 12:00:0a", std::nullopt},
      {"2024-02-29T12:00:00", std::nullopt},
      {"2023-02-29 12:00:00", std::nullopt},
      {"2023-02-29", std::nullopt},
      {"1899-12-29 06:00:00", MakeDate(CivilDateTime{1899, 12, 29, 6})},
      {"1899-12-29 18:00:00", MakeDate(CivilDateTime{1899, 12, 29, 18})},
  };
  for (const auto& c : cases) EXPECT_EQ(DateFromCanonical(c.text), c.want) << c.text;
}

TEST(NumberTextTest, IntConversions) {
  EXPECT_EQ(TextToInteger("", false, 32), 0);
  EXPECT_EQ(TextToInteger(" -12 ", false, 32), -12);
  EXPECT_EQ(TextToInteger("-32768", false, 16), -32768);
  EXPECT_EQ(TextToInteger("TRUE", false, 1), 1);
  try {
    TextToInteger("1.5", true, 32);
    ADD_FAILURE();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.description(),
              "Conversion failed when converting the nvarchar value '1.5' to data type int.");
  }
  EXPECT_THROW(TextToInteger("32768", false, 16), AutomationError);
}

}  // namespace
}  // namespace korimba::sql

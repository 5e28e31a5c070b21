// The week-row rule the month views and the calendar page share: where the
// first and last days fall and how many week rows a month takes, for months
// that take four, five and six rows in either layout; the grid holds each
// day's text where Cell says and nothing anywhere else.
#include "plan/month_grid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/grid.h"
#include "frame/safe_array.h"

namespace korimba::testing {
namespace {

std::string Where(MonthCell c) {
  return std::to_string(c.row) + "/" + std::to_string(c.weekday) + "/" + std::to_string(c.column);
}

struct MonthCase {
  int year, month;
  WeekLayout layout;
  int rows;
  std::string first, last;  // row/weekday/column of the 1st and of the last day
};

TEST(MonthLayout, FirstAndLastDaysAndRowsUsed) {
  const MonthCase cases[] = {
      // February 2015 begins on a Sunday, February 2021 on a Monday.
      {2015, 2, WeekLayout::kSundayFirst, 4, "0/1/0", "3/7/6"},
      {2015, 2, WeekLayout::kMondayFirst, 5, "0/1/6", "4/7/5"},
      {2021, 2, WeekLayout::kSundayFirst, 5, "0/2/1", "4/1/0"},
      {2021, 2, WeekLayout::kMondayFirst, 4, "0/2/0", "3/1/6"},
      // March 2025 begins on a Saturday and ends on a Monday.
      {2025, 3, WeekLayout::kSundayFirst, 6, "0/7/6", "5/2/1"},
      {2025, 3, WeekLayout::kMondayFirst, 6, "0/7/5", "5/2/0"},
      // November 2026: 30 days from a Sunday to a Monday.
      {2026, 11, WeekLayout::kMondayFirst, 6, "0/1/6", "5/2/0"},
  };
  for (const MonthCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) +
                 (c.layout == WeekLayout::kSundayFirst ? " Sunday first" : " Monday first"));
    const MonthLayout layout(c.year, c.month, c.layout);
    EXPECT_EQ(layout.rows(), c.rows);
    EXPECT_EQ(Where(layout.Cell(1)), c.first);
    EXPECT_EQ(Where(layout.Cell(layout.days())), c.last);
  }
}

TEST(MonthLayout, GridHoldsEachDayWhereCellSaysAndNothingElse) {
  for (WeekLayout kind : {WeekLayout::kSundayFirst, WeekLayout::kMondayFirst}) {
    const MonthLayout layout(2024, 9, kind);
    std::vector<std::string> texts;
    for (int d = 1; d <= layout.days(); ++d) texts.push_back(d == 2 ? "" : std::to_string(d));
    const Variant grid = layout.Grid(texts);
    const SafeArray& a = *grid.array();
    EXPECT_EQ(a.bound(1), (Bound{0, 5}));
    EXPECT_EQ(a.bound(2), (Bound{0, kind == WeekLayout::kSundayFirst ? 8 : 7}));
    int filled = 0;
    for (int32_t r = 0; r <= 5; ++r) {
      for (int32_t w = 0; w <= a.bound(2).upper; ++w) filled += a.at({r, w}).is_empty() ? 0 : 1;
    }
    EXPECT_EQ(filled, 30);
    for (int d = 1; d <= layout.days(); ++d) {
      const MonthCell c = layout.Cell(d);
      EXPECT_EQ(GridCell(grid, c.row, c.weekday), Variant::Text(texts[d - 1])) << d;
    }
  }
}

TEST(MonthLayout, NoSuchMonthIsRefused) {
  EXPECT_THROW(MonthLayout(2024, 13, WeekLayout::kSundayFirst), AutomationError);
}

// The grid made by taking the texts over is the grid made from copies, for
// every month of three years (each weekday begins a month, leap and common
// Februaries) in both layouts, and DayAt finds each day where Cell puts it.
TEST(MonthLayout, TakingTheTextsOverMakesTheSameGrid) {
  for (int year : {2023, 2024, 2026}) {
    for (int month = 1; month <= 12; ++month) {
      for (WeekLayout layout : {WeekLayout::kSundayFirst, WeekLayout::kMondayFirst}) {
        const MonthLayout m(year, month, layout);
        std::vector<std::string> texts;
        for (int d = 1; d <= m.days(); ++d)
          texts.push_back(d % 5 ? "day " + std::to_string(d) : "");
        const std::string copied = GridString(m.Grid(std::span<const std::string>(texts)));
        EXPECT_EQ(GridString(m.Grid(std::move(texts))), copied) << year << "-" << month;
        for (int d = 1; d <= m.days(); ++d) {
          EXPECT_EQ(m.DayAt(m.Cell(d).row, m.Cell(d).weekday), d) << year << "-" << month;
        }
        EXPECT_EQ(m.DayAt(0, 0), 0);
        EXPECT_EQ(m.DayAt(5, 8), 0);
      }
    }
  }
}

}  // namespace
}  // namespace korimba::testing

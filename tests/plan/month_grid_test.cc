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

}  // namespace
}  // namespace korimba::testing

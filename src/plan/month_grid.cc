#include "plan/month_grid.h"

#include <optional>

#include "frame/date.h"
#include "frame/error.h"
#include "frame/grid.h"
#include "frame/value_ops.h"

namespace korimba {

MonthLayout::MonthLayout(int year, int month, WeekLayout layout) : layout_(layout) {
  std::optional<Date> first = MakeDate({.year = year, .month = month, .day = 1});
  if (!first)
    ThrowInvalidCall("no such month: " + std::to_string(year) + "-" + std::to_string(month));
  days_ = DaysInMonth(year, month);
  first_weekday_ = WeekdayOf(*first, FirstDay::kSunday);
  // A Sunday-first row starts on Sunday (1), a Monday-first row on Monday (2).
  first_column_ =
      layout_ == WeekLayout::kSundayFirst ? first_weekday_ - 1 : (first_weekday_ + 5) % 7;
}

MonthCell MonthLayout::Cell(int day) const {
  const int offset = first_column_ + day - 1;
  return MonthCell{
      .row = offset / 7, .weekday = (first_weekday_ - 1 + day - 1) % 7 + 1, .column = offset % 7};
}

Variant MonthLayout::Grid(std::span<const std::string> day_texts) const {
  Variant grid = MakeGrid(kWeekRows, layout_ == WeekLayout::kSundayFirst ? 9 : 8);
  int day = 1;
  for (const std::string& text : day_texts) {
    const MonthCell cell = Cell(day++);
    GridCell(grid, cell.row, cell.weekday) = Variant::Text(text);
  }
  return grid;
}

}  // namespace korimba

#include "plan/month_grid.h"

#include <optional>
#include <utility>

#include "frame/date.h"
#include "frame/error.h"
#include "frame/grid.h"
#include "frame/safe_array.h"
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

Variant MonthLayout::Grid(std::vector<std::string>&& day_texts) const {
  // The cells are made in storage order (the first index fastest), each
  // once: a day's text moved in where a day falls, Empty elsewhere.
  const int columns = layout_ == WeekLayout::kSundayFirst ? 9 : 8;
  std::vector<Variant> cells;
  cells.reserve(static_cast<size_t>(kWeekRows * columns));
  for (int weekday = 0; weekday < columns; ++weekday) {
    for (int row = 0; row < kWeekRows; ++row) {
      const int day = DayAt(row, weekday);
      if (day >= 1 && day <= static_cast<int>(day_texts.size())) {
        cells.push_back(Variant::Text(std::move(day_texts[static_cast<size_t>(day - 1)])));
      } else {
        cells.emplace_back();
      }
    }
  }
  return Variant::Array(std::make_shared<SafeArray>(
      std::vector<Bound>{{0, kWeekRows - 1}, {0, columns - 1}}, std::move(cells)));
}

int MonthLayout::DayAt(int row, int weekday) const {
  if (weekday < 1 || weekday > 7) return 0;
  // The inverse of Cell: the place of the weekday in its row, then the day.
  const int column = layout_ == WeekLayout::kSundayFirst ? weekday - 1 : (weekday + 5) % 7;
  const int day = row * 7 + column - first_column_ + 1;
  return day >= 1 && day <= days_ ? day : 0;
}

}  // namespace korimba

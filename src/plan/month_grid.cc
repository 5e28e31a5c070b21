#include "plan/month_grid.h"

#include <optional>

#include "frame/date.h"
#include "frame/error.h"
#include "frame/grid.h"
#include "frame/value_ops.h"

namespace korimba {

Variant LayOutMonth(int year, int month, std::span<const std::string> day_texts,
                    WeekLayout layout) {
  const bool sunday_first = layout == WeekLayout::kSundayFirst;
  Variant grid = MakeGrid(6, sunday_first ? 9 : 8);
  std::optional<Date> first = MakeDate({.year = year, .month = month, .day = 1});
  if (!first)
    ThrowInvalidCall("no such month: " + std::to_string(year) + "-" + std::to_string(month));
  // A week row ends after Saturday (7) or after Sunday (1).
  const int last_of_row = sunday_first ? 7 : 1;
  int weekday = WeekdayOf(*first, FirstDay::kSunday);
  int row = 0;
  for (const std::string& text : day_texts) {
    GridCell(grid, row, weekday) = Variant::Text(text);
    if (weekday == last_of_row) ++row;
    weekday = weekday % 7 + 1;
  }
  return grid;
}

}  // namespace korimba

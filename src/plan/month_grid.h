// MonthLayout is the week-row rule of the month grid that both month views
// return and the calendar page reads: six week rows (first index 0..5), the
// weekday number as second index (1 = Sunday ... 7 = Saturday), week row 0
// holding the 1st. A day's cell holds its text as a string (possibly empty);
// every other cell stays Empty, so a page tells days from blanks by kind.
//  - kSundayFirst: bounds (0..5, 0..8), a row runs Sunday to Saturday.
//  - kMondayFirst: bounds (0..5, 0..7), a row runs Monday to Saturday in
//    columns 2..7 and ends with its Sunday in column 1.
// A plain value; any thread.
#ifndef KORIMBA_PLAN_MONTH_GRID_H_
#define KORIMBA_PLAN_MONTH_GRID_H_

#include <span>
#include <string>
#include <vector>

#include "frame/variant.h"

namespace korimba {

enum class WeekLayout { kSundayFirst, kMondayFirst };

// Where one day of the month lies.
struct MonthCell {
  int row;      // week row, 0..5: the grid's first index
  int weekday;  // 1 = Sunday ... 7 = Saturday: the grid's second index
  int column;   // 0..6, the day's place in its week row as the row runs
};

class MonthLayout {
 public:
  static constexpr int kWeekRows = 6;

  // InvalidCall for a month that does not exist.
  MonthLayout(int year, int month, WeekLayout layout);

  int days() const { return days_; }
  // The week rows the month's days take (4 to 6).
  int rows() const { return Cell(days_).row + 1; }
  // Day `day` (1..days()).
  MonthCell Cell(int day) const;

  // The month grid with `day_texts[i]` as the text of day i + 1; there is
  // one text per day of the month.
  Variant Grid(std::span<const std::string> day_texts) const;
  // The same, taking the texts over instead of copying them.
  Variant Grid(std::vector<std::string>&& day_texts) const;
  // The day at (`row`, `weekday`), or 0 where no day of the month falls.
  int DayAt(int row, int weekday) const;

 private:
  WeekLayout layout_;
  int days_;
  int first_weekday_;  // of the 1st, 1 = Sunday
  int first_column_;   // of the 1st in its week row
};

}  // namespace korimba

#endif  // KORIMBA_PLAN_MONTH_GRID_H_

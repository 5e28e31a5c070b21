// LayOutMonth places one text per day of a month into the fixed-size month
// grid that both month views return: six week rows (first index 0..5), the
// weekday number as second index (1 = Sunday ... 7 = Saturday), week row 0
// holding the 1st. A day's cell holds its text as a string (possibly empty);
// every other cell stays Empty, so a page tells days from blanks by kind.
//  - kSundayFirst: bounds (0..5, 0..8), a row runs Sunday to Saturday.
//  - kMondayFirst: bounds (0..5, 0..7), a row runs Monday to Saturday in
//    columns 2..7 and ends with its Sunday in column 1.
// Free function; any thread.
#ifndef KORIMBA_PLAN_MONTH_GRID_H_
#define KORIMBA_PLAN_MONTH_GRID_H_

#include <span>
#include <string>

#include "frame/variant.h"

namespace korimba {

enum class WeekLayout { kSundayFirst, kMondayFirst };

// `day_texts[i]` is the text of day i + 1; there is one per day of the month.
Variant LayOutMonth(int year, int month, std::span<const std::string> day_texts, WeekLayout layout);

}  // namespace korimba

#endif  // KORIMBA_PLAN_MONTH_GRID_H_

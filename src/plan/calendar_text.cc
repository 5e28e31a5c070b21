#include "plan/calendar_text.h"

#include "frame/value_ops.h"

namespace korimba {

std::string DayText(int year, int month, int day) {
  return std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day);
}

std::string DayText(Date date) { return DayText(YearOf(date), MonthOf(date), DayOf(date)); }

}  // namespace korimba

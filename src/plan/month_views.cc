// The two month views. GetMonthPlan spreads every plan that overlaps the
// month over the days it covers and joins each day's contents with "<br>";
// GetMonthPlan11 takes only the plans lying wholly inside the month (in
// calendar days) and shows the place of each day's last plan.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "frame/date.h"
#include "frame/error.h"
#include "frame/grid.h"
#include "frame/record_set.h"
#include "frame/statement.h"
#include "frame/value_ops.h"
#include "plan/calendar_text.h"
#include "plan/month_grid.h"
#include "plan/plan.h"

namespace korimba {
namespace {

// A day shows the contents of its first ten plans; later ones are left out.
constexpr size_t kShownPerDay = 10;

struct Month {
  int year;
  int month;
  int days;  // day number of the last day

  explicit Month(const Variant& any_date) {
    const Date d = ToDate(any_date);
    year = YearOf(d);
    month = MonthOf(d);
    days = DaysInMonth(year, month);
  }
  bool Contains(Date d) const {
    const CivilDateTime parts = SplitDate(d);  // one split for both parts
    return parts.year == year && parts.month == month;
  }
  Variant FirstDayText() const { return Variant::Text(DayText(year, month, 1)); }
  Date Day(int day, int hour = 0, int minute = 0, int second = 0) const {
    return *MakeDate({.year = year,
                      .month = month,
                      .day = day,
                      .hour = hour,
                      .minute = minute,
                      .second = second});
  }
};

void CheckDay(int day, const Month& m) {
  if (day < 1 || day > m.days) {
    ThrowSubscript("day " + std::to_string(day) + " is not a day of " +
                   DayText(m.year, m.month, 1) + "'s month");
  }
}

// Non-empty contents joined in slot order with one "<br>" between neighbours.
std::string JoinDay(const std::vector<const std::string*>& slots) {
  std::string text;
  for (size_t k = 0; k < slots.size() && k < kShownPerDay; ++k) {
    const std::string& slot = *slots[k];
    if (text.empty()) {
      text = slot;
    } else if (!slot.empty()) {
      text += "<br>";
      text += slot;
    }
  }
  return text;
}

}  // namespace

Variant Plan::GetMonthPlan(const Variant& person_id, const Variant& date) {
  const Month m(date);
  const Variant first = m.FirstDayText();
  // The upper bound is the end of the last day, so that plans beginning or
  // ending on the last day after midnight are selected.
  // Written out once: the statement names it six times.
  const Variant last = Variant::Text(TextForm(Variant::FromDate(m.Day(m.days, 23, 59, 59))));

  StatementBuilder sql;
  sql << Lit{"SELECT PlanID, PersonID, PlanBeginTime, DAY(PlanBeginTime) AS BeginDay,  "}
      << Lit{"      DAY(PlanEndTime) AS EndDay, PlanContent, PlanEndTime "}
      << Lit{"From DATA_Plan "} << Lit{"WHERE (((PlanBeginTime >= '"} << Quoted{first}
      << Lit{"') AND (PlanEndTime <= '"} << Quoted{last} << Lit{"')) OR "}
      << Lit{"      ((PlanBeginTime >= '"} << Quoted{first} << Lit{"') AND (PlanEndTime > '"}
      << Quoted{last} << Lit{"') AND "} << Lit{"      (PlanBeginTime <= '"} << Quoted{last}
      << Lit{"')) OR "} << Lit{"      ((PlanBeginTime < '"} << Quoted{first}
      << Lit{"') AND (PlanEndTime > '"} << Quoted{last} << Lit{"')) OR "}
      << Lit{"      ((PlanBeginTime < '"} << Quoted{first} << Lit{"') AND (PlanEndTime >= '"}
      << Quoted{first} << Lit{"') AND "} << Lit{"      (PlanEndTime <= '"} << Quoted{last}
      << Lit{"'))) AND ((PersonID = "} << Number{person_id} << Lit{")) "}
      << Lit{"ORDER BY PlanBeginTime"};
  RecordSet rs = RecordSet::Query(conn(), sql.text());
  const int32_t count = rs.RecordCount();
  const Variant rows = RowSetOrOneCell(std::move(rs));
  // The fields of the SELECT list above.
  enum : int32_t { kPlanId, kPersonId, kBegin, kBeginDay, kEndDay, kContent, kEnd };

  // Slot k of day d holds the content of the (k+1)-th plan, in begin-time
  // order, covering day d: each plan's text is made once and the days it
  // covers point at it.
  std::vector<std::string> contents(static_cast<size_t>(count));
  std::vector<std::vector<const std::string*>> slots(static_cast<size_t>(m.days) + 1);
  for (int32_t r = 0; r < count; ++r) {
    // A begin or end outside the viewed month (its year included) spreads
    // the plan to the month's first or last day.
    const int b =
        m.Contains(ToDate(GridCell(rows, kBegin, r))) ? ToI2(GridCell(rows, kBeginDay, r)) : 1;
    const int e =
        m.Contains(ToDate(GridCell(rows, kEnd, r))) ? ToI2(GridCell(rows, kEndDay, r)) : m.days;
    // A Null content counts as the empty text.
    const std::string& content = contents[static_cast<size_t>(r)] =
        TextForm(GridCell(rows, kContent, r));
    for (int d = b; d <= e; ++d) {
      CheckDay(d, m);
      std::vector<const std::string*>& day = slots[static_cast<size_t>(d)];
      if (day.size() < kShownPerDay) day.push_back(&content);
    }
  }

  std::vector<std::string> day_texts;
  day_texts.reserve(static_cast<size_t>(m.days));
  for (int d = 1; d <= m.days; ++d) day_texts.push_back(JoinDay(slots[static_cast<size_t>(d)]));
  return MonthLayout(m.year, m.month, WeekLayout::kSundayFirst).Grid(std::move(day_texts));
}

Variant Plan::GetMonthPlan11(const Variant& person_id, const Variant& date) {
  const Month m(date);
  const Variant first = m.FirstDayText();
  // The 28th as the text "yyyy-m-28" when it is the last day (a common
  // February), the last day as a date at midnight otherwise; DateDiff counts
  // whole days, so a plan ending at any hour of the last day is included.
  const Variant last =
      m.days == 28 ? Variant::Text(DayText(m.year, m.month, 28)) : Variant::FromDate(m.Day(m.days));

  StatementBuilder sql;
  sql << Lit{"select PLanID,PersonID,PlanContent,PlanPlace,PlanBeginTime,PlanEndTime from "
             "Data_Plan where PersonID= "}
      << Number{person_id} << Lit{" and DateDiff(dd,PlanBeginTime,'"} << Quoted{first}
      << Lit{"' ) <=0 and datediff(dd,PlanEndTime,'"} << Quoted{last}
      << Lit{"'  )>=0 order by PlanBeginTime"};
  RecordSet rs = RecordSet::Query(conn(), sql.text());
  const int32_t count = rs.RecordCount();
  const Variant rows = RowSetOrOneCell(std::move(rs));
  // The fields of the SELECT list above.
  enum : int32_t { kPlanId, kPersonId, kContent, kPlace, kBegin, kEnd };

  // A later plan replaces the place of an earlier one on the days it covers.
  std::vector<std::string> places(static_cast<size_t>(m.days));
  for (int32_t r = 0; r < count; ++r) {
    const int b = DayOf(ToDate(GridCell(rows, kBegin, r)));
    const int e = DayOf(ToDate(GridCell(rows, kEnd, r)));
    // A Null place counts as the empty text.
    const std::string place = TextForm(GridCell(rows, kPlace, r));
    for (int d = b; d <= e; ++d) {
      CheckDay(d, m);
      places[static_cast<size_t>(d - 1)] = place;
    }
  }
  return MonthLayout(m.year, m.month, WeekLayout::kMondayFirst).Grid(std::move(places));
}

}  // namespace korimba

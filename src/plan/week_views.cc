// The week and day views: a person's plans that begin or end in the
// Monday-to-Sunday week of a date, and the plans in progress at a moment
// (their contents joined, or every column), plus YY's fixed array.
#include <memory>
#include <optional>
#include <string>

#include "frame/date.h"
#include "frame/grid.h"
#include "frame/record_set.h"
#include "frame/safe_array.h"
#include "frame/statement.h"
#include "frame/value_ops.h"
#include "plan/calendar_text.h"
#include "plan/plan.h"

namespace korimba {

Variant Plan::GetWeekPlan11(const Variant& person_id, const Variant& date) {
  const Date d = ToDate(date);
  // Weeks run Monday to Sunday; a Sunday belongs to the week it ends.
  const int weekday = WeekdayOf(d, FirstDay::kSunday);
  const Date monday = DateOnly(AddDays(d, -(weekday == 1 ? 6 : weekday - 2)));
  const Variant monday_text = Variant::Text(DayText(monday));
  // The end of the Sunday, so that plans on the Sunday itself are returned.
  CivilDateTime sunday_end = SplitDate(AddDays(monday, 6));
  sunday_end.hour = 23;
  sunday_end.minute = 59;
  sunday_end.second = 59;
  const Variant sunday = Variant::FromDate(*MakeDate(sunday_end));

  StatementBuilder sql;
  sql << Lit{"SELECT PlanBeginTime,PlanEndTime,PlanContent FROM data_Plan WHERE  (personID = "}
      << Number{person_id} << Lit{") AND ((PlanBeginTime BETWEEN '"} << Quoted{monday_text}
      << Lit{"'AND '"} << Quoted{sunday} << Lit{"' ) OR (PlanEndTime BETWEEN '"}
      << Quoted{monday_text} << Lit{"' AND '"} << Quoted{sunday}
      << Lit{"')) ORDER BY PlanBeginTime"};
  return RowSetOrOneCell(RecordSet::Query(conn(), sql.text()));
}

Variant Plan::GetWeekPlan(const Variant& person_id, const Variant& date) {
  StatementBuilder sql;
  sql << Lit{"SELECT PlanContent "} << Lit{"From DATA_Plan  "} << Lit{"WHERE (PlanBeginTime <= '"}
      << Quoted{date} << Lit{"') AND (PlanEndTime >= '"} << Quoted{date} << Lit{"') AND "}
      << Lit{"      (PersonID = "} << Number{person_id} << Lit{") "}
      << Lit{"ORDER BY PlanBeginTime "};
  RecordSet rs = RecordSet::Query(conn(), sql.text());
  // Empty when no plan is in progress. While the joined text is still empty
  // the next content replaces it; once it is not, every further content
  // follows a "<br>". A Null content counts as the empty text, so the result
  // never begins with "<br>".
  std::optional<std::string> joined;
  for (; !rs.Eof(); rs.MoveNext()) {
    std::string content = TextForm(rs.Value("PlanContent"));
    if (!joined || joined->empty()) {
      joined = std::move(content);
    } else {
      *joined += "<br>";
      *joined += content;
    }
  }
  rs.Close();
  return joined ? Variant::Text(std::move(*joined)) : Variant();
}

Variant Plan::GetDayPlan(const Variant& person_id, const Variant& date) {
  StatementBuilder sql;
  sql << Lit{"SELECT * FROM DATA_Plan WHERE (PlanBeginTime <= '"} << Quoted{date}
      << Lit{"') AND (PlanEndTime >= '"} << Quoted{date} << Lit{"') AND PersonID = "}
      << Number{person_id} << Lit{" ORDER BY PlanBeginTime"};
  return RowSetOrOneCell(RecordSet::Query(conn(), sql.text()));
}

Variant Plan::YY() const {
  auto values = std::make_shared<SafeArray>(std::vector<Bound>{{0, 10}});
  for (int16_t i = 0; i <= 9; ++i) values->at({i}) = Variant::I2(i);
  return Variant::Array(std::move(values));
}

}  // namespace korimba

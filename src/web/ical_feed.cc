#include "web/ical_feed.h"

#include <libical/ical.h>

#include <memory>
#include <stdexcept>

#include "frame/statement.h"
#include "frame/value_ops.h"

namespace korimba::web {
namespace {

struct ComponentFree {
  void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

icaltimetype Utc(Date local) {
  return icaltime_from_timet_with_zone(LocalToUnix(local), 0, icaltimezone_get_utc_timezone());
}

void AddX(icalcomponent* component, const char* name, const std::string& value) {
  icalproperty* property = icalproperty_new_x(value.c_str());
  icalproperty_set_x_name(property, name);
  icalcomponent_add_property(component, property);
}

// A calendar shows the summary in its grid: the first line that holds text.
std::string Summary(const std::string& content) {
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find_first_of("\r\n", start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (line.find_first_not_of(" \t") != std::string::npos) return line;
    start = end + 1;
  }
  return content;
}

}  // namespace

std::optional<CalendarPlan> CalendarPlanOf(const Variant& id, const Variant& begin,
                                           const Variant& end, const Variant& alert,
                                           const Variant& content, const Variant& place) {
  if (!id.is_number() || begin.date() == nullptr) return std::nullopt;
  CalendarPlan plan;
  plan.id = ToI4(id);
  plan.begin = *begin.date();
  plan.end = end.date() != nullptr && TimeLineDays(*end.date()) >= TimeLineDays(plan.begin)
                 ? *end.date()
                 : plan.begin;
  if (alert.date() != nullptr) plan.alert = *alert.date();
  if (!content.is_null() && !content.is_empty()) plan.content = TextForm(content);
  if (!place.is_null() && !place.is_empty()) plan.place = TextForm(place);
  return plan;
}

std::vector<CalendarPlan> ReadPersonCalendar(Connection& conn, int32_t person) {
  StatementBuilder query;
  query << Lit{"SELECT PlanID, PlanBeginTime, PlanEndTime, PlanAlertTime, PlanContent, PlanPlace "
               "FROM DATA_Plan WHERE PersonID = "}
        << Int{person} << Lit{" ORDER BY PlanBeginTime, PlanID"};
  ResultTable table = conn.Execute(query.text());
  std::vector<CalendarPlan> plans;
  for (size_t r = 0; r < table.row_count(); ++r) {
    if (auto plan = CalendarPlanOf(table.at(r, 0), table.at(r, 1), table.at(r, 2), table.at(r, 3),
                                   table.at(r, 4), table.at(r, 5))) {
      plans.push_back(std::move(*plan));
    }
  }
  return plans;
}

std::time_t LocalToUnix(Date local) {
  const CivilDateTime p = SplitDate(local);
  std::tm tm{};
  tm.tm_year = p.year - 1900;
  tm.tm_mon = p.month - 1;
  tm.tm_mday = p.day;
  tm.tm_hour = p.hour;
  tm.tm_min = p.minute;
  tm.tm_sec = p.second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

std::string CalendarText(std::string_view name, std::string_view office_id,
                         const std::vector<CalendarPlan>& plans, Date now) {
  Component calendar(icalcomponent_new_vcalendar());
  icalcomponent* cal = calendar.get();
  icalcomponent_add_property(cal, icalproperty_new_version("2.0"));
  icalcomponent_add_property(cal, icalproperty_new_prodid("-//Korimba//Office plans//ZH"));
  icalcomponent_add_property(cal, icalproperty_new_calscale("GREGORIAN"));
  icalcomponent_add_property(cal, icalproperty_new_method(ICAL_METHOD_PUBLISH));
  AddX(cal, "X-WR-CALNAME", std::string(name));
  const icaltimetype stamp = Utc(now);
  for (const CalendarPlan& plan : plans) {
    icalcomponent* event = icalcomponent_new_vevent();
    const std::string uid =
        "plan-" + std::to_string(plan.id) + "-" + std::string(office_id) + "@korimba";
    const std::string summary = Summary(plan.content);
    icalcomponent_add_property(event, icalproperty_new_uid(uid.c_str()));
    icalcomponent_add_property(event, icalproperty_new_dtstamp(stamp));
    icalcomponent_add_property(event, icalproperty_new_dtstart(Utc(plan.begin)));
    icalcomponent_add_property(event, icalproperty_new_dtend(Utc(plan.end)));
    icalcomponent_add_property(event, icalproperty_new_summary(summary.c_str()));
    if (summary != plan.content) {
      icalcomponent_add_property(event, icalproperty_new_description(plan.content.c_str()));
    }
    if (!plan.place.empty()) {
      icalcomponent_add_property(event, icalproperty_new_location(plan.place.c_str()));
    }
    if (plan.alert) {
      icalcomponent* alarm = icalcomponent_new_valarm();
      icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
      icaltriggertype trigger{};
      trigger.time = Utc(*plan.alert);
      trigger.duration = icaldurationtype_null_duration();
      icalproperty* when = icalproperty_new_trigger(trigger);
      icalproperty_add_parameter(when, icalparameter_new_value(ICAL_VALUE_DATETIME));
      icalcomponent_add_property(alarm, when);
      icalcomponent_add_property(alarm, icalproperty_new_description(summary.c_str()));
      icalcomponent_add_component(event, alarm);
    }
    icalcomponent_add_component(cal, event);
  }
  char* text = icalcomponent_as_ical_string_r(cal);
  if (text == nullptr) throw std::runtime_error("the calendar could not be written");
  std::string out(text);
  icalmemory_free_buffer(text);
  return out;
}

}  // namespace korimba::web

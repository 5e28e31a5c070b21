// The person's plans as an iCalendar (RFC 5545) text, for calendar
// subscriptions and one-plan downloads. The text is made by libical, so its
// escaping (commas, semicolons, backslashes, line breaks) and its line
// folding are the library's. Plans keep their times in the server's local
// time; each is written as the UTC moment it names, so a phone in any time
// zone shows it at the right hour. Free functions and plain values; any
// thread (the reading on the thread that holds the connection).
#ifndef KORIMBA_WEB_ICAL_FEED_H_
#define KORIMBA_WEB_ICAL_FEED_H_

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/connection.h"
#include "frame/date.h"
#include "frame/variant.h"

namespace korimba::web {

struct CalendarPlan {
  int32_t id = 0;
  Date begin;
  Date end;
  std::optional<Date> alert;
  std::string content;
  std::string place;
};

// A plan from its cells (as DATA_Plan holds them); nullopt when it has no
// id or no begin time. An end before the beginning is taken as the
// beginning.
std::optional<CalendarPlan> CalendarPlanOf(const Variant& id, const Variant& begin,
                                           const Variant& end, const Variant& alert,
                                           const Variant& content, const Variant& place);

// Every plan of `person`, by begin time then id, through one statement.
std::vector<CalendarPlan> ReadPersonCalendar(Connection& conn, int32_t person);

// A local time of the server as seconds since the epoch (as mktime reads
// it, so daylight-saving rules of the server's zone apply).
std::time_t LocalToUnix(Date local);

// The calendar: its name (X-WR-CALNAME), one VEVENT per plan with a UID made
// of the plan id and `office_id`, a display alarm at the plan's reminder
// time, and DTSTAMP `now` (a local time of the server).
std::string CalendarText(std::string_view name, std::string_view office_id,
                         const std::vector<CalendarPlan>& plans, Date now);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_ICAL_FEED_H_

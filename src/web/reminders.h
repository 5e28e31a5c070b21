// Reminders: a person's plans whose alert time has come and whose end has
// not passed. The home page lists them while they are due; the live-update
// stream announces each one once per session (the session keeps the plan
// ids it has announced, so a second open page or a reconnecting stream does
// not announce it again). Free functions; DueReminders runs on the thread
// that holds the connection, TakeUnannounced on any thread.
#ifndef KORIMBA_WEB_REMINDERS_H_
#define KORIMBA_WEB_REMINDERS_H_

#include <cstdint>
#include <mstch/mstch.hpp>
#include <vector>

#include "frame/connection.h"
#include "frame/date.h"
#include "host/page_host.h"

namespace korimba::web {

struct Reminder {
  int32_t plan_id = 0;
  Variant begin, end, alert, content, place;
};

// The person's plans with PlanAlertTime <= now <= PlanEndTime, by alert
// time (at most a screenful: the oldest first).
std::vector<Reminder> DueReminders(Connection& conn, int32_t person, Date now);

// Of `due`, those `session` has not announced yet; from now on they count as
// announced.
std::vector<Reminder> TakeUnannounced(SessionObject& session, const std::vector<Reminder>& due);

// What a template shows of one reminder: id, content, place, begin, end.
mstch::map ReminderContext(const Reminder& reminder);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_REMINDERS_H_

#include "web/reminders.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>

#include "frame/statement.h"
#include "frame/value_ops.h"
#include "web/values.h"

namespace korimba::web {
namespace {

constexpr int32_t kMaxShown = 20;
// The session value holding the announced plan ids, as " 12 15 " (each id
// between spaces, so that a search for " 1 " cannot match 12).
constexpr std::string_view kAnnouncedValue = "AnnouncedReminders";

// Two pages of one session may ask at once; the check and the note of an
// announcement must be one step.
std::mutex announce_mutex;

// "yyyy-mm-dd hh:mm:ss" always (FormatDate drops the time at midnight),
// so that the comparison with stored times reads the same on every database.
std::string FullDateText(Date date) {
  const CivilDateTime parts = SplitDate(date);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", parts.year, parts.month,
                parts.day, parts.hour, parts.minute, parts.second);
  return text;
}

}  // namespace

std::vector<Reminder> DueReminders(Connection& conn, int32_t person, Date now) {
  const Variant at = Variant::Text(FullDateText(now));
  StatementBuilder sql;
  sql << Lit{"SELECT TOP "} << Int{kMaxShown}
      << Lit{" PlanID, PlanBeginTime, PlanEndTime, PlanAlertTime, PlanContent, PlanPlace FROM "
             "DATA_Plan WHERE PersonID = "}
      << Int{person} << Lit{" AND PlanAlertTime <= '"} << Quoted{at}
      << Lit{"' AND PlanEndTime >= '"} << Quoted{at} << Lit{"' ORDER BY PlanAlertTime, PlanID"};
  ResultTable table = conn.Query(sql.text());
  std::vector<Reminder> out;
  for (size_t row = 0; row < table.row_count(); ++row) {
    if (!table.at(row, 0).is_number()) continue;
    out.push_back(Reminder{ToI4(table.at(row, 0)), table.at(row, 1), table.at(row, 2),
                           table.at(row, 3), table.at(row, 4), table.at(row, 5)});
  }
  return out;
}

std::vector<Reminder> TakeUnannounced(SessionObject& session, const std::vector<Reminder>& due) {
  std::lock_guard<std::mutex> lock(announce_mutex);
  const Variant kept = session.Value(kAnnouncedValue);
  std::string announced = kept.is_text() ? TextForm(kept) : " ";
  std::vector<Reminder> out;
  for (const Reminder& reminder : due) {
    const std::string mark = std::to_string(reminder.plan_id) + " ";
    if (announced.find(" " + mark) != std::string::npos) continue;
    announced += mark;
    out.push_back(reminder);
  }
  if (!out.empty()) session.SetValue(kAnnouncedValue, Variant::Text(announced));
  return out;
}

mstch::map ReminderContext(const Reminder& reminder) {
  return mstch::map{
      {"id", std::to_string(reminder.plan_id)}, {"content", DisplayText(reminder.content)},
      {"place", DisplayText(reminder.place)},   {"has_place", !DisplayText(reminder.place).empty()},
      {"begin", DisplayText(reminder.begin)},   {"end", DisplayText(reminder.end)},
  };
}

}  // namespace korimba::web

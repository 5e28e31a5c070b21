// The calendar of the signed-in person: the month with each day's plan
// contents (GetMonthPlan, Sunday-first weeks) or places (GetMonthPlan11,
// Monday-first weeks), the week (GetWeekPlan11) and the plans in progress at a
// moment (GetWeekPlan, GetDayPlan), each with previous and next links. A day's
// cell shows the component's "<br>" joins as line breaks and escapes
// everything inside each plan's content.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "frame/clock.h"
#include "frame/value_ops.h"
#include "plan/month_grid.h"
#include "plan/plan.h"
#include "web/form_checks.h"
#include "web/html.h"
#include "web/page_queries.h"
#include "web/site.h"
#include "web/values.h"

namespace korimba::web {
namespace {

// Weekday keys of the catalog, Sunday = 1 as WeekdayOf counts.
constexpr std::array<const char*, 7> kSundayFirst = {
    "weekday.1", "weekday.2", "weekday.3", "weekday.4", "weekday.5", "weekday.6", "weekday.7"};
constexpr std::array<const char*, 7> kMondayFirst = {
    "weekday.2", "weekday.3", "weekday.4", "weekday.5", "weekday.6", "weekday.7", "weekday.1"};

// The views reach weeks past the date asked for; the database's dates end
// with 9999.
constexpr int kLastCalendarYear = 9998;

Date DateFrom(PageRequest& page, const std::string& field) {
  std::string text = page.Param(field);
  if (text.empty()) return Today();
  auto date = ParseFormDate(text);
  if (!date) throw BadInput("error.not_a_date", {text});
  CheckStoredDate(page, *date, "date", kLastCalendarYear);
  return *date;
}

Date DayOfMonth(Date any, int day) {
  CivilDateTime p = SplitDate(any);
  return *MakeDate(CivilDateTime{p.year, p.month, day});
}

mstch::array Names(const PageRequest& page, const std::array<const char*, 7>& keys) {
  mstch::array out;
  for (const char* key : keys) out.push_back(page.Text(key));
  return out;
}

// "09:05" of a plan's begin or end.
std::string ClockText(Date date) {
  const CivilDateTime p = SplitDate(date);
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", p.hour, p.minute);
  return text;
}

// A plan behind the month's contents, read once per page: its times on one
// time line (so that days before 1900 compare as they fall) and what a link
// to it shows.
struct DayPlan {
  double begin = 0;
  double end = 0;
  std::string content;
  std::string href;   // the plan's page, escaped for an attribute
  std::string clock;  // "09:05" of its begin
};

// The rows of ReadPersonPlansOverlapping that have both times, in their
// order (by begin).
std::vector<DayPlan> DayPlans(const ResultTable& plans) {
  std::vector<DayPlan> out;
  out.reserve(plans.row_count());
  for (size_t r = 0; r < plans.row_count(); ++r) {
    const auto begin = plans.at(r, OverlapColumn::kBegin).date();
    const auto end = plans.at(r, OverlapColumn::kEnd).date();
    if (!begin || !end) continue;
    out.push_back(DayPlan{
        TimeLineDays(*begin), TimeLineDays(*end), TextForm(plans.at(r, OverlapColumn::kContent)),
        "/plans/view?id=" + HtmlEscape(DisplayText(plans.at(r, OverlapColumn::kPlanId))),
        ClockText(*begin)});
  }
  return out;
}

// One month cell as links: the component's joined contents of the day, each
// matched in order to the next plan of `plans` that covers the day and has
// that content, becomes a link to that plan with its begin time (when it
// begins that day). A content without such a plan stays plain text, so a
// link never leads to a plan other than the one the component listed.
std::string LinkedDayHtml(std::string_view joined, const std::vector<DayPlan>& plans, Date day) {
  static constexpr std::string_view kBreak = "<br>";
  const double first = TimeLineDays(day);
  const double next = TimeLineDays(AddDays(day, 1));
  size_t candidate = 0;
  std::string out;
  size_t start = 0;
  while (true) {
    const size_t at = joined.find(kBreak, start);
    const std::string_view part =
        joined.substr(start, at == std::string_view::npos ? at : at - start);
    bool linked = false;
    for (size_t r = candidate; r < plans.size(); ++r) {
      const DayPlan& plan = plans[r];
      if (plan.begin >= next) break;  // the rest begin later still
      if (plan.end < first || plan.content != part) continue;
      candidate = r + 1;
      linked = true;
      if (part.empty()) break;  // an empty content shows as nothing
      out += "<a class=\"entry\" href=\"";
      out += plan.href;
      out += "\">";
      if (plan.begin >= first) {
        out += "<time>";
        out += plan.clock;
        out += "</time> ";
      }
      out += HtmlEscape(part);
      out += "</a>";
      break;
    }
    if (!linked) out += HtmlEscape(part);
    if (at == std::string_view::npos) break;
    out += "<br>";
    start = at + kBreak.size();
  }
  return out;
}

void MonthPage(PageRequest& page) {
  const Date date = DateFrom(page, "date");
  const bool places = page.Param("places") == "1";
  const CivilDateTime parts = SplitDate(date);
  GridView grid(page.run().Plan(places ? "GetMonthPlan11" : "GetMonthPlan",
                                {page.person(), Variant::FromDate(DateOnly(date))}));
  // Lay the days out as the component did: contents in Sunday-first weeks,
  // places in Monday-first ones.
  const MonthLayout layout(parts.year, parts.month,
                           places ? WeekLayout::kMondayFirst : WeekLayout::kSundayFirst);
  std::array<std::array<mstch::map, 7>, MonthLayout::kWeekRows> weeks{};
  const Date today = Today();
  // The plans behind the contents, for links and times (places show as
  // the component gives them).
  std::vector<DayPlan> plans;
  if (!places) {
    plans = DayPlans(ReadPersonPlansOverlapping(
        page.run().connection(), page.person_id(), DayOfMonth(date, 1),
        *MakeDate(CivilDateTime{parts.year, parts.month, layout.days(), 23, 59, 59})));
  }
  for (int d = 1; d <= layout.days(); ++d) {
    Date day = DayOfMonth(date, d);
    const MonthCell at = layout.Cell(d);
    Variant cell = grid.CellOrEmpty(at.row, at.weekday);
    weeks[at.row][at.column] =
        mstch::map{{"day", std::to_string(d)},
                   {"date", DateParam(day)},
                   {"html", places ? JoinedContentsHtml(DisplayText(cell))
                                   : LinkedDayHtml(DisplayText(cell), plans, day)},
                   {"today", DateOnly(today) == day}};
  }
  mstch::array week_rows;
  for (int r = 0; r < layout.rows(); ++r) {
    mstch::array cells;
    cells.reserve(weeks[r].size());
    for (auto& cell : weeks[r]) {
      if (cell.empty()) cell = mstch::map{{"blank", true}};
      cells.push_back(std::move(cell));
    }
    mstch::map row;
    row.emplace("cells", std::move(cells));
    week_rows.push_back(std::move(row));
  }
  std::string query = places ? "&places=1" : "";
  const Date first = DayOfMonth(date, 1);
  const std::string title = page.catalog().Format(
      "calendar.month_title", {std::to_string(parts.year), std::to_string(parts.month),
                               page.Text("month." + std::to_string(parts.month))});
  mstch::map context{
      {"weekdays", Names(page, places ? kMondayFirst : kSundayFirst)},
      {"week_start", page.Text(places ? "calendar.starts_monday" : "calendar.starts_sunday")},
      {"places", places},
      {"date", DateParam(first)},
      {"prev", DateParam(AddMonths(first, -1)) + query},
      {"next", DateParam(AddMonths(first, 1)) + query},
  };
  context.emplace("weeks", std::move(week_rows));
  page.Page(places ? page.catalog().Format("title.places", {title}) : title, "month", context);
}

void WeekPage(PageRequest& page) {
  const Date date = DateOnly(DateFrom(page, "date"));
  const Date monday = AddDays(date, -((WeekdayOf(date) + 5) % 7));
  const Date sunday = AddDays(monday, 6);
  GridView grid(page.run().Plan("GetWeekPlan11", {page.person(), Variant::FromDate(date)}));
  mstch::array rows;
  if (!grid.IsNoRows() && grid.first_count() >= WeekPlanColumn::kColumns) {
    // Each row the week view lists links to the person's plan of that
    // beginning and content (the first not linked yet), when there is one.
    const ResultTable plans = ReadPersonPlansOverlapping(page.run().connection(), page.person_id(),
                                                         monday, *MakeDate([&] {
                                                           CivilDateTime p = SplitDate(sunday);
                                                           p.hour = 23;
                                                           p.minute = 59;
                                                           p.second = 59;
                                                           return p;
                                                         }()));
    std::vector<bool> used(plans.row_count(), false);
    std::vector<std::string> contents;
    contents.reserve(plans.row_count());
    for (size_t p = 0; p < plans.row_count(); ++p) {
      contents.push_back(DisplayText(plans.at(p, OverlapColumn::kContent)));
    }
    for (int32_t r = 0; r < grid.second_count(); ++r) {
      const Variant begin = grid.at(WeekPlanColumn::kBegin, r);
      const std::string content = DisplayText(grid.at(WeekPlanColumn::kContent, r));
      std::string plan_id;
      for (size_t p = 0; p < plans.row_count() && begin.date(); ++p) {
        const auto plan_begin = plans.at(p, OverlapColumn::kBegin).date();
        if (used[p] || !plan_begin || plan_begin->serial != begin.date()->serial ||
            contents[p] != content) {
          continue;
        }
        used[p] = true;
        plan_id = DisplayText(plans.at(p, OverlapColumn::kPlanId));
        break;
      }
      rows.push_back(mstch::map{
          {"id", plan_id},
          {"begin", DisplayText(begin)},
          {"end", DisplayText(grid.at(WeekPlanColumn::kEnd, r))},
          {"content", content},
          {"day", begin.date() ? page.Text(kSundayFirst[WeekdayOf(*begin.date()) - 1]) : ""},
      });
    }
  }
  page.Page(page.Text("title.week"), "week",
            mstch::map{{"monday", DateParam(monday)},
                       {"sunday", DateParam(sunday)},
                       {"rows", rows},
                       {"none", rows.empty()},
                       {"prev", DateParam(AddDays(monday, -7))},
                       {"next", DateParam(AddDays(monday, 7))},
                       {"month_date", DateParam(monday)}});
}

void MomentPage(PageRequest& page) {
  std::string text = page.Param("at");
  Date at = Now();
  if (!text.empty()) {
    auto parsed = ParseFormDate(text);
    if (!parsed) throw BadInput("error.not_a_moment", {text});
    CheckStoredDate(page, *parsed, "moment", kLastCalendarYear);
    at = *parsed;
  }
  // Whole minutes: the text the statement gets then carries no fraction.
  at = *MakeDate([&] {
    CivilDateTime p = SplitDate(at);
    p.second = 0;
    p.millisecond = 0;
    return p;
  }());
  PageRun& run = page.run();
  const Variant moment = Variant::FromDate(at);
  std::string joined = DisplayText(run.Plan("GetWeekPlan", {page.person(), moment}));
  // GetDayPlan: a row set of every column of DATA_Plan.
  GridView grid(run.Plan("GetDayPlan", {page.person(), moment}));
  mstch::array rows;
  if (!grid.IsNoRows()) {
    for (int32_t r = 0; r < grid.second_count(); ++r) {
      auto cell = [&](int32_t column) { return DisplayText(grid.CellOrEmpty(column, r)); };
      rows.push_back(mstch::map{{"id", cell(PlanColumn::kPlanId)},
                                {"begin", cell(PlanColumn::kBegin)},
                                {"end", cell(PlanColumn::kEnd)},
                                {"content", cell(PlanColumn::kContent)},
                                {"place", cell(PlanColumn::kPlace)}});
    }
  }
  page.Page(page.Text("title.moment"), "moment",
            mstch::map{{"at", DisplayText(moment)},
                       {"at_field", DateTimeParam(at)},
                       {"joined_html", JoinedContentsHtml(joined)},
                       {"has_joined", !joined.empty()},
                       {"rows", rows},
                       {"none", rows.empty()},
                       {"prev", DateTimeParam(AddDays(at, -1))},
                       {"next", DateTimeParam(AddDays(at, 1))},
                       {"week_date", DateParam(at)}});
}

}  // namespace

void RegisterCalendarPages(httplib::Server& server, Site& site) {
  Route(server, site, "GET", "/calendar/month", Access::kSignedIn, MonthPage);
  Route(server, site, "GET", "/calendar/week", Access::kSignedIn, WeekPage);
  Route(server, site, "GET", "/calendar/moment", Access::kSignedIn, MomentPage);
}

}  // namespace korimba::web

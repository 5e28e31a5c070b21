// Plans: the signed-in person's plans page by page, one plan, and adding,
// changing and deleting a plan. The list reads only the page it shows, by
// its own paged query (web/page_queries.h). A plan id from a request is read
// with GetData and acted on only when the plan is the person's own.
#include <algorithm>
#include <iostream>

#include "frame/clock.h"
#include "frame/date.h"
#include "frame/grid.h"
#include "frame/value_ops.h"
#include "plan/plan.h"
#include "web/feed_keys.h"
#include "web/form_checks.h"
#include "web/page_queries.h"
#include "web/sign_in.h"
#include "web/site.h"
#include "web/values.h"

namespace korimba::web {
namespace {

constexpr int32_t kPlansPerPage = 10;

// Row `row` of a built grid of DATA_Plan's columns.
mstch::map PlanContext(const GridView& grid, int32_t row) {
  auto text = [&](int32_t col) { return DisplayText(grid.CellOrEmpty(row, col)); };
  auto date_field = [&](int32_t col) {
    const Variant v = grid.CellOrEmpty(row, col);
    return v.date() ? DateTimeParam(*v.date()) : DisplayText(v);
  };
  const Variant begin = grid.CellOrEmpty(row, PlanColumn::kBegin);
  return mstch::map{
      {"id", text(PlanColumn::kPlanId)},
      {"type", text(PlanColumn::kType)},
      {"class", text(PlanColumn::kClass)},
      {"begin", DisplayText(begin)},
      {"end", text(PlanColumn::kEnd)},
      {"alert", text(PlanColumn::kAlert)},
      {"content", text(PlanColumn::kContent)},
      {"place", text(PlanColumn::kPlace)},
      {"begin_field", date_field(PlanColumn::kBegin)},
      {"end_field", date_field(PlanColumn::kEnd)},
      {"alert_field", date_field(PlanColumn::kAlert)},
      {"month_date", begin.date() ? DateParam(*begin.date()) : std::string()},
  };
}

// The person's own plan of the request's "id" as GetData returns it (row 0
// the names, row 1 the plan); NotFound for others' plans and missing ones.
Variant OwnPlan(PageRequest& page, int32_t* id_out) {
  int32_t id = page.IdParam("id", "plan number");
  Variant data = page.run().Plan("GetData", {Variant::I4(id)});
  GridView grid(data);
  if (grid.first_count() < 2 ||
      DisplayText(grid.CellOrEmpty(1, PlanColumn::kPersonId)) != std::to_string(page.person_id())) {
    throw NotFound("error.no_plan", {std::to_string(id)});
  }
  *id_out = id;
  return data;
}

// Rows of DATA_Plan's columns as a built grid indexed (row, column) from 0,
// the shape PlanContext reads.
Variant RowsAsGrid(const ResultTable& table) {
  const auto rows = static_cast<int32_t>(table.row_count());
  const auto cols = static_cast<int32_t>(table.column_count());
  Variant grid = MakeGrid(rows, cols);
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t c = 0; c < cols; ++c) {
      GridCell(grid, r, c) = table.at(static_cast<size_t>(r), static_cast<size_t>(c));
    }
  }
  return grid;
}

// The person's calendar subscription: the address (with their current
// token) and the same for calendar apps (webcal:); nothing when the server
// keeps no feed keys or cannot read them.
void AddFeed(PageRequest& page, mstch::map& context) {
  FeedKeys* keys = page.site.feed_keys();
  if (keys == nullptr) return;
  std::string token;
  try {
    token = keys->TokenFor(page.person_id());
  } catch (const FeedKeyError& e) {
    std::cerr << "korimba serve: " << e.what() << std::endl;
    return;
  }
  std::string host = page.req.get_header_value("Host");
  if (host.empty()) host = page.req.local_addr + ":" + std::to_string(page.req.local_port);
  const std::string rest = host + std::string(kFeedPath) +
                           "?person=" + std::to_string(page.person_id()) + "&key=" + token;
  context["feed"] = (RequestIsHttps(page.site, page.req) ? "https://" : "http://") + rest;
  context["feed_webcal"] = "webcal://" + rest;
}

void ListPage(PageRequest& page) {
  int32_t wanted = 1;
  if (!page.Param("page").empty()) wanted = page.IdParam("page", "page number");
  PersonPlanPage found =
      ReadPersonPlanPage(page.run().connection(), page.person_id(), wanted, kPlansPerPage);
  if (found.rows.row_count() == 0 && wanted > 1) {
    throw BadInput("error.no_plan_page", {std::to_string(wanted), std::to_string(found.total)});
  }
  GridView grid(RowsAsGrid(found.rows));
  mstch::array rows;
  for (int32_t r = 0; r < grid.first_count(); ++r) rows.push_back(PlanContext(grid, r));
  mstch::map context{{"rows", rows},
                     {"none", rows.empty()},
                     {"page", std::to_string(wanted)},
                     {"pages", std::to_string(std::max<int64_t>(found.pages, 1))},
                     {"total", std::to_string(found.total)},
                     {"has_prev", wanted > 1},
                     {"prev", std::to_string(wanted - 1)},
                     {"has_next", wanted < found.pages},
                     {"next", std::to_string(wanted + 1)}};
  AddFeed(page, context);
  page.Page(page.Text("title.plans"), "plans", context);
}

void ViewPage(PageRequest& page) {
  int32_t id = 0;
  Variant data = OwnPlan(page, &id);
  GridView grid(data);
  page.Page(page.Text("title.plan"), "plan", PlanContext(grid, 1));
}

// Reads and checks the plan form: the values for AddData / UpdateData after
// the person id, in their order.
std::vector<Variant> PlanFields(PageRequest& page) {
  auto number = [&](const std::string& field, std::string_view what) {
    std::string text = page.Param(field);
    if (text.empty()) return Variant::I4(0);
    auto value = ParsePositiveInt(text);
    if (!value && text != "0") throw BadInput("error.whole_number", {page.FieldName(what)});
    return Variant::I4(value.value_or(0));
  };
  auto date = [&](const std::string& field, std::string_view what) {
    std::string text = page.Param(field);
    auto value = ParseFormDate(text);
    if (!value) {
      if (text.empty()) throw BadInput("error.please_give", {page.FieldName(what)});
      throw BadInput("error.not_valid", {text, page.FieldName(what)});
    }
    CheckStoredDate(page, *value, what);
    return *value;
  };
  Variant type = number("type", "kind");
  Variant klass = number("class", "class");
  Date begin = date("begin", "beginning");
  Date end = date("end", "end");
  if (TimeLineDays(end) < TimeLineDays(begin)) throw BadInput("error.plan_ends_first", {});
  Date alert = page.Param("alert").empty() ? begin : date("alert", "reminder time");
  std::string content = page.Param("content");
  if (content.find_first_not_of(" \t\r\n") == std::string::npos) {
    throw BadInput("error.plan_no_content", {});
  }
  CheckLength(page, page.Param("place"), kPlaceChars, "place");
  return {type,
          klass,
          Variant::FromDate(begin),
          Variant::FromDate(end),
          Variant::Text(content),
          Variant::FromDate(alert),
          Variant::Text(page.Param("place"))};
}

// The plan form again with what was posted and why it was refused, so that
// nothing typed is lost.
void RefusedForm(PageRequest& page, const BadInput& e, bool editing, int32_t id) {
  mstch::map context{{"action", std::string(editing ? "/plans/update" : "/plans/add")},
                     {"error", e.In(page.catalog())},
                     {"content", page.Param("content")},
                     {"begin_field", page.Param("begin")},
                     {"end_field", page.Param("end")},
                     {"alert_field", page.Param("alert")},
                     {"place", page.Param("place")},
                     {"type", page.Param("type")},
                     {"class", page.Param("class")}};
  if (editing) {
    context["editing"] = true;
    context["id"] = std::to_string(id);
  }
  page.Page(page.Text(editing ? "title.plan_edit" : "title.plan_new"), "plan_form", context, 400);
}

void NewPage(PageRequest& page) {
  std::string day = page.Param("date");
  auto date = ParseFormDate(day);
  Date start = date ? *date : Today();
  std::string d = DateParam(start);
  page.Page(page.Text("title.plan_new"), "plan_form",
            mstch::map{{"action", std::string("/plans/add")},
                       {"type", std::string("1")},
                       {"class", std::string("1")},
                       {"begin_field", d + "T09:00"},
                       {"end_field", d + "T10:00"},
                       {"alert_field", d + "T08:45"}});
}

void Add(PageRequest& page) {
  std::vector<Variant> fields;
  try {
    fields = PlanFields(page);
  } catch (const BadInput& e) {
    RefusedForm(page, e, false, 0);
    return;
  }
  std::vector<Variant> args{page.person()};
  args.insert(args.end(), fields.begin(), fields.end());
  page.run().Plan("AddData", args);
  page.Redirect(WithNotice("/calendar/month?date=" + DateParam(*fields[2].date()), "saved"));
}

void EditPage(PageRequest& page) {
  int32_t id = 0;
  Variant data = OwnPlan(page, &id);
  GridView grid(data);
  mstch::map context = PlanContext(grid, 1);
  context["action"] = std::string("/plans/update");
  context["editing"] = true;
  page.Page(page.Text("title.plan_edit"), "plan_form", context);
}

void Update(PageRequest& page) {
  int32_t id = 0;
  OwnPlan(page, &id);
  std::vector<Variant> fields;
  try {
    fields = PlanFields(page);
  } catch (const BadInput& e) {
    RefusedForm(page, e, true, id);
    return;
  }
  std::vector<Variant> args{Variant::I4(id), page.person()};
  args.insert(args.end(), fields.begin(), fields.end());
  page.run().Plan("UpdateData", args);
  page.Redirect(WithNotice("/plans/view?id=" + std::to_string(id), "saved"));
}

void Delete(PageRequest& page) {
  int32_t id = 0;
  OwnPlan(page, &id);
  Variant id_value = Variant::I4(id);
  page.run().Plan("DelData", {id_value});
  page.Redirect(WithNotice("/plans", "deleted"));
}

}  // namespace

void RegisterPlanPages(httplib::Server& server, Site& site) {
  Route(server, site, "GET", "/plans", Access::kSignedIn, ListPage);
  Route(server, site, "GET", "/plans/view", Access::kSignedIn, ViewPage);
  Route(server, site, "GET", "/plans/new", Access::kSignedIn, NewPage);
  Route(server, site, "POST", "/plans/add", Access::kSignedIn, Add);
  Route(server, site, "GET", "/plans/edit", Access::kSignedIn, EditPage);
  Route(server, site, "POST", "/plans/update", Access::kSignedIn, Update);
  Route(server, site, "POST", "/plans/delete", Access::kSignedIn, Delete);
}

}  // namespace korimba::web

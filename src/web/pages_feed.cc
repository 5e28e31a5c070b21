// The plans as iCalendar: the subscription feed at its secret address (no
// session: a calendar app fetches it on its own, so the address is the only
// credential, and a wrong one learns nothing and starts nothing), one plan
// as a .ics download, and the renewal of one's subscription address.
#include <iostream>

#include "frame/clock.h"
#include "frame/error.h"
#include "plan/plan.h"
#include "web/account_store.h"
#include "web/feed_keys.h"
#include "web/ical_feed.h"
#include "web/secret_mask.h"
#include "web/site.h"
#include "web/values.h"

namespace korimba::web {
namespace {

constexpr int32_t kMaxPersonId = 32767;

void SetFeedHeaders(httplib::Response& res) {
  res.set_header("Cache-Control", "no-store");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("Referrer-Policy", "no-referrer");
}

// What a plan's UID carries to tell this office's plans from others'.
std::string OfficeIdOf(Site& site) {
  return site.feed_keys() == nullptr ? "office" : site.feed_keys()->OfficeId();
}

void Answer(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text + "\n", "text/plain; charset=utf-8");
}

void Feed(Site& site, const httplib::Request& req, httplib::Response& res) {
  SetFeedHeaders(res);
  const Catalog& texts = Catalog::For(ChooseLanguage(req.get_header_value("Accept-Language")));
  // Every refusal reads alike, so an address cannot be told apart from a
  // person who does not exist.
  auto refuse = [&] { Answer(res, 404, texts.Text("feed.no_such")); };
  FeedKeys* keys = site.feed_keys();
  auto person = ParsePositiveInt(req.get_param_value("person"));
  if (keys == nullptr || !person || *person > kMaxPersonId) return refuse();
  try {
    if (!keys->Matches(*person, req.get_param_value("key"))) return refuse();
    auto lease = site.pool().Acquire();
    Connection& conn = *lease->connection();
    auto name = AccountStore(conn).PersonName(*person);
    if (!name) return refuse();
    std::string text = CalendarText(texts.Format("feed.name", {*name}), OfficeIdOf(site),
                                    ReadPersonCalendar(conn, *person), ComponentClock()->Now());
    res.set_content(std::move(text), "text/calendar; charset=utf-8");
  } catch (const PoolBusy&) {
    res.set_header("Retry-After", "5");
    Answer(res, 503, texts.Text("error.busy"));
  } catch (const FeedKeyError& e) {
    std::cerr << "korimba serve: " << e.what() << std::endl;
    Answer(res, 500, texts.Text("error.internal"));
  } catch (const AutomationError& e) {
    std::cerr << "korimba serve: calendar feed: " << MaskSecrets(e.description()) << std::endl;
    Answer(res, 500, texts.Text("error.internal"));
  }
}

// One of the person's own plans as a calendar of one entry.
void Download(PageRequest& page) {
  int32_t id = page.IdParam("id", "plan number");
  GridView grid(page.run().Plan("GetData", {Variant::I4(id)}));
  auto cell = [&](int32_t column) { return grid.CellOrEmpty(1, column); };
  if (grid.first_count() < 2 ||
      DisplayText(cell(PlanColumn::kPersonId)) != std::to_string(page.person_id())) {
    throw NotFound("error.no_plan", {std::to_string(id)});
  }
  auto plan = CalendarPlanOf(cell(PlanColumn::kPlanId), cell(PlanColumn::kBegin),
                             cell(PlanColumn::kEnd), cell(PlanColumn::kAlert),
                             cell(PlanColumn::kContent), cell(PlanColumn::kPlace));
  if (!plan) throw NotFound("error.no_plan", {std::to_string(id)});
  std::string text = CalendarText(page.catalog().Format("feed.name", {page.person_name()}),
                                  OfficeIdOf(page.site), {*plan}, ComponentClock()->Now());
  SetFeedHeaders(page.res);
  page.res.set_header("Content-Disposition",
                      "attachment; filename=\"plan-" + std::to_string(id) + ".ics\"");
  page.res.set_content(std::move(text), "text/calendar; charset=utf-8");
}

void Renew(PageRequest& page) {
  if (page.site.feed_keys() == nullptr) throw NotFound("error.no_such_page", {});
  try {
    page.site.feed_keys()->Renew(page.person_id());
  } catch (const FeedKeyError& e) {
    // The reason names the server's file: the log has it, the visitor not.
    std::cerr << "korimba serve: " << e.what() << std::endl;
    throw NotDone("error.feed_not_renewed", {});
  }
  page.Redirect(WithNotice("/plans", "renewed") + "#feed");
}

}  // namespace

void RegisterFeedPages(httplib::Server& server, Site& site) {
  server.Get(std::string(kFeedPath), [&site](const httplib::Request& req, httplib::Response& res) {
    Feed(site, req, res);
  });
  Route(server, site, "GET", "/plans/ics", Access::kSignedIn, Download);
  Route(server, site, "POST", "/plans/feed/renew", Access::kSignedIn, Renew);
}

}  // namespace korimba::web

// Sign-in, sign-out, the home page (with the reminders that are due) and the
// on-line list that the home page polls every 5 seconds when it has no live
// stream.
#include "frame/clock.h"
#include "frame/value_ops.h"
#include "message/message.h"
#include "web/online_list.h"
#include "web/page_queries.h"
#include "web/reminders.h"
#include "web/site.h"
#include "web/templates.h"
#include "web/values.h"

namespace korimba::web {
namespace {

void SignInPage(PageRequest& page) {
  mstch::map context;
  mstch::array persons = PersonOptions(page);
  context.emplace("none", persons.empty());
  context.emplace("persons", std::move(persons));
  page.Page(page.Text("title.signin"), "signin", std::move(context));
}

void SignIn(PageRequest& page) {
  int32_t id = page.IdParam("person", "person");
  Variant id_value = Variant::I4(id);
  std::string name = TextForm(page.run().Message("GetPersonName", {id_value}));
  if (name.empty()) throw BadInput("error.no_person", {std::to_string(id)});
  // A fresh session (new id, new token) for the signed-in person, so that a
  // session id known before signing in is worth nothing after it.
  WebSession fresh = page.site.sessions().Create();
  fresh.values->SetValue("PersonID", id_value);
  fresh.values->SetValue("PersonName", Variant::Text(name));
  page.site.sessions().Remove(page.session().id);
  SetSessionCookie(page.res, fresh.id);
  page.Redirect("/");
}

void SignOut(PageRequest& page) {
  page.site.sessions().Remove(page.session().id);
  SetSessionCookie(page.res, "");
  page.Redirect("/signin");
}

void HomePage(PageRequest& page) {
  PageRun& run = page.run();
  // Counted by the database: the received messages themselves are not shown.
  const int64_t unread = UnreadCount(run.connection(), page.person_id());
  mstch::map context{{"unread", std::to_string(unread)}, {"has_unread", unread > 0}};
  Variant oldest = run.Message("noread");
  if (ToI4(oldest) != 0) {
    Variant sender = run.Message("noread2", {oldest});
    context["oldest"] = mstch::map{
        {"id", DisplayText(oldest)},
        {"sender_id", DisplayText(sender)},
        {"sender", TextForm(run.Message("GetPersonName", {sender}))},
    };
  }

  GridView friends(run.Message("GetFriendList"));
  // Rows and lists are moved into the context, never copied: copies of
  // mstch maps cost more than building them.
  mstch::array friend_rows;
  friend_rows.reserve(friends.first_count());
  for (int32_t row = 0; row < friends.first_count(); ++row) {
    if (friends.CellOrEmpty(row, FriendColumn::kPersonId).is_empty()) continue;
    mstch::map friend_row;
    friend_row.emplace("id", DisplayText(friends.at(row, FriendColumn::kPersonId)));
    friend_row.emplace("name", DisplayText(friends.at(row, FriendColumn::kName)));
    friend_row.emplace("count", DisplayText(friends.at(row, FriendColumn::kMessages)));
    friend_rows.emplace_back(std::move(friend_row));
  }
  context.emplace("no_friends", friend_rows.empty());
  context.emplace("friends", std::move(friend_rows));
  context.emplace("online", OnlineContext(run, page.person_id()));
  mstch::array reminders;
  for (const Reminder& reminder :
       DueReminders(run.connection(), page.person_id(), ComponentClock()->Now())) {
    reminders.emplace_back(ReminderContext(reminder));
  }
  context.emplace("has_reminders", !reminders.empty());
  context.emplace("reminders", std::move(reminders));
  context.emplace("persons", PersonOptions(page));
  page.Page(page.Text("title.home"), "home", std::move(context));
}

void OnlineFragment(PageRequest& page) {
  page.res.set_header("Cache-Control", "no-store");
  page.res.set_content(OnlineFragmentHtml(page.run(), page.person_id(), page.language()),
                       "text/html; charset=utf-8");
}

}  // namespace

void RegisterHomePages(httplib::Server& server, Site& site) {
  Route(server, site, "GET", "/signin", Access::kAnyone, SignInPage);
  Route(server, site, "POST", "/signin", Access::kAnyone, SignIn);
  Route(server, site, "POST", "/signout", Access::kAnyone, SignOut);
  Route(server, site, "GET", "/", Access::kSignedIn, HomePage);
  Route(server, site, "GET", "/online", Access::kSignedIn, OnlineFragment);
}

}  // namespace korimba::web

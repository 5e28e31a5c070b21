// Site is the state the HTTP page host shares across requests: the sessions,
// the one Application, the connection pool, the attachments directory and
// the live-update streams.
// PageRequest is one request as a page
// handler sees it: the visitor's session and signed-in person, its form
// parameters, the component objects of the request (PageRun) and the ways to
// answer (a rendered page, an error page, a redirect). Route registers a
// handler behind the common checks: sign-in where the page needs it, the
// per-session form token on every POST, and a readable error page for every
// failure. Site is thread-safe; a PageRequest lives on its request's thread.
#ifndef KORIMBA_WEB_SITE_H_
#define KORIMBA_WEB_SITE_H_

#include <httplib.h>

#include <functional>
#include <memory>
#include <mstch/mstch.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "frame/error.h"
#include "host/page_host.h"
#include "web/catalog.h"
#include "web/connection_pool.h"
#include "web/event_hub.h"
#include "web/feed_keys.h"
#include "web/login_throttle.h"
#include "web/page_runner.h"
#include "web/session_store.h"
#include "web/sign_in.h"

namespace korimba::web {

inline constexpr size_t kMaxUploadBytes = 10 * 1024 * 1024;
inline constexpr std::string_view kSessionCookie = "korimba_session";

class Site {
 public:
  Site(std::unique_ptr<ConnectionPool> pool, std::string work_path,
       std::shared_ptr<const Clock> clock = nullptr);
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;

  SessionKeeper& sessions() { return *sessions_; }
  const std::shared_ptr<HostApplication>& application() const { return application_; }
  // Keeps sessions and the Application elsewhere (Redis, for several nodes)
  // instead of in this process; `problem` says why that store cannot be used
  // ("" when it can), for /healthz. Call before RegisterSite.
  void set_state(std::unique_ptr<SessionKeeper> sessions,
                 std::shared_ptr<HostApplication> application,
                 std::function<std::string()> problem);
  // Why the sessions' store cannot be used, "" when it can (always in memory).
  std::string StateProblem() const { return state_problem_ ? state_problem_() : ""; }
  ConnectionPool& pool() { return *pool_; }
  // The attachments directory, ending with its separator.
  const std::string& work_path() const { return work_path_; }
  // How visitors sign in (pick unless the server sets it before
  // RegisterSite), and the slow-down of failed password sign-ins.
  void set_sign_in(SignInSettings settings) { sign_in_ = std::move(settings); }
  const SignInSettings& sign_in() const { return sign_in_; }
  LoginThrottle& throttle() { return throttle_; }
  // The open live-update streams and the signal that wakes them.
  EventHub& events() { return events_; }
  // The keys of the calendar subscription addresses; without them (nullptr)
  // no page offers a subscription and every feed address answers 404.
  void set_feed_keys(std::shared_ptr<FeedKeys> keys) { feed_keys_ = std::move(keys); }
  FeedKeys* feed_keys() const { return feed_keys_.get(); }

 private:
  std::unique_ptr<ConnectionPool> pool_;
  std::string work_path_;
  std::unique_ptr<SessionKeeper> sessions_;
  std::shared_ptr<HostApplication> application_;
  std::function<std::string()> state_problem_;
  SignInSettings sign_in_;
  LoginThrottle throttle_;
  EventHub events_;
  std::shared_ptr<FeedKeys> feed_keys_;
};

// A failure a page shows the visitor. Made from a catalog key and its
// arguments, it is shown in the page's language (what() holds the English,
// for logs); made from a plain text, it is shown as that text.
class ToldError : public std::runtime_error {
 public:
  explicit ToldError(const std::string& text) : std::runtime_error(text) {}
  explicit ToldError(const char* text) : std::runtime_error(text) {}
  ToldError(std::string key, std::vector<std::string> args);
  std::string In(const Catalog& texts) const;

 private:
  std::string key_;
  std::vector<std::string> args_;
};

// Input a visitor can correct: shown on the page with status 400.
class BadInput : public ToldError {
 public:
  using ToldError::ToldError;
};
// Something the signed-in person may not see or change (or that does not
// exist): shown with status 404, the same for both so as not to tell them
// apart.
class NotFound : public ToldError {
 public:
  using ToldError::ToldError;
};

// A request the server could not carry out, with a message already fit for
// the visitor (what was done and what was not): shown with status 500.
class NotDone : public ToldError {
 public:
  using ToldError::ToldError;
};

class PageRequest {
 public:
  PageRequest(const httplib::Request& req, httplib::Response& res, Site& site,
              std::shared_ptr<const WebSession> session);
  PageRequest(const PageRequest&) = delete;
  PageRequest& operator=(const PageRequest&) = delete;
  ~PageRequest();

  const httplib::Request& req;
  httplib::Response& res;
  Site& site;

  const WebSession& session() const { return *session_; }
  bool signed_in() const { return person_id_ != 0; }
  int32_t person_id() const { return person_id_; }
  const std::string& person_name() const { return person_name_; }
  Variant person() const { return Variant::I4(person_id_); }

  // The page's language: the one chosen on the site and kept in the session,
  // else the browser's Accept-Language choice.
  Language language() const { return language_; }
  const Catalog& catalog() const { return Catalog::For(language_); }
  std::string Text(std::string_view key) const { return catalog().Text(key); }
  // The name of a form field in the page's language: `what` is its English
  // name ("plan number"), looked up as "field.plan_number".
  std::string FieldName(std::string_view what) const;

  // The request's component objects, created on first use.
  PageRun& run();

  // A query or form field ("" when absent).
  std::string Param(const std::string& name) const;
  // A required whole positive number; BadInput naming `what` otherwise.
  int32_t IdParam(const std::string& name, std::string_view what) const;

  // Renders templates/<name>.mustache into the layout; `title` is shown as
  // given (callers look it up in the catalog).
  void Page(std::string_view title, std::string_view name, mstch::map context, int status = 200);
  void Error(int status, std::string_view message);
  void Redirect(const std::string& to);

 private:
  std::shared_ptr<const WebSession> session_;
  int32_t person_id_ = 0;
  std::string person_name_;
  Language language_ = Language::kChinese;
  std::unique_ptr<PageRun> run_;
};

// Gives the visitor the session cookie for `session_id`; an empty id removes
// the cookie. One place for its attributes, so that setting and removing it
// always name the same cookie; `secure` (the visitor came over HTTPS) adds
// Secure.
void SetSessionCookie(httplib::Response& res, std::string_view session_id, bool secure = false);

// An error's description as a visitor may read it: file errors lose the
// server's path (which is logged instead).
std::string VisitorDescription(const AutomationError& e);

// `to` with the notice the next page shows after an action ("sent", "saved",
// "deleted"): the page reads it from its "done" parameter.
std::string WithNotice(std::string to, std::string_view done);

// The catalog lookup templates call as {{#t}}key{{/t}}.
mstch::node CatalogLambda(Language language);

// The session value that keeps the visitor's choice of language.
inline constexpr std::string_view kLanguageValue = "PageLanguage";

// Every person of HR_Person but `exclude`, as {id, name} for choices.
mstch::array PersonOptions(PageRequest& page, int32_t exclude = 0);

enum class Access { kAnyone, kSignedIn };
using PageHandler = std::function<void(PageRequest&)>;

// Registers `handler` for GET or POST `path` (an exact path). POST requests
// must carry the session's form token in the field "token".
void Route(httplib::Server& server, Site& site, std::string_view method, const std::string& path,
           Access access, PageHandler handler);

// One handler file per page group.
void RegisterHomePages(httplib::Server& server, Site& site);
void RegisterMessagePages(httplib::Server& server, Site& site);
void RegisterGroupPages(httplib::Server& server, Site& site);
void RegisterHistoryPages(httplib::Server& server, Site& site);
void RegisterPlanPages(httplib::Server& server, Site& site);
void RegisterFeedPages(httplib::Server& server, Site& site);
void RegisterCalendarPages(httplib::Server& server, Site& site);
void RegisterSearchPages(httplib::Server& server, Site& site);
// All page groups, the static files and the error pages.
void RegisterSite(httplib::Server& server, Site& site);

// The visitor's live session (by the request's cookie), or nullptr.
std::shared_ptr<const WebSession> SessionOf(Site& site, const httplib::Request& req);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_SITE_H_

#include "web/site.h"

#include <iostream>

#include "frame/error.h"
#include "frame/value_ops.h"
#include "host/redis_client.h"
#include "web/access_log.h"
#include "web/http_limits.h"
#include "web/limited_server.h"
#include "web/live_events.h"
#include "web/multipart_form.h"
#include "web/secret_mask.h"
#include "web/sign_in.h"
#include "web/static_files.h"
#include "web/templates.h"
#include "web/values.h"

namespace korimba::web {
namespace {

std::string CookieValue(const httplib::Request& req, std::string_view name) {
  const std::string header = req.get_header_value("Cookie");
  size_t pos = 0;
  while (pos < header.size()) {
    size_t end = header.find(';', pos);
    if (end == std::string::npos) end = header.size();
    std::string_view part(header.data() + pos, end - pos);
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    size_t eq = part.find('=');
    if (eq != std::string_view::npos && part.substr(0, eq) == name) {
      return std::string(part.substr(eq + 1));
    }
    pos = end + 1;
  }
  return "";
}

// Pages load only what this server serves, and no other site may frame them.
void SetPageHeaders(httplib::Response& res) {
  res.set_header("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("Referrer-Policy", "same-origin");
  res.set_header("Cache-Control", "no-store");
}

// The message of an answer httplib makes itself: a limit the server's
// reading hit says which, a url-encoded form has a small limit of its own.
std::string ErrorMessageFor(const httplib::Request& req, httplib::Response& res,
                            const Catalog& texts) {
  if (auto hit = CurrentLimitHit()) {
    res.status = hit->status;
    return hit->In(texts);
  }
  if (res.status == 413 && !req.is_multipart_form_data()) return texts.Text("error.form_too_long");
  if (res.status == 413) return texts.Text("error.upload_too_large");
  if (res.status == 404) return texts.Text("error.no_such_page");
  return texts.Text("error.not_handled");
}

// Where the language switch returns to: a path of this site only, never
// another host ("//host" or "/\\host").
std::string LocalTarget(std::string_view target) {
  if (target.empty() || target.front() != '/' ||
      (target.size() > 1 && (target[1] == '/' || target[1] == '\\'))) {
    return "/";
  }
  return std::string(target);
}

// The page the visitor came from, when it is one of this site's; else home.
std::string BackTarget(const httplib::Request& req) {
  const std::string referer = req.get_header_value("Referer");
  const std::string host = req.get_header_value("Host");
  for (std::string_view scheme : {"http://", "https://"}) {
    const std::string origin = std::string(scheme) + host;
    if (!host.empty() && referer.starts_with(origin) && referer.size() > origin.size() &&
        referer[origin.size()] == '/') {
      return LocalTarget(std::string_view(referer).substr(origin.size()));
    }
  }
  return "/";
}

// What the layout needs besides the visitor: the language, its texts and
// the switch to the other language, which returns to this page.
mstch::map LayoutContext(Language language, std::string title, std::string body,
                         std::string_view target) {
  const Language other = language == Language::kChinese ? Language::kEnglish : Language::kChinese;
  std::string back = httplib::detail::encode_query_param(LocalTarget(target));
  // Emplaced: an initializer list would copy the whole body once more.
  mstch::map layout;
  layout.emplace("title", std::move(title));
  layout.emplace("body", std::move(body));
  layout.emplace("lang", std::string(LanguageTag(language)));
  layout.emplace("t", CatalogLambda(language));
  layout.emplace("other_lang", std::string(LanguageTag(other)));
  layout.emplace("other_lang_name", Catalog::For(other).Text("language.name"));
  layout.emplace("switch_href",
                 "/language?to=" + std::string(LanguageTag(other)) + "&back=" + back);
  return layout;
}

}  // namespace

namespace {

// A request that failed on the server's side: the log gets the whole reason
// (secrets masked) under a short reference, the page shows the reference so
// that the visitor can quote it.
void Failed(PageRequest& page, const std::string& shown, const std::string& logged) {
  const std::string reference = RandomHexId().substr(0, 8);
  std::cerr << "korimba serve: error " << reference << " on " << page.req.method << " "
            << page.req.path << ": " << MaskSecrets(logged) << std::endl;
  page.Error(500, shown + " " + page.catalog().Format("error.reference", {reference}));
}

}  // namespace

std::shared_ptr<const WebSession> SessionOf(Site& site, const httplib::Request& req) {
  std::string id = CookieValue(req, kSessionCookie);
  if (id.empty()) return nullptr;
  return site.sessions().Find(id);
}

ToldError::ToldError(std::string key, std::vector<std::string> args)
    : std::runtime_error(Catalog::For(Language::kEnglish).Format(key, args)),
      key_(std::move(key)),
      args_(std::move(args)) {}

std::string ToldError::In(const Catalog& texts) const {
  return key_.empty() ? std::string(what()) : texts.Format(key_, args_);
}

std::string WithNotice(std::string to, std::string_view done) {
  to += to.find('?') == std::string::npos ? "?done=" : "&done=";
  to += done;
  return to;
}

mstch::node CatalogLambda(Language language) {
  return mstch::lambda{[language](const std::string& key) -> mstch::node {
    return Catalog::For(language).Text(key);
  }};
}

Site::Site(std::unique_ptr<ConnectionPool> pool, std::string work_path,
           std::shared_ptr<const Clock> clock)
    : pool_(std::move(pool)),
      work_path_(std::move(work_path)),
      sessions_(std::make_unique<SessionStore>(clock)),
      application_(std::make_shared<InMemoryApplication>()),
      throttle_(std::move(clock)) {}

void Site::set_state(std::unique_ptr<SessionKeeper> sessions,
                     std::shared_ptr<HostApplication> application,
                     std::function<std::string()> problem) {
  sessions_ = std::move(sessions);
  application_ = std::move(application);
  state_problem_ = std::move(problem);
}

PageRequest::PageRequest(const httplib::Request& req, httplib::Response& res, Site& site,
                         std::shared_ptr<const WebSession> session)
    : req(req), res(res), site(site), session_(std::move(session)) {
  Variant id = session_->values->Value("PersonID");
  if (id.is_number()) {
    person_id_ = ToI4(id);
    person_name_ = TextForm(session_->values->Value("PersonName"));
  }
  Variant chosen = session_->values->Value(std::string(kLanguageValue));
  language_ = chosen.is_text() ? LanguageFromTag(TextForm(chosen))
                               : ChooseLanguage(req.get_header_value("Accept-Language"));
}

PageRequest::~PageRequest() = default;

PageRun& PageRequest::run() {
  if (run_ == nullptr) {
    run_ = std::make_unique<PageRun>(site.application(), session_->values, req.path, site.pool(),
                                     site.work_path());
  }
  return *run_;
}

std::string PageRequest::Param(const std::string& name) const {
  if (req.has_param(name)) return req.get_param_value(name);
  if (req.has_file(name)) return req.get_file_value(name).content;
  return "";
}

std::string PageRequest::FieldName(std::string_view what) const {
  std::string key = "field." + std::string(what);
  for (char& c : key) {
    if (c == ' ' || c == '\'') c = '_';
  }
  std::string name = Text(key);
  return name == key ? std::string(what) : name;
}

int32_t PageRequest::IdParam(const std::string& name, std::string_view what) const {
  std::string text = Param(name);
  if (text.empty()) throw BadInput("error.missing", {FieldName(what)});
  auto id = ParsePositiveInt(text);
  if (!id) throw BadInput("error.not_valid", {text, FieldName(what)});
  return *id;
}

void PageRequest::Page(std::string_view title, std::string_view name, mstch::map context,
                       int status) {
  context["token"] = session_->token;
  context["me_id"] = std::to_string(person_id_);
  context["t"] = CatalogLambda(language_);
  context["time_zone"] = ServerTimeZone();
  std::string body = RenderTemplate(name, context);
  mstch::map layout = LayoutContext(language_, std::string(title), std::move(body), req.target);
  layout["signed_in"] = signed_in();
  layout["person_name"] = person_name_;
  layout["token"] = session_->token;
  layout["pick_banner"] = site.sign_in().mode == AuthMode::kPick;
  // The tab title starts with the unread count, as the live stream keeps it.
  if (signed_in() && status < 400) {
    const int64_t unread = UnreadForTitle(*this).value_or(0);
    layout["title_unread"] = unread > 0;
    layout["unread_total"] = std::to_string(unread);
  }
  // Only the known notices: the parameter is never shown as given.
  const std::string done = req.method == "GET" ? Param("done") : "";
  if (done == "sent" || done == "saved" || done == "deleted" || done == "renewed") {
    layout["notice"] = Text("notice." + done);
  }
  res.status = status;
  SetPageHeaders(res);
  // As set_content does, without copying the page once more.
  res.body = RenderTemplate("layout", layout);
  res.headers.erase("Content-Type");
  res.set_header("Content-Type", "text/html; charset=utf-8");
}

void PageRequest::Error(int status, std::string_view message) {
  // The page run (and its connection) ends before the error page is drawn.
  run_.reset();
  Page(Text("title.not_done"), "error",
       mstch::map{{"message", std::string(message)}, {"back", BackTarget(req)}}, status);
}

void PageRequest::Redirect(const std::string& to) {
  res.status = 303;
  res.set_header("Location", to);
}

std::string VisitorDescription(const AutomationError& e) {
  if (e.number() != kErrPathAccess && e.number() != kErrFileIo) return e.description();
  // File errors name the server's path: that goes to the log, the visitor
  // reads only the system's reason.
  std::cerr << "korimba serve: " << e.description() << std::endl;
  const std::string& text = e.description();
  size_t last = text.rfind(": ");
  std::string reason = last == std::string::npos ? "" : " (" + text.substr(last + 2) + ")";
  return "a file on the server could not be stored or read" + reason + ".";
}

void SetSessionCookie(httplib::Response& res, std::string_view session_id, bool secure) {
  std::string cookie = std::string(kSessionCookie) + "=" + std::string(session_id) +
                       "; Path=/; HttpOnly; SameSite=Lax";
  if (secure) cookie += "; Secure";
  // One cookie only: a session replaced within the request leaves no stale one.
  res.headers.erase("Set-Cookie");
  if (session_id.empty()) cookie += "; Max-Age=0";
  res.set_header("Set-Cookie", cookie);
}

mstch::array PersonOptions(PageRequest& page, int32_t exclude) {
  ResultTable table =
      page.run().Query("SELECT PersonID, PersonName FROM HR_Person ORDER BY PersonID");
  // A whole office's options on every page that offers them: each built in
  // place, the list sized once (growing it copies every map it holds).
  mstch::array out;
  out.reserve(table.row_count());
  for (size_t row = 0; row < table.row_count(); ++row) {
    const Variant& id = table.at(row, 0);
    if (!id.is_number() || (exclude != 0 && ToI4(id) == exclude)) continue;
    mstch::map option;
    option.emplace("id", DisplayText(id));
    option.emplace("name", DisplayText(table.at(row, 1)));
    out.emplace_back(std::move(option));
  }
  return out;
}

void Route(httplib::Server& server, Site& site, std::string_view method, const std::string& path,
           Access access, PageHandler handler) {
  const bool post = method == "POST";
  // The server's own limit on the parts of a form; httplib's is far larger.
  size_t max_parts = static_cast<size_t>(HttpLimits{}.max_form_parts);
  if (auto* limited = dynamic_cast<LimitedServer*>(&server)) {
    max_parts = static_cast<size_t>(limited->limits().max_form_parts);
  }
  auto run = [&site, post, access, handler, max_parts](const httplib::Request& received,
                                                       httplib::Response& res) {
    // A multipart body came raw (KeepMultipartRaw): its parts are read here.
    std::optional<httplib::Request> with_parts;
    if (received.has_header(kRawFormTypeHeader)) {
      const std::string type = received.get_header_value(kRawFormTypeHeader);
      with_parts.emplace(received);
      with_parts->body.clear();
      with_parts->headers.erase(kRawFormTypeHeader);
      with_parts->headers.emplace("Content-Type", type);
      std::string error = "The form could not be read: it names no boundary between its parts.";
      auto boundary = BoundaryOf(type);
      if (!boundary ||
          !ParseMultipart(received.body, *boundary, max_parts, &with_parts->files, &error)) {
        res.status = error.starts_with("The form has too many parts") ? 413 : 400;
        res.set_content(error, "text/plain; charset=utf-8");
        return;
      }
    }
    const httplib::Request& req = with_parts ? *with_parts : received;
    auto session = SessionOf(site, req);
    MarkRequestPerson(received,
                      session != nullptr ? session->values->Value("PersonID") : Variant());
    // A visitor without a session gets a draft, kept (with its cookie) only
    // once a page hands out its form token. So anonymous requests store
    // nothing, and a refused post (cross-site, or after the session ended)
    // leaves the visitor's cookie alone.
    const bool draft = session == nullptr;
    if (draft) session = SessionStore::Draft();
    if (draft && post) {
      PageRequest page(req, res, site, session);
      page.Error(403, page.Text("error.session_ended"));
      return;
    }
    struct KeepDraftIfUsed {
      ~KeepDraftIfUsed() {
        if (draft && res.get_header_value("Set-Cookie").empty() &&
            res.body.find(session->token) != std::string::npos) {
          try {
            site.sessions().Keep(session);
            SetSessionCookie(res, session->id, RequestIsHttps(site, req));
          } catch (const StateUnavailable&) {
            // Not kept: the visitor gets a new draft next time.
          }
        }
      }
      bool draft;
      Site& site;
      const httplib::Request& req;
      httplib::Response& res;
      std::shared_ptr<const WebSession>& session;
    } keep{draft, site, req, res, session};
    if (!AdmitRequest(site, req, res, session)) return;
    PageRequest page(req, res, site, session);
    if (post && !SessionStore::TokenMatches(*session, page.Param("token"))) {
      page.Error(403, page.Text("error.form_expired"));
      return;
    }
    if (access == Access::kSignedIn && !page.signed_in()) {
      page.Redirect("/signin");
      return;
    }
    try {
      handler(page);
      // A post may have changed what open pages show.
      if (post) site.events().Changed();
    } catch (const BadInput& e) {
      page.Error(400, e.In(page.catalog()));
    } catch (const NotFound& e) {
      page.Error(404, e.In(page.catalog()));
    } catch (const NotDone& e) {
      Failed(page, e.In(page.catalog()), e.what());
    } catch (const PoolBusy&) {
      page.res.set_header("Retry-After", "5");
      page.Error(503, page.Text("error.busy"));
    } catch (const StateUnavailable& e) {
      std::cerr << "korimba serve: " << e.description() << std::endl;
      page.res.set_header("Retry-After", "5");
      page.Error(503, page.Text("error.state_down"));
    } catch (const AutomationError& e) {
      Failed(page, page.catalog().Format("error.not_completed", {VisitorDescription(e)}),
             e.description());
    } catch (const std::exception& e) {
      Failed(page, page.Text("error.internal"), e.what());
    }
  };
  // The sessions' store (Redis) may fail before the page runs, while the
  // session is looked up: the visitor reads that on a page of its own.
  auto wrapped = [&site, run](const httplib::Request& req, httplib::Response& res) {
    try {
      run(req, res);
    } catch (const StateUnavailable& e) {
      std::cerr << "korimba serve: " << e.description() << std::endl;
      res.headers.erase("Set-Cookie");
      res.set_header("Retry-After", "5");
      PageRequest page(req, res, site, SessionKeeper::Draft());
      page.Error(503, page.Text("error.state_down"));
    }
  };
  if (post) {
    server.Post(path, wrapped);
  } else {
    server.Get(path, wrapped);
  }
}

void RegisterSite(httplib::Server& server, Site& site) {
  PrepareTemplates();
  // The health check answers without a session or a page: 200 "ok" when a
  // pooled connection answers a trivial query, 503 with the reason
  // otherwise (secrets of the connection string masked).
  server.Get("/healthz", [&site](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    std::string problem = site.StateProblem();
    if (!problem.empty()) {
      res.status = 503;
      res.set_content("sessions: " + problem + "\n", "text/plain; charset=utf-8");
      return;
    }
    try {
      auto lease = site.pool().Acquire();
      lease->connection()->Query("select 1");
      res.set_content("ok\n", "text/plain; charset=utf-8");
      return;
    } catch (const PoolBusy& e) {
      problem = std::string("database busy: ") + e.what();
    } catch (const AutomationError& e) {
      problem = "database: " + MaskSecrets(e.description());
    } catch (const std::exception& e) {
      problem = "database: " + MaskSecrets(e.what());
    }
    res.status = 503;
    res.set_content(problem + "\n", "text/plain; charset=utf-8");
  });
  server.Get("/static/style.css", [](const httplib::Request& req, httplib::Response& res) {
    SendStatic(req, res, "style.css", "text/css; charset=utf-8");
  });
  server.Get("/static/pages.js", [](const httplib::Request& req, httplib::Response& res) {
    SendStatic(req, res, "pages.js", "text/javascript; charset=utf-8");
  });
  server.Get("/favicon.ico", [](const httplib::Request& req, httplib::Response& res) {
    SendStatic(req, res, "favicon.svg", "image/svg+xml");
  });
  server.Get("/static/online.js", [](const httplib::Request& req, httplib::Response& res) {
    SendStatic(req, res, "online.js", "text/javascript; charset=utf-8");
  });
  // httplib hands over the request it owns as const; moving one header
  // before the body is read is the only change made to it.
  server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    MarkRequestStart(req);
    KeepMultipartRaw(const_cast<httplib::Request&>(req));
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // The language switch keeps the choice in the session (starting one for a
  // visitor who has none yet) and returns to the page it was chosen on.
  Route(server, site, "GET", "/language", Access::kAnyone, [](PageRequest& page) {
    auto session = page.site.sessions().Find(page.session().id);
    if (session == nullptr) {
      session = page.site.sessions().Keep(std::make_shared<WebSession>(page.session()));
      SetSessionCookie(page.res, session->id, RequestIsHttps(page.site, page.req));
    }
    session->values->SetValue(
        std::string(kLanguageValue),
        Variant::Text(std::string(LanguageTag(LanguageFromTag(page.Param("to"))))));
    page.Redirect(LocalTarget(page.Param("back")));
  });
  RegisterSignInPages(server, site);  // before the home pages' /signin
  RegisterHomePages(server, site);
  RegisterMessagePages(server, site);
  RegisterGroupPages(server, site);
  RegisterHistoryPages(server, site);
  RegisterPlanPages(server, site);
  RegisterFeedPages(server, site);
  RegisterCalendarPages(server, site);
  RegisterSearchPages(server, site);
  RegisterLiveEvents(server, site);
  // Answers that httplib makes itself (no such page, a body over the size
  // limit) get a readable page too.
  server.set_error_handler([&site](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty()) return;
    std::shared_ptr<const WebSession> session;
    try {
      session = SessionOf(site, req);
    } catch (const StateUnavailable&) {
      // Shown without the visitor's session.
    }
    Variant chosen =
        session == nullptr ? Variant() : session->values->Value(std::string(kLanguageValue));
    const Language language = chosen.is_text()
                                  ? LanguageFromTag(TextForm(chosen))
                                  : ChooseLanguage(req.get_header_value("Accept-Language"));
    std::string message = ErrorMessageFor(req, res, Catalog::For(language));
    mstch::map context{
        {"message", message}, {"t", CatalogLambda(language)}, {"back", BackTarget(req)}};
    mstch::map layout = LayoutContext(language, Catalog::For(language).Text("title.not_done"),
                                      RenderTemplate("error", context), req.target);
    // A signed-in visitor keeps the navigation on these pages too.
    Variant id = session == nullptr ? Variant() : session->values->Value("PersonID");
    layout["signed_in"] = id.is_number();
    if (id.is_number()) {
      layout["person_name"] = TextForm(session->values->Value("PersonName"));
      layout["token"] = session->token;
    }
    SetPageHeaders(res);
    res.set_content(RenderTemplate("layout", layout), "text/html; charset=utf-8");
  });
}

}  // namespace korimba::web

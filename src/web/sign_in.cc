#include "web/sign_in.h"

#include <cmath>
#include <vector>

#include "frame/names.h"
#include "frame/value_ops.h"
#include "web/account_store.h"
#include "web/password_hash.h"
#include "web/site.h"

namespace korimba::web {
namespace {

// Starts a fresh session (new id, new token) signed in as the account, so
// that a session id known before signing in is worth nothing after it.
std::shared_ptr<const WebSession> SignedInSession(Site& site, const httplib::Request& req,
                                                  httplib::Response& res, std::string_view old_id,
                                                  const Account& account,
                                                  const std::string& person_name) {
  auto fresh = std::make_shared<const WebSession>(site.sessions().Create());
  fresh->values->SetValue("PersonID", Variant::I4(account.person_id));
  fresh->values->SetValue("PersonName", Variant::Text(person_name));
  fresh->values->SetValue("Login", Variant::Text(account.login));
  if (!old_id.empty()) site.sessions().Remove(old_id);
  SetSessionCookie(res, fresh->id, RequestIsHttps(site, req));
  return fresh;
}

bool SameLogin(const Variant& stored, std::string_view login) {
  return stored.text() && SameName(*stored.text(), login);
}

bool HasAccounts(Site& site) {
  auto lease = site.pool().Acquire();
  ResultTable table = lease->connection()->Execute("SELECT COUNT(*) FROM KORIMBA_Account");
  return table.row_count() == 1 && table.at(0, 0).is_number() && ToI4(table.at(0, 0)) > 0;
}

void PasswordForm(PageRequest& page, const std::string& login, const std::string& message,
                  int status) {
  mstch::map context{{"login", login}, {"message", message}};
  if (message.empty()) context["no_accounts"] = !HasAccounts(page.site);
  page.Page(page.Text("title.signin"), "signin_password", context, status);
}

void PasswordSignInPage(PageRequest& page) {
  if (page.signed_in()) return page.Redirect("/");
  PasswordForm(page, "", "", 200);
}

void PasswordSignIn(PageRequest& page) {
  const std::string login = page.Param("login");
  const std::string password = page.Param("password");
  const std::string& address = page.req.remote_addr;
  LoginThrottle& throttle = page.site.throttle();
  if (double wait = throttle.WaitSeconds(login, address); wait > 0) {
    const int seconds = static_cast<int>(std::ceil(wait));
    page.res.set_header("Retry-After", std::to_string(seconds));
    return PasswordForm(page, login,
                        seconds == 1
                            ? page.Text("signin.throttled_one")
                            : page.catalog().Format("signin.throttled", {std::to_string(seconds)}),
                        429);
  }
  std::optional<Account> account;
  std::optional<std::string> name;
  {
    auto lease = page.site.pool().Acquire();
    AccountStore store(*lease->connection());
    if (AccountStore::LoginProblem(login).empty()) account = store.Find(login);
    const bool good = account && VerifyPassword(account->password_hash, password);
    if (!account) SpendVerificationTime(password);
    if (good) name = store.PersonName(account->person_id);
    if (good && name) store.RecordSignIn(account->login);
    if (!good) account.reset();
  }
  if (!account) {
    throttle.RecordFailure(login, address);
    return PasswordForm(page, login, page.Text("signin.wrong"), 401);
  }
  if (!name) {
    return PasswordForm(
        page, login,
        page.catalog().Format("signin.person_gone", {std::to_string(account->person_id)}), 403);
  }
  throttle.RecordSuccess(login);
  SignedInSession(page.site, page.req, page.res, page.session().id, *account, *name);
  page.Redirect("/");
}

void ProxySignInPage(PageRequest& page) {
  // AdmitRequest has signed the visitor in before any page runs.
  page.Redirect("/");
}

// Refuses the request with a 403 page saying why, in the visitor's language.
void Refuse(Site& site, const httplib::Request& req, httplib::Response& res,
            std::shared_ptr<const WebSession> session, std::string_view key,
            const std::vector<std::string>& args = {}) {
  if (session == nullptr) session = std::make_shared<const WebSession>(site.sessions().Create());
  PageRequest page(req, res, site, std::move(session));
  page.Error(403, page.catalog().Format(key, args));
}

}  // namespace

std::optional<AuthMode> ParseAuthMode(std::string_view text) {
  if (text == "password") return AuthMode::kPassword;
  if (text == "proxy") return AuthMode::kProxy;
  if (text == "pick") return AuthMode::kPick;
  return std::nullopt;
}

void RegisterSignInPages(httplib::Server& server, Site& site) {
  switch (site.sign_in().mode) {
    case AuthMode::kPassword:
      Route(server, site, "GET", "/signin", Access::kAnyone, PasswordSignInPage);
      Route(server, site, "POST", "/signin", Access::kAnyone, PasswordSignIn);
      break;
    case AuthMode::kProxy:
      Route(server, site, "GET", "/signin", Access::kAnyone, ProxySignInPage);
      Route(server, site, "POST", "/signin", Access::kAnyone, ProxySignInPage);
      break;
    case AuthMode::kPick:
      break;  // the home pages' person list
  }
}

bool AdmitRequest(Site& site, const httplib::Request& req, httplib::Response& res,
                  std::shared_ptr<const WebSession>& session) {
  const SignInSettings& settings = site.sign_in();
  if (settings.mode != AuthMode::kProxy) return true;
  if (!settings.proxies.Contains(req.remote_addr)) {
    Refuse(site, req, res, session, "error.not_through_proxy");
    return false;
  }
  const std::string login = req.get_header_value(settings.header.c_str());
  if (login.empty()) {
    Refuse(site, req, res, session, "error.no_proxy_header", {settings.header});
    return false;
  }
  if (session != nullptr && SameLogin(session->values->Value("Login"), login)) return true;

  std::optional<Account> account;
  std::optional<std::string> name;
  {
    auto lease = site.pool().Acquire();
    AccountStore store(*lease->connection());
    if (AccountStore::LoginProblem(login).empty()) account = store.Find(login);
    if (account) name = store.PersonName(account->person_id);
    if (account && name) store.RecordSignIn(account->login);
  }
  if (!account || !name) {
    Refuse(site, req, res, nullptr, "error.no_account", {login});
    return false;
  }
  session = SignedInSession(site, req, res, session != nullptr ? session->id : "", *account, *name);
  return true;
}

bool RequestIsHttps(const Site& site, const httplib::Request& req) {
  if (!req.has_header("X-Forwarded-Proto")) return false;
  std::string proto = req.get_header_value("X-Forwarded-Proto");
  for (char& c : proto) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return proto == "https" && site.sign_in().proxies.Contains(req.remote_addr);
}

}  // namespace korimba::web

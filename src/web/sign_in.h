// How visitors of the pages sign in, by mode:
//  - password: a login and password checked against KORIMBA_Account (Argon2id
//    hashes), failures slowed down per login and per client address by the
//    site's LoginThrottle, a fresh session at sign-in;
//  - proxy: a proxy in front authenticates and names the login in a request
//    header; the header is believed only from the trusted proxies' addresses
//    and the login must have an account; any other request is refused;
//  - pick: choose any person from a list, for demonstrations only (every
//    page then says so in a banner).
// RegisterSignInPages installs the /signin pages of the password and proxy
// modes (pick keeps the home pages' own list); AdmitRequest is the proxy
// check Route runs before every page. Thread-safe (state lives in Site).
#ifndef KORIMBA_WEB_SIGN_IN_H_
#define KORIMBA_WEB_SIGN_IN_H_

#include <httplib.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "web/session_store.h"
#include "web/trusted_proxies.h"

namespace korimba::web {

class Site;

enum class AuthMode { kPassword, kProxy, kPick };

// "password", "proxy" or "pick" (nullopt for anything else).
std::optional<AuthMode> ParseAuthMode(std::string_view text);

struct SignInSettings {
  AuthMode mode = AuthMode::kPick;
  std::string header = "Remote-User";
  TrustedProxies proxies;
};

void RegisterSignInPages(httplib::Server& server, Site& site);

// In proxy mode: signs `session` in as the login the trusted proxy names
// (replacing it with a fresh session when the login changes), or answers the
// request with a refusal and returns false. Other modes admit every request.
bool AdmitRequest(Site& site, const httplib::Request& req, httplib::Response& res,
                  std::shared_ptr<const WebSession>& session);

// Whether the visitor reached the site over HTTPS: a trusted proxy's
// X-Forwarded-Proto says so (the server itself speaks plain HTTP).
bool RequestIsHttps(const Site& site, const httplib::Request& req);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_SIGN_IN_H_

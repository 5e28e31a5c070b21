// SessionStore keeps the visitors' sessions of the HTTP page host: a random
// id (sent in an HttpOnly, SameSite=Lax cookie) maps to the session's values
// (an InMemorySession, names without regard to case) and its per-session form
// token. A session that has not been used for the idle timeout (20 minutes by
// default) is gone: looking it up fails and it is swept away. Time comes from
// the injected clock (the component clock by default), so tests can move it.
// Thread-safe: every request thread looks sessions up at once.
#ifndef KORIMBA_WEB_SESSION_STORE_H_
#define KORIMBA_WEB_SESSION_STORE_H_

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "frame/clock.h"
#include "host/page_host.h"

namespace korimba::web {

struct WebSession {
  std::string id;
  // The form token that every data-changing request must carry.
  std::string token;
  std::shared_ptr<InMemorySession> values;
};

class SessionStore {
 public:
  static constexpr double kDefaultIdleSeconds = 20 * 60;

  explicit SessionStore(std::shared_ptr<const Clock> clock = nullptr,
                        double idle_seconds = kDefaultIdleSeconds);
  SessionStore(const SessionStore&) = delete;
  SessionStore& operator=(const SessionStore&) = delete;

  // A new session with fresh random id and token.
  WebSession Create();
  // A session with fresh random id and token that is not stored yet, for a
  // visitor without one: most anonymous requests never need it kept.
  static std::shared_ptr<const WebSession> Draft();
  // Stores a draft; from now on Find knows it.
  std::shared_ptr<const WebSession> Keep(std::shared_ptr<const WebSession> session);
  // The live session of that id, its idle time restarted; nullptr when the id
  // is unknown or the session has been idle too long (it is then removed).
  std::shared_ptr<const WebSession> Find(std::string_view id);
  void Remove(std::string_view id);
  size_t size() const;

  // Compares a submitted form token with the session's, in time that does not
  // depend on where they differ. An empty submission never matches.
  static bool TokenMatches(const WebSession& session, std::string_view submitted);

 private:
  struct Entry {
    std::shared_ptr<const WebSession> session;
    double last_used;  // seconds on the clock's scale
  };
  double NowSeconds() const;
  void SweepLocked(double now);

  std::shared_ptr<const Clock> clock_;
  double idle_seconds_;
  mutable std::mutex mu_;
  std::map<std::string, Entry, std::less<>> entries_;
  double last_sweep_ = 0;
};

// 32 lowercase hex digits from the system's random source.
std::string RandomHexId();

}  // namespace korimba::web

#endif  // KORIMBA_WEB_SESSION_STORE_H_

// SessionKeeper keeps the visitors' sessions of a page host: a random id
// (sent to the visitor in a cookie) maps to the session's values (a
// SessionObject, names without regard to case) and its per-session form
// token. A session that has not been used for the idle timeout (20 minutes by
// default) is gone: looking it up finds nothing. Two keepers exist:
// InMemorySessionKeeper (one process, time from an injected clock) and the
// Redis host's (several nodes, time kept by Redis).
// Keepers are thread-safe: every request thread looks sessions up at once.
// A KeptSession is an immutable handle; its values object is shared by every
// request of the session.
#ifndef KORIMBA_HOST_SESSION_KEEPER_H_
#define KORIMBA_HOST_SESSION_KEEPER_H_

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "frame/clock.h"
#include "host/page_host.h"

namespace korimba {

struct KeptSession {
  std::string id;
  // The form token that every data-changing request must carry.
  std::string token;
  std::shared_ptr<SessionObject> values;
};

class SessionKeeper {
 public:
  static constexpr double kDefaultIdleSeconds = 20 * 60;

  virtual ~SessionKeeper() = default;

  // A new session with fresh random id and token.
  KeptSession Create() { return *Keep(Draft()); }
  // A session with fresh random id and token (values in memory) that is not
  // stored yet, for a visitor without one: most anonymous requests never
  // need it kept.
  static std::shared_ptr<const KeptSession> Draft();
  // Stores a session (a draft, with the values it holds by now); from then
  // on Find knows it. The session returned is the stored one, whose values
  // object may be the keeper's own.
  virtual std::shared_ptr<const KeptSession> Keep(std::shared_ptr<const KeptSession> session) = 0;
  // The live session of that id, its idle time restarted; nullptr when the id
  // is unknown or the session has been idle too long.
  virtual std::shared_ptr<const KeptSession> Find(std::string_view id) = 0;
  virtual void Remove(std::string_view id) = 0;

  // Compares a submitted form token with the session's, in time that does not
  // depend on where they differ. An empty submission never matches.
  static bool TokenMatches(const KeptSession& session, std::string_view submitted);
};

class InMemorySessionKeeper final : public SessionKeeper {
 public:
  explicit InMemorySessionKeeper(std::shared_ptr<const Clock> clock = nullptr,
                                 double idle_seconds = kDefaultIdleSeconds);
  InMemorySessionKeeper(const InMemorySessionKeeper&) = delete;
  InMemorySessionKeeper& operator=(const InMemorySessionKeeper&) = delete;

  std::shared_ptr<const KeptSession> Keep(std::shared_ptr<const KeptSession> session) override;
  std::shared_ptr<const KeptSession> Find(std::string_view id) override;
  void Remove(std::string_view id) override;
  size_t size() const;

 private:
  struct Entry {
    std::shared_ptr<const KeptSession> session;
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

}  // namespace korimba

#endif  // KORIMBA_HOST_SESSION_KEEPER_H_

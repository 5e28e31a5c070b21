// LoginThrottle slows down password guessing: it counts the failed sign-ins
// of each login and of each client address, and after a few free failures
// makes the next attempt wait, the wait doubling with each further failure up
// to a ceiling. A sign-in that succeeds clears its login's count (not its
// address's: one's own account must not wash an address clean). Counts are
// forgotten a while after their last failure, and the tables are bounded.
// Time comes from the injected clock, so tests move it instead of sleeping.
// Thread-safe.
#ifndef KORIMBA_WEB_LOGIN_THROTTLE_H_
#define KORIMBA_WEB_LOGIN_THROTTLE_H_

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "frame/clock.h"

namespace korimba::web {

class LoginThrottle {
 public:
  struct Limits {
    int free_per_login = 3;
    // An office behind one address shares it, so it gets more.
    int free_per_address = 10;
    double first_wait = 1;       // seconds, after the first failure past the free ones
    double max_wait = 300;       // seconds
    double forget_after = 3600;  // seconds after the last failure
    size_t max_entries = 100000;
  };

  explicit LoginThrottle(std::shared_ptr<const Clock> clock = nullptr);
  LoginThrottle(std::shared_ptr<const Clock> clock, Limits limits);

  // Seconds until a sign-in of `login` from `address` may be tried (0: now).
  double WaitSeconds(std::string_view login, std::string_view address);
  void RecordFailure(std::string_view login, std::string_view address);
  void RecordSuccess(std::string_view login);

 private:
  struct Entry {
    int failures = 0;
    double last_failure = 0;
  };
  using Table = std::map<std::string, Entry, std::less<>>;

  double NowSeconds() const;
  double WaitLocked(const Table& table, const std::string& key, int free, double now) const;
  void FailLocked(Table& table, const std::string& key, double now);

  std::shared_ptr<const Clock> clock_;
  Limits limits_;
  std::mutex mu_;
  Table logins_;
  Table addresses_;
};

}  // namespace korimba::web

#endif  // KORIMBA_WEB_LOGIN_THROTTLE_H_

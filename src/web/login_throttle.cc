#include "web/login_throttle.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

namespace korimba::web {
namespace {

// Logins compare without regard to ASCII case, as the account table does.
std::string LoginKey(std::string_view login) {
  std::string key(login);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

}  // namespace

LoginThrottle::LoginThrottle(std::shared_ptr<const Clock> clock)
    : LoginThrottle(std::move(clock), Limits{}) {}

LoginThrottle::LoginThrottle(std::shared_ptr<const Clock> clock, Limits limits)
    : clock_(std::move(clock)), limits_(limits) {}

double LoginThrottle::NowSeconds() const {
  const auto clock = clock_ ? clock_ : ComponentClock();
  return clock->Now().serial * 86400.0;
}

double LoginThrottle::WaitLocked(const Table& table, const std::string& key, int free,
                                 double now) const {
  auto it = table.find(key);
  if (it == table.end() || it->second.failures < free) return 0;
  const int past = it->second.failures - free;  // 0 for the first counted failure
  const double wait =
      std::min(limits_.max_wait, limits_.first_wait * std::pow(2.0, std::min(past, 30)));
  return std::max(0.0, it->second.last_failure + wait - now);
}

double LoginThrottle::WaitSeconds(std::string_view login, std::string_view address) {
  const double now = NowSeconds();
  std::lock_guard lock(mu_);
  return std::max(WaitLocked(logins_, LoginKey(login), limits_.free_per_login, now),
                  WaitLocked(addresses_, std::string(address), limits_.free_per_address, now));
}

void LoginThrottle::FailLocked(Table& table, const std::string& key, double now) {
  if (table.size() >= limits_.max_entries && !table.contains(key)) {
    std::erase_if(table, [&](const auto& item) {
      return now - item.second.last_failure > limits_.forget_after;
    });
    // Still full of recent failures: drop the oldest half rather than grow.
    if (table.size() >= limits_.max_entries) {
      std::vector<double> times;
      for (const auto& [name, entry] : table) times.push_back(entry.last_failure);
      std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
      const double cut = times[times.size() / 2];
      std::erase_if(table, [&](const auto& item) { return item.second.last_failure <= cut; });
    }
  }
  Entry& entry = table[key];
  if (entry.failures > 0 && now - entry.last_failure > limits_.forget_after) entry.failures = 0;
  ++entry.failures;
  entry.last_failure = now;
}

void LoginThrottle::RecordFailure(std::string_view login, std::string_view address) {
  const double now = NowSeconds();
  std::lock_guard lock(mu_);
  FailLocked(logins_, LoginKey(login), now);
  FailLocked(addresses_, std::string(address), now);
}

void LoginThrottle::RecordSuccess(std::string_view login) {
  std::lock_guard lock(mu_);
  logins_.erase(LoginKey(login));
}

}  // namespace korimba::web

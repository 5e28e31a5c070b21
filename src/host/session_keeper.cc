#include "host/session_keeper.h"

#include <random>

namespace korimba {

std::string RandomHexId() {
  static constexpr char kHex[] = "0123456789abcdef";
  std::random_device device;
  std::string out;
  for (int word = 0; word < 4; ++word) {
    uint32_t bits = device();
    for (int nibble = 0; nibble < 8; ++nibble) {
      out += kHex[bits & 15];
      bits >>= 4;
    }
  }
  return out;
}

std::shared_ptr<const KeptSession> SessionKeeper::Draft() {
  auto session = std::make_shared<KeptSession>();
  session->id = RandomHexId();
  session->token = RandomHexId();
  session->values = std::make_shared<InMemorySession>();
  return session;
}

bool SessionKeeper::TokenMatches(const KeptSession& session, std::string_view submitted) {
  const std::string& expected = session.token;
  if (submitted.empty() || submitted.size() != expected.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    diff |= static_cast<unsigned char>(expected[i] ^ submitted[i]);
  }
  return diff == 0;
}

InMemorySessionKeeper::InMemorySessionKeeper(std::shared_ptr<const Clock> clock,
                                             double idle_seconds)
    : clock_(std::move(clock)), idle_seconds_(idle_seconds) {}

double InMemorySessionKeeper::NowSeconds() const {
  const auto clock = clock_ ? clock_ : ComponentClock();
  return clock->Now().serial * 86400.0;
}

std::shared_ptr<const KeptSession> InMemorySessionKeeper::Keep(
    std::shared_ptr<const KeptSession> session) {
  double now = NowSeconds();
  std::lock_guard lock(mu_);
  SweepLocked(now);
  entries_[session->id] = Entry{session, now};
  return session;
}

std::shared_ptr<const KeptSession> InMemorySessionKeeper::Find(std::string_view id) {
  double now = NowSeconds();
  std::lock_guard lock(mu_);
  SweepLocked(now);
  auto it = entries_.find(id);
  if (it == entries_.end()) return nullptr;
  if (now - it->second.last_used > idle_seconds_) {
    entries_.erase(it);
    return nullptr;
  }
  it->second.last_used = now;
  return it->second.session;
}

void InMemorySessionKeeper::Remove(std::string_view id) {
  std::lock_guard lock(mu_);
  auto it = entries_.find(id);
  if (it != entries_.end()) entries_.erase(it);
}

size_t InMemorySessionKeeper::size() const {
  std::lock_guard lock(mu_);
  return entries_.size();
}

void InMemorySessionKeeper::SweepLocked(double now) {
  // At most once a minute: the sweep walks every session.
  if (now - last_sweep_ < 60 && now >= last_sweep_) return;
  last_sweep_ = now;
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (now - it->second.last_used > idle_seconds_) {
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace korimba

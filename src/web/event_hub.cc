#include "web/event_hub.h"

namespace korimba::web {

EventHub::Slot::~Slot() {
  if (hub_ == nullptr) return;
  std::lock_guard<std::mutex> lock(hub_->mu_);
  --hub_->open_;
}

std::optional<EventHub::Slot> EventHub::TryOpen() {
  std::lock_guard<std::mutex> lock(mu_);
  if (open_ >= settings_.max_streams) return std::nullopt;
  ++open_;
  return Slot(*this);
}

int EventHub::open_streams() const {
  std::lock_guard<std::mutex> lock(mu_);
  return open_;
}

void EventHub::Changed() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    ++generation_;
  }
  changed_.notify_all();
}

uint64_t EventHub::generation() const {
  std::lock_guard<std::mutex> lock(mu_);
  return generation_;
}

void EventHub::WaitForChange(uint64_t seen, std::chrono::steady_clock::time_point until) {
  std::unique_lock<std::mutex> lock(mu_);
  changed_.wait_until(lock, until, [&] { return generation_ != seen; });
}

}  // namespace korimba::web

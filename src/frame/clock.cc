#include "frame/clock.h"

#include <chrono>
#include <ctime>

namespace korimba {
namespace {

Date RealNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&secs, &local);
  CivilDateTime parts{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,       local.tm_hour,
                      local.tm_min,         local.tm_sec,     static_cast<int>(ms)};
  if (parts.second > 59) parts.second = 59;  // leap second
  return *MakeDate(parts);
}

std::mutex g_clock_mu;
std::shared_ptr<const Clock> g_clock;  // null: the real clock

}  // namespace

Date SystemClock::Now() const { return RealNow(); }

Date ManualClock::Now() const {
  std::lock_guard lock(mu_);
  return frozen_ ? *frozen_ : RealNow();
}

void ManualClock::Set(Date frozen) {
  std::lock_guard lock(mu_);
  frozen_ = frozen;
}

void ManualClock::Advance(double seconds) {
  std::lock_guard lock(mu_);
  const Date base = frozen_ ? *frozen_ : RealNow();
  frozen_ = FromTimeLineDays(TimeLineDays(base) + seconds / 86400.0);
}

void ManualClock::UseReal() {
  std::lock_guard lock(mu_);
  frozen_.reset();
}

std::shared_ptr<const Clock> ComponentClock() {
  static const auto* system_clock =
      new std::shared_ptr<const Clock>(std::make_shared<SystemClock>());
  std::lock_guard lock(g_clock_mu);
  return g_clock ? g_clock : *system_clock;
}

void SetComponentClock(std::shared_ptr<const Clock> clock) {
  std::lock_guard lock(g_clock_mu);
  g_clock = std::move(clock);
}

Date Now() { return ComponentClock()->Now(); }
Date Today() { return JoinSerial(SplitSerial(Now()).day, 0); }
double SecondsSinceMidnight() { return static_cast<double>(SplitSerial(Now()).ms) / 1000.0; }

}  // namespace korimba

// Clock is where the component learns the current local date and time: today,
// now and seconds since midnight, and the embedded database's GETDATE() and
// column defaults. One process-wide component clock is installed at a time:
// the real local clock by default, a ManualClock in tests and in the script
// host. Clocks are thread-safe.
#ifndef KORIMBA_FRAME_CLOCK_H_
#define KORIMBA_FRAME_CLOCK_H_

#include <memory>
#include <mutex>
#include <optional>

#include "frame/date.h"

namespace korimba {

class Clock {
 public:
  virtual ~Clock() = default;
  // The current local date and time, with at least millisecond precision.
  virtual Date Now() const = 0;
};

class SystemClock final : public Clock {
 public:
  Date Now() const override;
};

// A clock that is either frozen at a set time (which Advance moves on) or
// follows the real clock.
class ManualClock final : public Clock {
 public:
  ManualClock() = default;
  explicit ManualClock(Date frozen) : frozen_(frozen) {}

  Date Now() const override;
  void Set(Date frozen);
  // Moves a frozen clock on by `seconds`; on a real clock, freezes it at the
  // real time plus `seconds`.
  void Advance(double seconds);
  void UseReal();

 private:
  mutable std::mutex mu_;
  std::optional<Date> frozen_;
};

// The process-wide component clock (never null).
std::shared_ptr<const Clock> ComponentClock();
// Installs a clock (nullptr restores the real clock).
void SetComponentClock(std::shared_ptr<const Clock> clock);

// Readings of the component clock: the current local date and time, today at
// midnight, and the seconds since today's midnight.
Date Now();
Date Today();
double SecondsSinceMidnight();

// Installs a ManualClock as the component clock for the life of the guard
// (frozen at `frozen` when given, else following the real clock) and puts
// back the clock installed before it. For tests, the script host and the demo
// data; guards nest only in the order they were made.
class ScopedClockOverride {
 public:
  ScopedClockOverride() : ScopedClockOverride(std::make_shared<ManualClock>()) {}
  explicit ScopedClockOverride(Date frozen)
      : ScopedClockOverride(std::make_shared<ManualClock>(frozen)) {}
  ScopedClockOverride(const ScopedClockOverride&) = delete;
  ScopedClockOverride& operator=(const ScopedClockOverride&) = delete;
  ~ScopedClockOverride() { SetComponentClock(previous_); }

  ManualClock* operator->() const { return clock_.get(); }
  ManualClock& clock() const { return *clock_; }

 private:
  explicit ScopedClockOverride(std::shared_ptr<ManualClock> clock)
      : previous_(ComponentClock()), clock_(std::move(clock)) {
    SetComponentClock(clock_);
  }

  std::shared_ptr<const Clock> previous_;
  std::shared_ptr<ManualClock> clock_;
};

}  // namespace korimba

#endif  // KORIMBA_FRAME_CLOCK_H_

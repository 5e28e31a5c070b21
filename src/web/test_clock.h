// RunningClock: a component clock that starts at a chosen local time and
// runs on from there at the real pace. `korimba serve --test-clock` installs
// one so that tests of the pages can put the office at a known moment (a
// reminder falls due a few seconds after the server starts) without waiting
// for the real clock. For tests only. Thread-safe.
#ifndef KORIMBA_WEB_TEST_CLOCK_H_
#define KORIMBA_WEB_TEST_CLOCK_H_

#include <chrono>

#include "frame/clock.h"

namespace korimba::web {

class RunningClock final : public Clock {
 public:
  explicit RunningClock(Date start)
      : start_(TimeLineDays(start)), started_(std::chrono::steady_clock::now()) {}

  Date Now() const override {
    const std::chrono::duration<double> run = std::chrono::steady_clock::now() - started_;
    return FromTimeLineDays(start_ + run.count() / 86400.0);
  }

 private:
  double start_;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace korimba::web

#endif  // KORIMBA_WEB_TEST_CLOCK_H_

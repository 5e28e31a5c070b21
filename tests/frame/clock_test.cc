#include "frame/clock.h"

#include <gtest/gtest.h>

#include <memory>

#include "frame/date.h"

namespace korimba {
namespace {

Date At(int h, int mi, int s, int ms = 0) { return *MakeDate({2024, 3, 5, h, mi, s, ms}); }

// A moment far from any real clock, so that a real clock answering instead
// of a frozen one shows.
bool IsReal(const Clock& clock) {
  return TimeLineDays(clock.Now()) > TimeLineDays(*MakeDate({2025, 1, 1, 0, 0, 0, 0}));
}

TEST(ManualClockTest, FrozenAdvancesAndFollowsTheRealClockWhenAsked) {
  ManualClock clock(At(23, 59, 59, 500));
  EXPECT_EQ(clock.Now(), At(23, 59, 59, 500));
  clock.Advance(0.25);
  EXPECT_EQ(clock.Now(), At(23, 59, 59, 750));
  clock.Advance(0.5);  // past midnight
  EXPECT_EQ(clock.Now(), *MakeDate({2024, 3, 6, 0, 0, 0, 250}));
  clock.Set(At(9, 0, 0));
  EXPECT_EQ(clock.Now(), At(9, 0, 0));
  clock.UseReal();
  EXPECT_TRUE(IsReal(clock));
  clock.Advance(0);  // freezes at the real time
  const Date frozen = clock.Now();
  EXPECT_EQ(clock.Now(), frozen);
}

// Each guard puts back the clock in force when it was made, not the real
// clock, so a test inside a fixture, or the script host inside a test, hands
// its caller's clock back intact.
TEST(ScopedClockOverrideTest, NestedGuardsPutBackTheClockBeforeThem) {
  const std::shared_ptr<const Clock> outside = ComponentClock();
  {
    ScopedClockOverride outer(At(9, 0, 0));
    EXPECT_EQ(ComponentClock()->Now(), At(9, 0, 0));
    {
      ScopedClockOverride inner(At(10, 0, 0));
      inner->Advance(1);
      EXPECT_EQ(ComponentClock()->Now(), At(10, 0, 1));
      outer->Advance(1);  // the outer clock moves on while it is not installed
    }
    EXPECT_EQ(ComponentClock()->Now(), At(9, 0, 1));
    {
      ScopedClockOverride following_real;
      EXPECT_TRUE(IsReal(*ComponentClock()));
    }
    EXPECT_EQ(ComponentClock()->Now(), At(9, 0, 1));
  }
  EXPECT_EQ(ComponentClock(), outside);
}

TEST(ScopedClockOverrideTest, ANullClockInstallsTheRealOne) {
  ScopedClockOverride frozen(At(9, 0, 0));
  SetComponentClock(nullptr);
  ASSERT_NE(ComponentClock(), nullptr);
  EXPECT_TRUE(IsReal(*ComponentClock()));
}

TEST(ClockTest, NowTodayAndSecondsFollowTheComponentClock) {
  ScopedClockOverride clock(At(9, 7, 30));
  EXPECT_EQ(Now(), At(9, 7, 30));
  EXPECT_EQ(Today(), At(0, 0, 0));
  EXPECT_DOUBLE_EQ(SecondsSinceMidnight(), 9 * 3600 + 7 * 60 + 30);
  clock->Advance(0.25);
  EXPECT_DOUBLE_EQ(SecondsSinceMidnight(), 9 * 3600 + 7 * 60 + 30.25);
}

}  // namespace
}  // namespace korimba

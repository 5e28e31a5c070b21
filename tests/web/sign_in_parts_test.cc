// The pieces of sign-in on their own: password hashes, the slow-down of
// failed sign-ins, and which client addresses count as trusted proxies.
#include <gtest/gtest.h>

#include <memory>

#include "frame/clock.h"
#include "web/login_throttle.h"
#include "web/password_hash.h"
#include "web/trusted_proxies.h"

namespace korimba::web {
namespace {

TEST(PasswordHashTest, VerifiesOnlyTheRightPassword) {
  const std::string hash = HashPassword("correct horse", HashCost::kMinimum);
  EXPECT_TRUE(hash.starts_with("$argon2id$")) << hash;
  EXPECT_TRUE(VerifyPassword(hash, "correct horse"));
  EXPECT_FALSE(VerifyPassword(hash, "correct horse "));
  EXPECT_FALSE(VerifyPassword(hash, "Correct horse"));
  EXPECT_FALSE(VerifyPassword(hash, ""));
  // Fresh salt every time: equal passwords do not give equal hashes.
  EXPECT_NE(HashPassword("correct horse", HashCost::kMinimum), hash);
  // Not a hash at all (an account without a password included).
  for (const char* bad : {"", "correct horse", "$argon2id$v=19$m=8,t=1,p=1$", "$2y$10$abc"}) {
    EXPECT_FALSE(VerifyPassword(bad, "correct horse")) << bad;
  }
}

TEST(PasswordHashTest, InteractiveCostIsWrittenIntoTheHash) {
  const std::string hash = HashPassword("pw", HashCost::kInteractive);
  EXPECT_NE(hash.find("m=65536,t=2"), std::string::npos) << hash;
  EXPECT_TRUE(VerifyPassword(hash, "pw"));
  EXPECT_EQ(ParseHashCost("minimum"), HashCost::kMinimum);
  EXPECT_EQ(ParseHashCost("low"), std::nullopt);
}

class LoginThrottleTest : public ::testing::Test {
 protected:
  std::shared_ptr<ManualClock> clock_ =
      std::make_shared<ManualClock>(*MakeDate({2024, 3, 5, 9, 0, 0}));
  LoginThrottle throttle_{clock_};
};

TEST_F(LoginThrottleTest, WaitGrowsAfterTheFreeFailuresOfALogin) {
  // Three free failures, then 1 s, 2 s, 4 s ... after each further one.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(throttle_.WaitSeconds("wang", "192.0.2.1"), 0) << i;
    throttle_.RecordFailure("wang", "192.0.2.1");
  }
  EXPECT_NEAR(throttle_.WaitSeconds("wang", "192.0.2.1"), 1, 1e-3);
  clock_->Advance(1);
  EXPECT_NEAR(throttle_.WaitSeconds("wang", "192.0.2.1"), 0, 1e-3);
  throttle_.RecordFailure("wang", "192.0.2.1");
  EXPECT_NEAR(throttle_.WaitSeconds("wang", "192.0.2.1"), 2, 1e-3);
  // The same login from elsewhere waits too, and case does not matter.
  EXPECT_NEAR(throttle_.WaitSeconds("WANG", "198.51.100.7"), 2, 1e-3);
  // Another login from another address does not.
  EXPECT_EQ(throttle_.WaitSeconds("li", "198.51.100.7"), 0);
  // Success clears the login.
  throttle_.RecordSuccess("Wang");
  EXPECT_EQ(throttle_.WaitSeconds("wang", "198.51.100.7"), 0);
}

TEST_F(LoginThrottleTest, AnAddressTryingManyLoginsIsSlowedAndSuccessDoesNotClearIt) {
  for (int i = 0; i < 10; ++i) throttle_.RecordFailure("user" + std::to_string(i), "192.0.2.9");
  EXPECT_NEAR(throttle_.WaitSeconds("fresh", "192.0.2.9"), 1, 1e-3);
  EXPECT_EQ(throttle_.WaitSeconds("fresh", "192.0.2.10"), 0);
  throttle_.RecordSuccess("fresh");
  EXPECT_NEAR(throttle_.WaitSeconds("fresh", "192.0.2.9"), 1, 1e-3);
}

TEST_F(LoginThrottleTest, WaitHasACeilingAndOldFailuresAreForgotten) {
  for (int i = 0; i < 40; ++i) throttle_.RecordFailure("wang", "192.0.2.1");
  EXPECT_NEAR(throttle_.WaitSeconds("wang", "192.0.2.1"), 300, 1e-3);
  clock_->Advance(2 * 3600);
  EXPECT_EQ(throttle_.WaitSeconds("wang", "192.0.2.1"), 0);
  // After forgetting, counting starts again from the free failures.
  throttle_.RecordFailure("wang", "192.0.2.1");
  EXPECT_EQ(throttle_.WaitSeconds("wang", "192.0.2.1"), 0);
}

TEST_F(LoginThrottleTest, TablesStayBounded) {
  LoginThrottle::Limits limits;
  limits.max_entries = 100;
  LoginThrottle small(clock_, limits);
  for (int i = 0; i < 1000; ++i) {
    small.RecordFailure("user" + std::to_string(i), "192.0.2." + std::to_string(i % 250));
    clock_->Advance(0.001);
  }
  // The newest entries survive the trimming.
  for (int i = 0; i < 3; ++i) small.RecordFailure("user999", "192.0.2.1");
  EXPECT_GT(small.WaitSeconds("user999", "203.0.113.1"), 0);
}

TEST(TrustedProxiesTest, AddressesAndRanges) {
  const TrustedProxies proxies =
      TrustedProxies::Parse({"127.0.0.1", "10.1.0.0/16", "2001:db8::/32", "::1", "192.0.2.128/25"});
  struct Case {
    const char* address;
    bool trusted;
  };
  const Case cases[] = {
      {"127.0.0.1", true},
      {"127.0.0.2", false},
      {"10.1.255.3", true},
      {"10.2.0.1", false},
      {"2001:db8:1::5", true},
      {"2001:db9::1", false},
      {"::1", true},
      {"::2", false},
      {"::ffff:127.0.0.1", true},
      {"::ffff:10.1.0.9", true},
      {"192.0.2.200", true},
      {"192.0.2.127", false},
      {"", false},
      {"localhost", false},
      {"127.0.0.1 ", false},
  };
  for (const Case& c : cases) EXPECT_EQ(proxies.Contains(c.address), c.trusted) << c.address;
  EXPECT_FALSE(TrustedProxies().Contains("127.0.0.1"));
  EXPECT_TRUE(TrustedProxies::Parse({"0.0.0.0/0"}).Contains("203.0.113.4"));
}

TEST(TrustedProxiesTest, RefusesWhatIsNoAddress) {
  for (const char* bad : {"proxy.local", "10.0.0.0/33", "::/129", "10.0.0.0/", "10.0.0.0/x",
                          "300.1.1.1", "10.0.0.1/8/8"}) {
    EXPECT_THROW(TrustedProxies::Parse({bad}), std::invalid_argument) << bad;
  }
}

}  // namespace
}  // namespace korimba::web

// Table-driven checks of what Message methods send: each case calls one
// method on a fake connection for a page whose session person is 7 and
// compares the statement texts exactly, or expects the call refused with
// its error number before any statement reaches the database. The method
// files' tests hold the cases; one thread.
#ifndef KORIMBA_TESTS_MESSAGE_STATEMENT_CASES_H_
#define KORIMBA_TESTS_MESSAGE_STATEMENT_CASES_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/error.h"
#include "tests/message/message_harness.h"
#include "tests/support/fake_connection.h"

namespace korimba::testing {

inline std::string Joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += t + "\n";
  return out;
}

struct SentCase {
  const char* method;
  std::vector<Variant> args;
  std::vector<std::string> expected;
};

inline void ExpectSentExactly(const std::vector<SentCase>& cases) {
  for (const SentCase& c : cases) {
    auto fake = std::make_shared<FakeConnection>();
    MessageHarness h(fake);
    h.StartPage();
    h.session().SetValue("personid", T("7"));
    // Lookups get an empty answer with the columns they read.
    fake->QueueResult({{"MsgFromPersonID", "MsgID", "MsgFileName", "personname"}, {}});
    try {
      h.Call(c.method, c.args);
    } catch (const AutomationError& e) {
      ADD_FAILURE() << c.method << " failed: " << e.description();
    }
    EXPECT_EQ(Joined(fake->texts()), Joined(c.expected)) << c.method;
  }
}

struct Refusal {
  const char* method;
  std::vector<Variant> args;
  int32_t error;
};

// Every one of these must fail before the first statement reaches the
// database: nothing is stored, nothing is marked read.
inline void ExpectRefusedBeforeAnyStatement(const std::vector<Refusal>& refusals) {
  for (const Refusal& r : refusals) {
    auto fake = std::make_shared<FakeConnection>();
    MessageHarness h(fake);
    h.StartPage();
    h.session().SetValue("personid", T("7"));
    try {
      h.Call(r.method, r.args);
      ADD_FAILURE() << r.method << " accepted " << r.args[0].DebugString();
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), r.error) << r.method << ": " << e.description();
    }
    EXPECT_EQ(Joined(fake->texts()), "") << r.method;
  }
}

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_MESSAGE_STATEMENT_CASES_H_

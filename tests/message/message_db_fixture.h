// MessageDatabaseTest: a Message object on a page whose session person is
// 7 (Ann), over an embedded in-memory database holding Ann (7), Bob (9), Cay
// (3) and Dee (4), with the component clock frozen on 2024-03-05 09:00 for
// the test and put back after. Shared by the tests of each method file that
// run on a real database; one thread.
#ifndef KORIMBA_TESTS_MESSAGE_MESSAGE_DB_FIXTURE_H_
#define KORIMBA_TESTS_MESSAGE_MESSAGE_DB_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/open.h"
#include "frame/clock.h"
#include "frame/date.h"
#include "frame/value_ops.h"
#include "tests/message/message_harness.h"

namespace korimba::testing {

// A time of 2024-03-05, the fixture's day.
inline Date At(int hour, int minute, int second, int ms = 0) {
  return *MakeDate({2024, 3, 5, hour, minute, second, ms});
}

class MessageDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = OpenConnection("sqlite::memory:");
    h_ = std::make_unique<MessageHarness>(conn_);
    for (auto [id, name] :
         std::vector<std::pair<int, std::string>>{{7, "Ann"}, {9, "Bob"}, {3, "Cay"}, {4, "Dee"}}) {
      Sql("insert into HR_Person(PersonID,PersonName) values (" + std::to_string(id) + ",'" + name +
          "')");
    }
    h_->StartPage();
    h_->session().SetValue("PersonID", I(7));  // also read as "personid"
  }

  ResultTable Sql(const std::string& text) { return conn_->Execute(text); }
  int32_t Count(const std::string& where) {
    return ToI4(Sql("select count(*) from DATA_Msg where " + where).at(0, 0));
  }
  // Posts one message a second later than the previous one; returns its id.
  int32_t Post(int32_t to, int32_t from, const std::string& content = "hi") {
    clock_->Advance(1);
    h_->Call("AddData", {I(to), T(content), I(from), T("t")});
    return ToI4(Sql("select max(MsgID) from DATA_Msg").at(0, 0));
  }
  std::string Contents(const std::string& where) {
    ResultTable t = Sql("select MsgContent from DATA_Msg where " + where + " order by MsgID");
    std::string out;
    for (const Variant& v : t.cells) out += TextForm(v) + ";";
    return out;
  }

  ScopedClockOverride clock_{At(9, 0, 0)};
  std::shared_ptr<Connection> conn_;
  std::unique_ptr<MessageHarness> h_;
};

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_MESSAGE_MESSAGE_DB_FIXTURE_H_

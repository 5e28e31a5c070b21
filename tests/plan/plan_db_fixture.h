// PlanOnDatabase: a Plan object created by ProgID and called by name, as a
// page script calls it, over an embedded in-memory database with the schema
// and no rows; plans are added through AddData. Shared by the tests of each
// plan file that run on a real database; one thread.
#ifndef KORIMBA_TESTS_PLAN_PLAN_DB_FIXTURE_H_
#define KORIMBA_TESTS_PLAN_PLAN_DB_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "classes/registry.h"
#include "db/open.h"
#include "frame/dispatch.h"
#include "frame/value_ops.h"
#include "tests/plan/plan_fixture.h"

namespace korimba::testing {

class PlanOnDatabase : public ::testing::Test {
 protected:
  PlanOnDatabase() { Call("SetConn", {Variant::Object(conn)}); }

  Variant Call(std::string_view method, std::vector<Variant> args) {
    return plan->Call(method, args);
  }
  void Add(int person, Date begin, Date end, std::string content, std::string place = "") {
    ASSERT_EQ(
        Call("AddData", {I(person), I(1), I(2), Variant::FromDate(begin), Variant::FromDate(end),
                         T(std::move(content)), Variant::FromDate(begin), T(std::move(place))}),
        Variant::Bool(true));
  }
  // Column `name` of row `row` of a built grid whose row 0 names the columns.
  static Variant Column(const Variant& grid, int32_t row, std::string_view name) {
    const SafeArray& a = *grid.array();
    for (int32_t j = 0; j <= a.bound(2).upper; ++j) {
      if (EqualsLiteralText(a.at({0, j}), name)) return a.at({row, j});
    }
    ADD_FAILURE() << "no column " << name;
    return Variant();
  }
  // Field `field` of every row of a row-set grid, joined by blanks.
  static std::string Fields(const Variant& rows, int32_t field) {
    const SafeArray& a = *rows.array();
    std::string out;
    for (int32_t r = 0; r <= a.bound(2).upper; ++r) {
      if (!out.empty()) out += " ";
      out += TextForm(a.at({field, r}));
    }
    return out;
  }

  std::shared_ptr<Connection> conn = OpenConnection("sqlite::memory:");
  std::shared_ptr<DispatchObject> plan = CreateObject("Korimba.Plan");
};

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_PLAN_PLAN_DB_FIXTURE_H_

// Shared pieces of the Plan tests: a Plan wired to a recording fake
// connection, result tables written row by row, dates by their parts, and
// readable renderings of month grids.
#ifndef KORIMBA_TESTS_PLAN_PLAN_FIXTURE_H_
#define KORIMBA_TESTS_PLAN_PLAN_FIXTURE_H_

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "frame/date.h"
#include "frame/grid.h"
#include "frame/safe_array.h"
#include "frame/variant.h"
#include "plan/plan.h"
#include "tests/support/fake_connection.h"

namespace korimba::testing {

inline Date D(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
  return *MakeDate({.year = y, .month = m, .day = d, .hour = h, .minute = mi, .second = s});
}
inline Variant DV(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
  return Variant::FromDate(D(y, m, d, h, mi, s));
}
inline Variant T(std::string s) { return Variant::Text(std::move(s)); }
inline Variant I(int32_t v) { return Variant::I4(v); }

inline ResultTable Table(std::vector<std::string> columns,
                         std::initializer_list<std::vector<Variant>> rows) {
  ResultTable t;
  t.columns = std::move(columns);
  for (const auto& row : rows) t.cells.insert(t.cells.end(), row.begin(), row.end());
  return t;
}

class PlanOnFake : public ::testing::Test {
 protected:
  PlanOnFake() { plan->SetConn(Variant::Object(conn)); }

  std::shared_ptr<FakeConnection> conn = std::make_shared<FakeConnection>();
  std::shared_ptr<Plan> plan = std::make_shared<Plan>();
};

// A month grid as lines "row: c0 c1 ...": "." for an Empty cell, '' for an
// empty string, otherwise the cell's text.
inline std::string MonthLines(const Variant& grid) {
  const SafeArray& a = *grid.array();
  std::string out;
  for (int32_t r = a.bound(1).lower; r <= a.bound(1).upper; ++r) {
    out += std::to_string(r) + ":";
    for (int32_t c = a.bound(2).lower; c <= a.bound(2).upper; ++c) {
      const Variant& v = a.at({r, c});
      out += " ";
      if (v.is_empty()) {
        out += ".";
      } else if (v.text() && v.text()->empty()) {
        out += "''";
      } else {
        out += v.text() ? *v.text() : v.DebugString();
      }
    }
    out += "\n";
  }
  return out;
}

// The non-empty day cells of a month grid in calendar order, as "d=text"
// separated by blanks. `monday_first` walks each row Monday..Saturday and
// then its Sunday (column 1), as GetMonthPlan11 lays them out.
inline std::string DayTexts(const Variant& grid, bool monday_first) {
  const SafeArray& a = *grid.array();
  std::vector<int32_t> order;
  if (monday_first) {
    order = {2, 3, 4, 5, 6, 7, 1};
  } else {
    order = {1, 2, 3, 4, 5, 6, 7};
  }
  std::string out;
  int day = 0;
  for (int32_t r = 0; r <= a.bound(1).upper; ++r) {
    for (int32_t c : order) {
      const Variant& v = a.at({r, c});
      if (v.is_empty()) continue;
      ++day;
      if (v.text() && !v.text()->empty()) {
        if (!out.empty()) out += " ";
        out += std::to_string(day) + "=" + *v.text();
      }
    }
  }
  return out;
}

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_PLAN_PLAN_FIXTURE_H_

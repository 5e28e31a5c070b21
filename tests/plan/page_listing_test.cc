// The paged listing on a recording connection holding 25 plans: which
// records a page copies for page sizes given as numbers, texts and fractions,
// the last partial page, a page past the last, and the empty table.
#include <gtest/gtest.h>

#include "frame/error.h"
#include "frame/safe_array.h"
#include "tests/plan/plan_fixture.h"

namespace korimba::testing {
namespace {

class PageListing : public PlanOnFake {
 protected:
  // 25 plans with ids 1..25 in two columns (PlanID, PlanContent).
  void QueuePlans(int count) {
    ResultTable t;
    t.columns = {"PlanID", "PlanContent"};
    for (int id = 1; id <= count; ++id) {
      t.cells.push_back(I(id));
      t.cells.push_back(T("plan " + std::to_string(id)));
    }
    conn->QueueResult(std::move(t));
  }

  // "first..last" of the PlanIDs in column 0, after checking the shape.
  static std::string Ids(const Variant& grid) {
    const SafeArray& a = *grid.array();
    EXPECT_EQ(a.bound(1).lower, 0);
    EXPECT_EQ(a.bound(2), (Bound{0, 1}));
    return GridCell(grid, 0, 0).DebugString() + ".." +
           GridCell(grid, a.bound(1).upper, 0).DebugString() + " (" +
           std::to_string(a.bound(1).count()) + " rows)";
  }
};

TEST_F(PageListing, CopiesAtMostTheConvertedPageSize) {
  struct Case {
    const char* name;
    Variant size, page;
    std::string ids;
  };
  const Case cases[] = {
      {"first page", I(10), I(1), "1i4..10i4 (10 rows)"},
      {"middle page", I(10), I(2), "11i4..20i4 (10 rows)"},
      {"last partial page", I(10), I(3), "21i4..25i4 (5 rows)"},
      {"page size as a form field", T("10"), T("1"), "1i4..10i4 (10 rows)"},
      {"page size with blanks", T(" 10 "), T("2"), "11i4..20i4 (10 rows)"},
      {"fraction: pages cut by 2", Variant::R8(2.5), I(2), "3i4..4i4 (2 rows)"},
      {"fraction rounding up", Variant::R8(3.5), I(1), "1i4..4i4 (4 rows)"},
      {"page size beyond the table", I(100), I(1), "1i4..25i4 (25 rows)"},
      {"one per page", I(1), I(25), "25i4..25i4 (1 rows)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QueuePlans(25);
    EXPECT_EQ(Ids(plan->GetPageData(c.size, c.page)), c.ids);
  }
  EXPECT_EQ(conn->texts().front(), "Select * from DATA_Plan");
}

TEST_F(PageListing, RowsHoldWholeRecordsWithoutAHeader) {
  QueuePlans(3);
  EXPECT_EQ(GridString(plan->GetPageData(I(2), I(2))), "[0..0, 0..1]\n0: 3i4 | \"plan 3\"");
}

TEST_F(PageListing, APageBeyondTheLastFailsWithAClearDescription) {
  QueuePlans(25);
  try {
    plan->GetPageData(I(10), I(4));
    FAIL() << "page 4 of 3 was accepted";
  } catch (const AutomationError& e) {
    EXPECT_NE(e.description().find("4"), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("3 pages"), std::string::npos) << e.description();
  }
  for (const Variant& size : {I(0), I(-1), Variant::Null(), T("ten")}) {
    QueuePlans(25);
    EXPECT_THROW(plan->GetPageData(size, I(1)), AutomationError) << size.DebugString();
  }
}

TEST_F(PageListing, AnEmptyTableGivesNoArrayWhateverThePage) {
  QueuePlans(0);
  EXPECT_EQ(GridString(plan->GetPageData(I(10), I(1))), "no array");
  // Not even the page size is looked at.
  QueuePlans(0);
  EXPECT_EQ(GridString(plan->GetPageData(T("ten"), I(-3))), "no array");
}

}  // namespace
}  // namespace korimba::testing

#include "web/page_queries.h"

#include "frame/statement.h"
#include "frame/value_ops.h"

namespace korimba::web {
namespace {

int64_t CountOf(Connection& conn, const StatementBuilder& sql) {
  ResultTable table = conn.Query(sql.text());
  if (table.row_count() != 1 || table.column_count() != 1) return 0;
  const Variant& n = table.at(0, 0);
  return n.is_number() ? static_cast<int64_t>(ToDouble(n)) : 0;
}

}  // namespace

int64_t UnreadCount(Connection& conn, int32_t person) {
  StatementBuilder sql;
  sql << Lit{"SELECT COUNT(*) FROM DATA_Msg WHERE PersonID = "} << Int{person}
      << Lit{" AND msgFlag = 0"};
  return CountOf(conn, sql);
}

PersonPlanPage ReadPersonPlanPage(Connection& conn, int32_t person, int32_t page,
                                  int32_t per_page) {
  PersonPlanPage out;
  StatementBuilder count;
  count << Lit{"SELECT COUNT(*) FROM DATA_Plan WHERE PersonID = "} << Int{person};
  out.total = CountOf(conn, count);
  if (per_page < 1 || page < 1) return out;
  out.pages = (out.total + per_page - 1) / per_page;
  if (page > out.pages) return out;
  // TOP with NOT IN over the rows before the page: both SQL Server and the
  // embedded database answer it (neither needs OFFSET ... FETCH), and the
  // skipped rows are read from the person's own index entries only.
  const int64_t skip = int64_t{page - 1} * per_page;
  StatementBuilder sql;
  sql << Lit{"SELECT TOP "} << Int{per_page}
      << Lit{" PlanID, PersonID, PlanType, PlanClass, PlanBeginTime, PlanEndTime, "
             "PlanAlertTime, PlanContent, PlanPlace FROM DATA_Plan WHERE PersonID = "}
      << Int{person};
  if (skip > 0) {
    sql << Lit{" AND PlanID NOT IN (SELECT TOP "} << Int{skip}
        << Lit{" PlanID FROM DATA_Plan WHERE PersonID = "} << Int{person}
        << Lit{" ORDER BY PlanBeginTime, PlanID)"};
  }
  sql << Lit{" ORDER BY PlanBeginTime, PlanID"};
  out.rows = conn.Query(sql.text());
  return out;
}

ResultTable ReadPersonPlansOverlapping(Connection& conn, int32_t person, Date from, Date to) {
  const Variant first = Variant::Text(FormatDate(from));
  const Variant last = Variant::Text(FormatDate(to));
  StatementBuilder sql;
  sql << Lit{"SELECT PlanID, PlanBeginTime, PlanEndTime, PlanContent FROM DATA_Plan WHERE "
             "PersonID = "}
      << Int{person} << Lit{" AND PlanBeginTime <= '"} << Quoted{last}
      << Lit{"' AND PlanEndTime >= '"} << Quoted{first} << Lit{"' ORDER BY PlanBeginTime, PlanID"};
  return conn.Query(sql.text());
}

}  // namespace korimba::web

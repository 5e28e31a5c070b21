#include "web/page_queries.h"

#include <string_view>

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

// A list of one person's rows that the database pages: `columns` are read
// from `table` where its PersonID is the person, in `order`, which ends with a
// column unique to a row so that no two pages share a row.
struct Listing {
  std::string_view columns;
  std::string_view table;
  std::string_view order;
};

void FromPersonsRows(StatementBuilder& sql, const Listing& listing, int32_t person) {
  sql << Lit{" FROM "} << Lit{listing.table} << Lit{" WHERE PersonID = "} << Int{person};
}

PagedRows ReadPage(Connection& conn, const Listing& listing, int32_t person, int32_t page,
                   int32_t per_page) {
  PagedRows out;
  StatementBuilder count;
  count << Lit{"SELECT COUNT(*)"};
  FromPersonsRows(count, listing, person);
  out.total = CountOf(conn, count);
  if (per_page < 1 || page < 1) return out;
  out.pages = (out.total + per_page - 1) / per_page;
  if (page > out.pages) return out;
  // OFFSET ... FETCH (SQL Server 2012 and later, and the embedded database):
  // the rows before the page are passed over in the person's index entries,
  // without a visit to the table for each, so a late page costs about what
  // the first does.
  const int64_t skip = int64_t{page - 1} * per_page;
  StatementBuilder sql;
  sql << Lit{"SELECT "} << Lit{listing.columns};
  FromPersonsRows(sql, listing, person);
  sql << Lit{" ORDER BY "} << Lit{listing.order} << Lit{" OFFSET "} << Int{skip}
      << Lit{" ROWS FETCH NEXT "} << Int{per_page} << Lit{" ROWS ONLY"};
  out.rows = conn.Query(sql.text());
  return out;
}

constexpr Listing kPlans{
    "PlanID, PersonID, PlanType, PlanClass, PlanBeginTime, PlanEndTime, PlanAlertTime, "
    "PlanContent, PlanPlace",
    "DATA_Plan", "PlanBeginTime, PlanID"};

// In InboxColumn's order.
constexpr Listing kInbox{
    "(SELECT PersonName FROM HR_Person WHERE HR_Person.PersonID = DATA_Msg.MsgFromPersonID), "
    "MsgContent, msgCreatetime, MsgID, msgFlag, MsgFileName",
    "DATA_Msg", "msgCreatetime DESC, MsgID DESC"};

}  // namespace

int64_t UnreadCount(Connection& conn, int32_t person) {
  StatementBuilder sql;
  sql << Lit{"SELECT COUNT(*) FROM DATA_Msg WHERE PersonID = "} << Int{person}
      << Lit{" AND msgFlag = 0"};
  return CountOf(conn, sql);
}

PersonPlanPage ReadPersonPlanPage(Connection& conn, int32_t person, int32_t page,
                                  int32_t per_page) {
  return ReadPage(conn, kPlans, person, page, per_page);
}

PagedRows ReadInboxPage(Connection& conn, int32_t person, int32_t page, int32_t per_page) {
  return ReadPage(conn, kInbox, person, page, per_page);
}

ResultTable ReadSentGroupCopies(Connection& conn, int32_t sender, const std::string& minute) {
  // Ties in the order written, as track gives them: that is also the order
  // of the embedded database's index of the group messages by minute, which
  // then holds every row the statement reads (ordered otherwise, SQLite
  // walks everything the sender ever wrote to skip the sort).
  const Variant at = Variant::Text(minute);
  StatementBuilder sql;
  sql << Lit{"SELECT (SELECT PersonName FROM HR_Person WHERE HR_Person.PersonID = "
             "DATA_Msg.PersonID), MsgContent, MsgID, msgFlag, PersonID, MsgTitle, MsgFileName "
             "FROM DATA_Msg WHERE "
             "MsgFromPersonID = "}
      << Int{sender} << Lit{" AND CONVERT(char(16), msgCreatetime, 120) = '"} << Quoted{at}
      << Lit{"' AND MsgContent LIKE N'%群发消息%' ORDER BY msgCreatetime DESC, MsgID"};
  return conn.Query(sql.text());
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

#include "web/search_queries.h"

#include <algorithm>

#include "frame/statement.h"
#include "frame/value_ops.h"
#include "web/search_text.h"

namespace korimba::web {
namespace {

// The condition both lookups share: `columns` (two of them) hold the pattern.
void WhereEither(StatementBuilder& sql, std::string_view first, std::string_view second,
                 const Variant& pattern) {
  sql << Lit{" AND ("} << Lit{first} << Lit{" LIKE N'"} << Quoted{pattern} << Lit{"' OR "}
      << Lit{second} << Lit{" LIKE N'"} << Quoted{pattern} << Lit{"')"};
}

void MessageFilter(StatementBuilder& sql, int32_t person, const Variant& pattern) {
  sql << Lit{" FROM DATA_Msg WHERE (PersonID = "} << Int{person} << Lit{" OR MsgFromPersonID = "}
      << Int{person} << Lit{")"};
  WhereEither(sql, "MsgTitle", "MsgContent", pattern);
}

void PlanFilter(StatementBuilder& sql, int32_t person, const Variant& pattern) {
  sql << Lit{" FROM DATA_Plan WHERE PersonID = "} << Int{person};
  WhereEither(sql, "PlanContent", "PlanPlace", pattern);
}

int64_t CountOf(Connection& conn, const StatementBuilder& sql) {
  ResultTable table = conn.Query(sql.text());
  if (table.row_count() != 1 || table.column_count() != 1) return 0;
  const Variant& n = table.at(0, 0);
  return n.is_number() ? static_cast<int64_t>(ToDouble(n)) : 0;
}

double When(const SearchHit& hit) {
  const Date* date = hit.when.date();
  return date == nullptr ? 0 : TimeLineDays(*date);
}

}  // namespace

SearchResults Search(Connection& conn, int32_t person, std::string_view text, int32_t page,
                     int32_t per_page) {
  SearchResults out;
  if (text.empty() || per_page < 1) return out;
  const Variant pattern = Variant::Text(ContainsPattern(text));

  StatementBuilder count_messages;
  count_messages << Lit{"SELECT COUNT(*)"};
  MessageFilter(count_messages, person, pattern);
  StatementBuilder count_plans;
  count_plans << Lit{"SELECT COUNT(*)"};
  PlanFilter(count_plans, person, pattern);
  out.total = CountOf(conn, count_messages) + CountOf(conn, count_plans);
  out.pages = (out.total + per_page - 1) / per_page;
  if (page < 1 || page > out.pages || page > kMaxSearchPages) return out;

  // The newest `upto` of each kind hold the newest `upto` of both together.
  const int64_t upto = int64_t{page} * per_page;
  std::vector<SearchHit> hits;
  StatementBuilder messages;
  messages << Lit{"SELECT TOP "} << Int{upto}
           << Lit{" MsgID, msgCreatetime, MsgTitle, MsgContent, MsgFromPersonID, "
                  "(SELECT PersonName FROM HR_Person WHERE HR_Person.PersonID = "
                  "DATA_Msg.MsgFromPersonID), "
                  "(SELECT PersonName FROM HR_Person WHERE HR_Person.PersonID = "
                  "DATA_Msg.PersonID)"};
  MessageFilter(messages, person, pattern);
  messages << Lit{" ORDER BY msgCreatetime DESC, MsgID DESC"};
  ResultTable found = conn.Query(messages.text());
  for (size_t r = 0; r < found.row_count(); ++r) {
    SearchHit hit;
    hit.id = ToI4(found.at(r, 0));
    hit.when = found.at(r, 1);
    hit.title = found.at(r, 2);
    hit.text = found.at(r, 3);
    hit.sent = found.at(r, 4).is_number() && ToI4(found.at(r, 4)) == person;
    hit.other = found.at(r, hit.sent ? 6 : 5);
    hits.push_back(std::move(hit));
  }
  StatementBuilder plans;
  plans << Lit{"SELECT TOP "} << Int{upto}
        << Lit{" PlanID, PlanBeginTime, PlanEndTime, PlanContent, PlanPlace"};
  PlanFilter(plans, person, pattern);
  plans << Lit{" ORDER BY PlanBeginTime DESC, PlanID DESC"};
  found = conn.Query(plans.text());
  for (size_t r = 0; r < found.row_count(); ++r) {
    SearchHit hit;
    hit.kind = SearchHit::Kind::kPlan;
    hit.id = ToI4(found.at(r, 0));
    hit.when = found.at(r, 1);
    hit.end = found.at(r, 2);
    hit.text = found.at(r, 3);
    hit.place = found.at(r, 4);
    hits.push_back(std::move(hit));
  }
  // Equal times keep messages before plans, each in its statement's order.
  std::stable_sort(hits.begin(), hits.end(),
                   [](const SearchHit& a, const SearchHit& b) { return When(a) > When(b); });
  const size_t from = static_cast<size_t>(upto - per_page);
  for (size_t i = from; i < hits.size() && i < static_cast<size_t>(upto); ++i) {
    out.hits.push_back(std::move(hits[i]));
  }
  return out;
}

}  // namespace korimba::web

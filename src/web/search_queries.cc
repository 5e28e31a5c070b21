#include "web/search_queries.h"

#include <algorithm>
#include <unordered_map>

#include "frame/statement.h"
#include "frame/value_ops.h"
#include "web/search_text.h"

namespace korimba::web {
namespace {

// "column LIKE N'pattern'": the one way every branch tests a text.
void Like(StatementBuilder& sql, std::string_view column, const Variant& pattern) {
  sql << Lit{column} << Lit{" LIKE N'"} << Quoted{pattern} << Lit{"'"};
}

// " AND (first LIKE ... OR second LIKE ...)": either column holds the pattern.
void WhereEither(StatementBuilder& sql, std::string_view first, std::string_view second,
                 const Variant& pattern) {
  sql << Lit{" AND ("};
  Like(sql, first, pattern);
  sql << Lit{" OR "};
  Like(sql, second, pattern);
  sql << Lit{")"};
}

// One's messages in three branches, each reading one covering index (the
// person's entries side by side, texts included) instead of visiting the
// table once per row: received messages by content and, joined without
// repeats, by title (two indexes, as one holding both would also cover
// "select *" and draw other statements away from their own); then messages
// sent to someone else, by either.
void MessageMatches(StatementBuilder& sql, int32_t person, const Variant& pattern) {
  sql << Lit{"SELECT 0, MsgID, msgCreatetime FROM DATA_Msg WHERE PersonID = "} << Int{person}
      << Lit{" AND "};
  Like(sql, "MsgContent", pattern);
  sql << Lit{" UNION SELECT 0, MsgID, msgCreatetime FROM DATA_Msg WHERE PersonID = "} << Int{person}
      << Lit{" AND "};
  Like(sql, "MsgTitle", pattern);
  sql << Lit{" UNION ALL SELECT 0, MsgID, msgCreatetime FROM DATA_Msg WHERE MsgFromPersonID = "}
      << Int{person} << Lit{" AND (PersonID <> "} << Int{person} << Lit{" OR PersonID IS NULL)"};
  WhereEither(sql, "MsgTitle", "MsgContent", pattern);
}

void PlanFilter(StatementBuilder& sql, int32_t person, const Variant& pattern) {
  sql << Lit{" FROM DATA_Plan WHERE PersonID = "} << Int{person};
  WhereEither(sql, "PlanContent", "PlanPlace", pattern);
}

// One matching row as the first statement gives it: enough to count it and
// to place it in the merged order.
struct Match {
  bool plan = false;
  int32_t id = 0;
  const Date* when = nullptr;  // Null times come last
};

// Newest first; equal times put messages before plans, and each kind in the
// order of its ids, newest written first.
bool Before(const Match& a, const Match& b) {
  if ((a.when == nullptr) != (b.when == nullptr)) return a.when != nullptr;
  if (a.when != nullptr && a.when->serial != b.when->serial) {
    return TimeLineDays(*a.when) > TimeLineDays(*b.when);
  }
  if (a.plan != b.plan) return !a.plan;
  return a.id > b.id;
}

// " AND key IN (ids)" with the list padded to `slots` entries by repeating
// its last id, so that every page of any length shares one statement shape
// (and one prepared statement) per kind.
void IdsIn(StatementBuilder& sql, std::string_view key, const std::vector<int32_t>& ids,
           size_t slots) {
  sql << Lit{" AND "} << Lit{key} << Lit{" IN ("};
  for (size_t i = 0; i < std::max(slots, ids.size()); ++i) {
    if (i > 0) sql << Lit{", "};
    sql << Int{ids[std::min(i, ids.size() - 1)]};
  }
  sql << Lit{")"};
}

}  // namespace

SearchResults Search(Connection& conn, int32_t person, std::string_view text, int32_t page,
                     int32_t per_page) {
  SearchResults out;
  if (text.empty() || per_page < 1) return out;
  const Variant pattern = Variant::Text(ContainsPattern(text));

  // Every match of both kinds, with its id and time only, in one statement
  // over the person's index entries: the count, and the order the page is
  // cut from. The shown columns are read afterwards for the page's hits
  // alone.
  StatementBuilder matches;
  MessageMatches(matches, person, pattern);
  matches << Lit{" UNION ALL SELECT 1, PlanID, PlanBeginTime"};
  PlanFilter(matches, person, pattern);
  const ResultTable found = conn.Query(matches.text());
  out.total = static_cast<int64_t>(found.row_count());
  out.pages = (out.total + per_page - 1) / per_page;
  if (page < 1 || page > out.pages || page > kMaxSearchPages) return out;

  std::vector<Match> order;
  order.reserve(found.row_count());
  for (size_t r = 0; r < found.row_count(); ++r) {
    order.push_back(Match{ToI4(found.at(r, 0)) == 1, ToI4(found.at(r, 1)), found.at(r, 2).date()});
  }
  const size_t from = static_cast<size_t>(int64_t{page - 1} * per_page);
  const size_t upto = std::min(order.size(), from + static_cast<size_t>(per_page));
  std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(upto), order.end(),
                    Before);
  std::vector<int32_t> message_ids, plan_ids;
  for (size_t i = from; i < upto; ++i)
    (order[i].plan ? plan_ids : message_ids).push_back(order[i].id);

  // The page's hits by id; the person's id stays part of the condition.
  std::unordered_map<int32_t, SearchHit> messages, plans;
  if (!message_ids.empty()) {
    StatementBuilder sql;
    sql << Lit{"SELECT MsgID, msgCreatetime, MsgTitle, MsgContent, MsgFromPersonID, "
               "(SELECT PersonName FROM HR_Person WHERE HR_Person.PersonID = "
               "DATA_Msg.MsgFromPersonID), "
               "(SELECT PersonName FROM HR_Person WHERE HR_Person.PersonID = "
               "DATA_Msg.PersonID) FROM DATA_Msg WHERE (PersonID = "}
        << Int{person} << Lit{" OR MsgFromPersonID = "} << Int{person} << Lit{")"};
    IdsIn(sql, "MsgID", message_ids, static_cast<size_t>(per_page));
    const ResultTable rows = conn.Query(sql.text());
    for (size_t r = 0; r < rows.row_count(); ++r) {
      SearchHit hit;
      hit.id = ToI4(rows.at(r, 0));
      hit.when = rows.at(r, 1);
      hit.title = rows.at(r, 2);
      hit.text = rows.at(r, 3);
      hit.sent = rows.at(r, 4).is_number() && ToI4(rows.at(r, 4)) == person;
      hit.other = rows.at(r, hit.sent ? 6 : 5);
      messages.emplace(hit.id, std::move(hit));
    }
  }
  if (!plan_ids.empty()) {
    StatementBuilder sql;
    sql << Lit{"SELECT PlanID, PlanBeginTime, PlanEndTime, PlanContent, PlanPlace FROM DATA_Plan "
               "WHERE PersonID = "}
        << Int{person};
    IdsIn(sql, "PlanID", plan_ids, static_cast<size_t>(per_page));
    const ResultTable rows = conn.Query(sql.text());
    for (size_t r = 0; r < rows.row_count(); ++r) {
      SearchHit hit;
      hit.kind = SearchHit::Kind::kPlan;
      hit.id = ToI4(rows.at(r, 0));
      hit.when = rows.at(r, 1);
      hit.end = rows.at(r, 2);
      hit.text = rows.at(r, 3);
      hit.place = rows.at(r, 4);
      plans.emplace(hit.id, std::move(hit));
    }
  }
  // A row gone between the two reads is left out of the page.
  for (size_t i = from; i < upto; ++i) {
    auto& kind = order[i].plan ? plans : messages;
    auto it = kind.find(order[i].id);
    if (it != kind.end()) out.hits.push_back(std::move(it->second));
  }
  return out;
}

}  // namespace korimba::web

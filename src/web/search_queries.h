// The search page's lookups: a person's messages (sent or received, by
// title or content) and own plans (by content or place) that hold a text,
// merged newest first and cut into pages. Only rows the person may see are
// ever read: the person's id is part of every statement. One statement
// finds every match of both kinds (its id and time only) in one pass over the
// person's rows; the shown columns are then read by id for the page's hits
// alone, at most one statement per kind. Statements are
// built with StatementBuilder, the text going in as a LIKE pattern
// (web/search_text.h) that SQL Server and the embedded database both
// answer. Free functions; called on the thread that holds the connection.
#ifndef KORIMBA_WEB_SEARCH_QUERIES_H_
#define KORIMBA_WEB_SEARCH_QUERIES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/connection.h"
#include "frame/date.h"

namespace korimba::web {

struct SearchHit {
  enum class Kind { kMessage, kPlan };
  Kind kind = Kind::kMessage;
  int32_t id = 0;     // MsgID or PlanID
  Variant when;       // the message's creation time, the plan's beginning
  Variant end;        // a plan's end (Empty for messages)
  Variant title;      // a message's title (Empty for plans)
  Variant text;       // a message's content, a plan's content
  Variant place;      // a plan's place (Empty for messages)
  bool sent = false;  // a message the person sent (else received)
  Variant other;      // the name of the message's other person
};

struct SearchResults {
  int64_t total = 0;            // matching messages and plans in all
  int64_t pages = 0;            // pages of `per_page` hits, 0 for none
  std::vector<SearchHit> hits;  // the page asked for, newest first
};

// The most pages a search reaches: a search that many pages long should be
// narrowed instead.
inline constexpr int32_t kMaxSearchPages = 50;

// Page `page` (from 1) of `per_page` hits for `text` among `person`'s
// messages and plans; an empty text finds nothing. A page past the last
// (or past kMaxSearchPages) has no hits.
SearchResults Search(Connection& conn, int32_t person, std::string_view text, int32_t page,
                     int32_t per_page);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_SEARCH_QUERIES_H_

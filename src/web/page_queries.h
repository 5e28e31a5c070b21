// The pages' own lookups: statements the page host sends beside the
// component's methods when a page shows a summary that no method answers
// cheaply. Each asks the database for exactly what the page shows (a count,
// one page of rows) so that its cost follows what is on the screen, not the
// size of the tables. Statements are built with StatementBuilder from values
// the page already checked. Free functions; called on the thread that holds
// the connection.
#ifndef KORIMBA_WEB_PAGE_QUERIES_H_
#define KORIMBA_WEB_PAGE_QUERIES_H_

#include <cstdint>
#include <string>

#include "frame/connection.h"
#include "frame/date.h"

namespace korimba::web {

// The messages `person` received whose read flag is 0, counted by the
// database: the number the home page shows.
int64_t UnreadCount(Connection& conn, int32_t person);

// One page of a list the database pages for the page: `rows` holds that
// page's rows only.
struct PagedRows {
  int64_t total = 0;  // the rows of the whole list
  int64_t pages = 0;  // pages of `per_page` rows, 0 for none
  ResultTable rows;
};

// One page of a person's own plans, ordered by the time they begin (ties in
// the order they were added), with DATA_Plan's columns in table order
// (plan/plan.h PlanColumn).
using PersonPlanPage = PagedRows;

// Page `page` (from 1) of `per_page` plans; a page past the last has no rows.
// The statements read the person's plans through the (PersonID,
// PlanBeginTime) index: their cost grows neither with other persons' plans
// nor with the page number beyond the rows skipped in that index.
PersonPlanPage ReadPersonPlanPage(Connection& conn, int32_t person, int32_t page, int32_t per_page);

// One page of the messages `person` received, newest first (equal times the
// later written first), as rows of these columns: the received history.
struct InboxColumn {
  static constexpr size_t kSenderName = 0;  // Null when the sender is no person
  static constexpr size_t kContent = 1;
  static constexpr size_t kSent = 2;
  static constexpr size_t kMsgId = 3;
  static constexpr size_t kFlag = 4;
  static constexpr size_t kFileName = 5;
};
// Page `page` (from 1) of `per_page` messages, read through the person's
// inbox index as the plan pages are; a page past the last has no rows.
PagedRows ReadInboxPage(Connection& conn, int32_t person, int32_t page, int32_t per_page);

// The copies of the group messages `sender` sent in `minute` (a
// "yyyy-mm-dd hh:mi" text, as trackMsg gives it), newest first (equal times
// in the order written, as track lists them): the rows track lists for that
// minute that are
// the sender's own, with the recipient's name and what a change of the whole
// group needs of each copy, in one statement.
struct GroupCopyRowColumn {
  static constexpr size_t kRecipientName = 0;  // Null when the recipient is no person
  static constexpr size_t kContent = 1;
  static constexpr size_t kMsgId = 2;
  static constexpr size_t kFlag = 3;
  static constexpr size_t kRecipientId = 4;
  static constexpr size_t kTitle = 5;
  static constexpr size_t kFileName = 6;
};
ResultTable ReadSentGroupCopies(Connection& conn, int32_t sender, const std::string& minute);

// The person's plans that overlap [from, to] (begin at or before `to`, end
// at or after `from`), by begin time then id, as rows of PlanID,
// PlanBeginTime, PlanEndTime, PlanContent: what a calendar needs to link its
// entries to their plans and show their times.
struct OverlapColumn {
  static constexpr size_t kPlanId = 0;
  static constexpr size_t kBegin = 1;
  static constexpr size_t kEnd = 2;
  static constexpr size_t kContent = 3;
};
ResultTable ReadPersonPlansOverlapping(Connection& conn, int32_t person, Date from, Date to);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_PAGE_QUERIES_H_

// Received history, a page at a time by its own paged query (the same
// messages InceptMsg lists, newest first), and the tracking of one's group
// messages: the list of group messages sent (trackMsg) and, for one of them,
// who has read their copy: the copies track lists for that minute that the
// signed-in person sent, read by one query of the page's own
// (web/page_queries.h).
#include <algorithm>
#include <regex>

#include "frame/value_ops.h"
#include "message/message.h"
#include "web/group_message.h"
#include "web/html.h"
#include "web/page_queries.h"
#include "web/site.h"
#include "web/values.h"

namespace korimba::web {
namespace {

constexpr int32_t kMessagesPerPage = 20;

void HistoryPage(PageRequest& page) {
  int32_t wanted = 1;
  if (!page.Param("page").empty()) wanted = page.IdParam("page", "page number");
  const PagedRows found =
      ReadInboxPage(page.run().connection(), page.person_id(), wanted, kMessagesPerPage);
  if (found.rows.row_count() == 0 && wanted > 1) {
    throw BadInput("error.no_history_page", {std::to_string(wanted), std::to_string(found.total)});
  }
  // Moved into place, not copied: see the conversation page.
  mstch::array rows;
  rows.reserve(found.rows.row_count());
  for (size_t row = 0; row < found.rows.row_count(); ++row) {
    auto cell = [&](size_t col) -> const Variant& { return found.rows.at(row, col); };
    const Variant& file = cell(InboxColumn::kFileName);
    mstch::map item;
    item.emplace("id", DisplayText(cell(InboxColumn::kMsgId)));
    item.emplace("sender", DisplayText(cell(InboxColumn::kSenderName)));
    item.emplace("content", DisplayText(cell(InboxColumn::kContent)));
    item.emplace("sent", DisplayText(cell(InboxColumn::kSent)));
    item.emplace("unread", DisplayText(cell(InboxColumn::kFlag)) == "0");
    item.emplace("has_file", !file.is_null() && !file.is_empty());
    item.emplace("file_name", DisplayText(file));
    rows.emplace_back(std::move(item));
  }
  mstch::map context;
  context.emplace("none", rows.empty());
  context.emplace("rows", std::move(rows));
  context.emplace("total", std::to_string(found.total));
  context.emplace("page", std::to_string(wanted));
  context.emplace("pages", std::to_string(std::max<int64_t>(found.pages, 1)));
  context.emplace("has_prev", wanted > 1);
  context.emplace("prev", std::to_string(wanted - 1));
  context.emplace("has_next", wanted < found.pages);
  context.emplace("next", std::to_string(wanted + 1));
  page.Page(page.Text("title.history"), "history", std::move(context));
}

void TrackingPage(PageRequest& page) {
  GridView grid(page.run().Message("trackMsg", {page.person()}));
  mstch::array entries;
  if (!grid.IsNoRows() && grid.first_count() >= GroupMessageColumn::kColumns) {
    entries.reserve(grid.second_count());
    for (int32_t r = 0; r < grid.second_count(); ++r) {
      const Variant& content = grid.at(GroupMessageColumn::kContent, r);
      std::string minute = DisplayText(grid.at(GroupMessageColumn::kMinute, r));
      mstch::map entry;
      entry.emplace("content", DisplayText(content));
      entry.emplace("key", GroupKey(TextForm(content)));
      entry.emplace("minute_param", PercentEncode(minute));
      entry.emplace("minute", std::move(minute));
      entries.emplace_back(std::move(entry));
    }
  }
  mstch::map context;
  context.emplace("none", entries.empty());
  context.emplace("entries", std::move(entries));
  page.Page(page.Text("title.tracking"), "tracking", std::move(context));
}

void TrackPage(PageRequest& page) {
  std::string minute = page.Param("m");
  static const std::regex kMinute(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2})");
  if (!std::regex_match(minute, kMinute)) {
    throw BadInput("error.not_a_minute", {minute});
  }
  // The copies track lists for the minute that this person sent, read in
  // one statement rather than opening each copy to learn its sender.
  const ResultTable found = ReadSentGroupCopies(page.run().connection(), page.person_id(), minute);
  mstch::array copies;
  copies.reserve(found.row_count());
  int read = 0;
  for (size_t r = 0; r < found.row_count(); ++r) {
    auto cell = [&](size_t col) -> const Variant& { return found.at(r, col); };
    const bool is_read = DisplayText(cell(GroupCopyRowColumn::kFlag)) == "1";
    if (is_read) ++read;
    mstch::map copy;
    copy.emplace("recipient", DisplayText(cell(GroupCopyRowColumn::kRecipientName)));
    copy.emplace("content", DisplayText(cell(GroupCopyRowColumn::kContent)));
    copy.emplace("id", DisplayText(cell(GroupCopyRowColumn::kMsgId)));
    copy.emplace("read", is_read);
    copies.emplace_back(std::move(copy));
  }
  if (copies.empty()) throw NotFound("error.no_group_in_minute", {minute});
  mstch::map context;
  context.emplace("minute", minute);
  context.emplace("read_count", std::to_string(read));
  context.emplace("total", std::to_string(copies.size()));
  context.emplace("copies", std::move(copies));
  page.Page(page.Text("title.track"), "track", std::move(context));
}

}  // namespace

void RegisterHistoryPages(httplib::Server& server, Site& site) {
  Route(server, site, "GET", "/history", Access::kSignedIn, HistoryPage);
  Route(server, site, "GET", "/tracking", Access::kSignedIn, TrackingPage);
  Route(server, site, "GET", "/tracking/minute", Access::kSignedIn, TrackPage);
}

}  // namespace korimba::web

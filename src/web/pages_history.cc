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
  mstch::array rows;
  for (size_t row = 0; row < found.rows.row_count(); ++row) {
    auto cell = [&](size_t col) -> const Variant& { return found.rows.at(row, col); };
    const Variant& file = cell(InboxColumn::kFileName);
    rows.push_back(mstch::map{
        {"id", DisplayText(cell(InboxColumn::kMsgId))},
        {"sender", DisplayText(cell(InboxColumn::kSenderName))},
        {"content", DisplayText(cell(InboxColumn::kContent))},
        {"sent", DisplayText(cell(InboxColumn::kSent))},
        {"unread", DisplayText(cell(InboxColumn::kFlag)) == "0"},
        {"has_file", !file.is_null() && !file.is_empty()},
        {"file_name", DisplayText(file)},
    });
  }
  page.Page(page.Text("title.history"), "history",
            mstch::map{{"rows", rows},
                       {"none", rows.empty()},
                       {"total", std::to_string(found.total)},
                       {"page", std::to_string(wanted)},
                       {"pages", std::to_string(std::max<int64_t>(found.pages, 1))},
                       {"has_prev", wanted > 1},
                       {"prev", std::to_string(wanted - 1)},
                       {"has_next", wanted < found.pages},
                       {"next", std::to_string(wanted + 1)}});
}

void TrackingPage(PageRequest& page) {
  GridView grid(page.run().Message("trackMsg", {page.person()}));
  mstch::array entries;
  if (!grid.IsNoRows() && grid.first_count() >= GroupMessageColumn::kColumns) {
    for (int32_t r = 0; r < grid.second_count(); ++r) {
      std::string minute = DisplayText(grid.at(GroupMessageColumn::kMinute, r));
      entries.push_back(
          mstch::map{{"content", DisplayText(grid.at(GroupMessageColumn::kContent, r))},
                     {"minute", minute},
                     {"key", GroupKey(TextForm(grid.at(GroupMessageColumn::kContent, r)))},
                     {"minute_param", PercentEncode(minute)}});
    }
  }
  page.Page(page.Text("title.tracking"), "tracking",
            mstch::map{{"entries", entries}, {"none", entries.empty()}});
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
  int read = 0;
  for (size_t r = 0; r < found.row_count(); ++r) {
    auto cell = [&](size_t col) -> const Variant& { return found.at(r, col); };
    const bool is_read = DisplayText(cell(GroupCopyRowColumn::kFlag)) == "1";
    if (is_read) ++read;
    copies.push_back(
        mstch::map{{"recipient", DisplayText(cell(GroupCopyRowColumn::kRecipientName))},
                   {"content", DisplayText(cell(GroupCopyRowColumn::kContent))},
                   {"id", DisplayText(cell(GroupCopyRowColumn::kMsgId))},
                   {"read", is_read}});
  }
  if (copies.empty()) throw NotFound("error.no_group_in_minute", {minute});
  page.Page(page.Text("title.track"), "track",
            mstch::map{{"minute", minute},
                       {"copies", copies},
                       {"read_count", std::to_string(read)},
                       {"total", std::to_string(copies.size())}});
}

}  // namespace

void RegisterHistoryPages(httplib::Server& server, Site& site) {
  Route(server, site, "GET", "/history", Access::kSignedIn, HistoryPage);
  Route(server, site, "GET", "/tracking", Access::kSignedIn, TrackingPage);
  Route(server, site, "GET", "/tracking/minute", Access::kSignedIn, TrackPage);
}

}  // namespace korimba::web

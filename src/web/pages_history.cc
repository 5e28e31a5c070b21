// Received history (InceptMsg) and the tracking of one's group messages:
// the list of group messages sent (trackMsg) and, for one of them, who has
// read their copy (track). track lists every group copy of a minute, whoever
// sent it, so the page keeps only the copies the signed-in person sent.
#include <regex>

#include "frame/value_ops.h"
#include "message/message.h"
#include "web/html.h"
#include "web/site.h"
#include "web/values.h"

namespace korimba::web {
namespace {

void HistoryPage(PageRequest& page) {
  GridView grid(page.run().Message("InceptMsg", {page.person()}));
  mstch::array rows;
  // Row 0 holds the column names.
  for (int32_t row = 1; row < grid.first_count(); ++row) {
    auto cell = [&](int32_t col) { return grid.CellOrEmpty(row, col); };
    if (cell(ReceivedColumn::kMsgId).is_empty()) continue;
    const Variant file = cell(ReceivedColumn::kFileName);
    rows.push_back(mstch::map{
        {"id", DisplayText(cell(ReceivedColumn::kMsgId))},
        {"sender", DisplayText(cell(ReceivedColumn::kSenderName))},
        {"content", DisplayText(cell(ReceivedColumn::kContent))},
        {"sent", DisplayText(cell(ReceivedColumn::kSent))},
        {"unread", DisplayText(cell(ReceivedColumn::kFlag)) == "0"},
        {"has_file", !file.is_null() && !file.is_empty()},
        {"file_name", DisplayText(file)},
    });
  }
  page.Page(page.Text("title.history"), "history",
            mstch::map{{"rows", rows}, {"none", rows.empty()}});
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
  PageRun& run = page.run();
  GridView grid(run.Message("track", {Variant::Text(minute)}));
  mstch::array copies;
  int read = 0;
  if (!grid.IsNoRows() && grid.first_count() >= GroupCopyColumn::kColumns) {
    for (int32_t r = 0; r < grid.second_count(); ++r) {
      const Variant& id = grid.at(GroupCopyColumn::kMsgId, r);
      // Only copies this person sent: MsgRead names the sender.
      GridView one(run.Message("MsgRead", {id}));
      if (one.first_count() < 2 || DisplayText(one.CellOrEmpty(1, MessageColumn::kSenderId)) !=
                                       std::to_string(page.person_id())) {
        continue;
      }
      bool is_read = DisplayText(grid.at(GroupCopyColumn::kFlag, r)) == "1";
      if (is_read) ++read;
      copies.push_back(
          mstch::map{{"recipient", DisplayText(grid.at(GroupCopyColumn::kRecipientName, r))},
                     {"content", DisplayText(grid.at(GroupCopyColumn::kContent, r))},
                     {"id", DisplayText(id)},
                     {"read", is_read}});
    }
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

// Received history (InceptMsg) and the tracking of one's group messages:
// the list of group messages sent (trackMsg) and, for one of them, who has
// read their copy (track). track lists every group copy of a minute, whoever
// sent it, so the page keeps only the copies the signed-in person sent.
#include <regex>

#include "frame/value_ops.h"
#include "web/html.h"
#include "web/site.h"
#include "web/values.h"

namespace korimba::web {
namespace {

void HistoryPage(PageRequest& page) {
  GridView grid(page.run().Message("InceptMsg", {page.person()}));
  const int32_t name = FindColumn(grid, 0, "姓名");
  const int32_t content = FindColumn(grid, 0, "内容");
  const int32_t sent = FindColumn(grid, 0, "发送时间");
  const int32_t id = FindColumn(grid, 0, "msgID");
  const int32_t flag = FindColumn(grid, 0, "阅读标志");
  const int32_t file = FindColumn(grid, 0, "MsgFileName");
  mstch::array rows;
  for (int32_t row = 1; row < grid.first_count(); ++row) {
    auto cell = [&](int32_t col) { return grid.CellOrEmpty(row, col); };
    if (cell(id).is_empty()) continue;
    rows.push_back(mstch::map{
        {"id", DisplayText(cell(id))},
        {"sender", DisplayText(cell(name))},
        {"content", DisplayText(cell(content))},
        {"sent", DisplayText(cell(sent))},
        {"unread", DisplayText(cell(flag)) == "0"},
        {"has_file", !cell(file).is_null() && !cell(file).is_empty()},
        {"file_name", DisplayText(cell(file))},
    });
  }
  page.Page("Received messages", "history", mstch::map{{"rows", rows}, {"none", rows.empty()}});
}

void TrackingPage(PageRequest& page) {
  // A row set: (0, r) the content, (1, r) the minute of entry r.
  GridView grid(page.run().Message("trackMsg", {page.person()}));
  mstch::array entries;
  if (!grid.IsNoRows() && grid.first_count() >= 2) {
    for (int32_t r = 0; r < grid.second_count(); ++r) {
      std::string minute = DisplayText(grid.at(1, r));
      entries.push_back(mstch::map{{"content", DisplayText(grid.at(0, r))},
                                   {"minute", minute},
                                   {"minute_param", PercentEncode(minute)}});
    }
  }
  page.Page("Group messages", "tracking",
            mstch::map{{"entries", entries}, {"none", entries.empty()}});
}

void TrackPage(PageRequest& page) {
  std::string minute = page.Param("m");
  static const std::regex kMinute(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2})");
  if (!std::regex_match(minute, kMinute)) {
    throw BadInput("\"" + minute + "\" is not a minute of the form 2024-03-05 09:07.");
  }
  PageRun& run = page.run();
  // A row set: (0, r) recipient name, (1, r) content, (2, r) minute,
  // (3, r) message id, (4, r) read flag.
  GridView grid(run.Message("track", {Variant::Text(minute)}));
  const MessageLayout& layout = page.site.message_layout();
  mstch::array copies;
  int read = 0;
  if (!grid.IsNoRows() && grid.first_count() >= 5) {
    for (int32_t r = 0; r < grid.second_count(); ++r) {
      // Only copies this person sent: MsgRead names the sender.
      GridView one(run.Message("MsgRead", {grid.at(3, r)}));
      if (one.first_count() < 2 || layout.sender < 0 || layout.sender >= one.second_count() ||
          DisplayText(one.at(1, layout.sender)) != std::to_string(page.person_id())) {
        continue;
      }
      bool is_read = DisplayText(grid.at(4, r)) == "1";
      if (is_read) ++read;
      copies.push_back(mstch::map{{"recipient", DisplayText(grid.at(0, r))},
                                  {"content", DisplayText(grid.at(1, r))},
                                  {"id", DisplayText(grid.at(3, r))},
                                  {"read", is_read}});
    }
  }
  if (copies.empty()) throw NotFound("You sent no group message in the minute " + minute + ".");
  page.Page("Who has read it", "track",
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

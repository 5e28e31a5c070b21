#include "web/live_events.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <utility>

#include "frame/clock.h"
#include "frame/statement.h"
#include "frame/value_ops.h"
#include "web/event_hub.h"
#include "web/online_list.h"
#include "web/page_queries.h"
#include "web/reminders.h"
#include "web/site.h"
#include "web/static_files.h"
#include "web/templates.h"
#include "web/values.h"

namespace korimba::web {
namespace {

using SteadyClock = std::chrono::steady_clock;

// New messages sent with one look: a reconnecting page catches up on at most
// this many (it shows the rest on its next load).
constexpr int32_t kMaxMessagesPerLook = 20;
constexpr size_t kMaxPagePath = 200;

struct MessageColumnsSince {
  static constexpr size_t kId = 0;
  static constexpr size_t kRecipient = 1;
  static constexpr size_t kSender = 2;
  static constexpr size_t kSenderName = 3;
  static constexpr size_t kCreated = 4;
  static constexpr size_t kContent = 5;
  static constexpr size_t kFlag = 6;
  static constexpr size_t kFileName = 7;
  static constexpr size_t kTitle = 8;
};

// The person's messages, sent or received, after message `after`.
ResultTable MessagesSince(Connection& conn, int32_t person, int32_t after) {
  StatementBuilder sql;
  sql << Lit{"SELECT TOP "} << Int{kMaxMessagesPerLook}
      << Lit{" DATA_Msg.MsgID, DATA_Msg.PersonID, DATA_Msg.MsgFromPersonID, HR_Person.PersonName, "
             "DATA_Msg.msgCreatetime, DATA_Msg.MsgContent, DATA_Msg.msgFlag, "
             "DATA_Msg.MsgFileName, DATA_Msg.MsgTitle FROM DATA_Msg INNER JOIN HR_Person ON "
             "DATA_Msg.MsgFromPersonID = HR_Person.PersonID WHERE DATA_Msg.MsgID > "}
      << Int{after} << Lit{" AND (DATA_Msg.PersonID = "} << Int{person}
      << Lit{" OR DATA_Msg.MsgFromPersonID = "} << Int{person} << Lit{") ORDER BY DATA_Msg.MsgID"};
  return conn.Query(sql.text());
}

int32_t LastMessageId(Connection& conn) {
  ResultTable table = conn.Query("SELECT MAX(MsgID) FROM DATA_Msg");
  if (table.row_count() != 1 || !table.at(0, 0).is_number()) return 0;
  return ToI4(table.at(0, 0));
}

int32_t NumberOr(const Variant& value, int32_t otherwise) {
  return value.is_number() ? ToI4(value) : otherwise;
}

// The address the page was opened at, as GetOnlineList records it: one of
// this site's paths only.
std::string PagePath(std::string_view path) {
  if (path.empty() || path.front() != '/' || path.size() > kMaxPagePath ||
      (path.size() > 1 && (path[1] == '/' || path[1] == '\\'))) {
    return "/";
  }
  return std::string(path);
}

// One open stream: what it has told the page so far, and when it ends.
class LiveStream {
 public:
  LiveStream(Site& site, std::shared_ptr<const WebSession> session, int32_t person,
             Language language, std::string page_path, int32_t with,
             std::optional<int32_t> last_seen, EventHub::Slot slot)
      : site_(site),
        session_(std::move(session)),
        person_(person),
        language_(language),
        page_path_(std::move(page_path)),
        with_(with),
        last_id_(last_seen),
        slot_(std::move(slot)) {}

  // Called by httplib for as long as the stream is open: each call waits for
  // a change or the next tick, then writes what is new (at least a comment,
  // so that a page that has gone is noticed when the write fails).
  bool Next(httplib::DataSink& sink) {
    const EventHub& hub = site_.events();
    std::string out;
    try {
      if (!ends_) {
        ends_ = SteadyClock::now() + hub.settings().stream_time;
        out = "retry: " + std::to_string(hub.settings().retry_ms) + "\n\n";
      } else {
        if (SteadyClock::now() >= *ends_) {
          sink.done();
          return true;
        }
        site_.events().WaitForChange(seen_,
                                     std::min(*ends_, SteadyClock::now() + hub.settings().tick));
      }
      seen_ = site_.events().generation();
      if (site_.sessions().Find(session_->id) == nullptr) {
        out += StreamEvent("signed-out", "");
        sink.write(out.data(), out.size());
        sink.done();
        return true;
      }
      out += Look();
    } catch (const std::exception&) {
      // A failed look (the database busy or gone) ends this stream; the
      // browser comes back after the retry time.
      sink.done();
      return true;
    }
    if (out.empty()) out = ":\n\n";
    return sink.write(out.data(), out.size());
  }

 private:
  std::string Id() const { return std::to_string(last_id_.value_or(0)); }

  std::string Look() {
    PageRun run(site_.application(), session_->values, page_path_, site_.pool(), site_.work_path());
    Connection& conn = run.connection();
    const bool first = !unread_.has_value();
    std::string out;
    if (!last_id_) last_id_ = LastMessageId(conn);
    out += NewMessages(conn);
    const int64_t unread = UnreadCount(conn, person_);
    if (unread != unread_) {
      unread_ = unread;
      out += StreamEvent("unread", std::to_string(unread), Id());
    }
    const auto due = DueReminders(conn, person_, ComponentClock()->Now());
    for (const Reminder& reminder : TakeUnannounced(*session_->values, due)) {
      out += ReminderEvent(reminder);
    }
    if (first || SteadyClock::now() >= next_online_) {
      next_online_ = SteadyClock::now() + site_.events().settings().online_every;
      out += StreamEvent("online", OnlineFragmentHtml(run, person_, language_), Id());
    }
    return out;
  }

  std::string NewMessages(Connection& conn) {
    ResultTable rows = MessagesSince(conn, person_, *last_id_);
    const Catalog& texts = Catalog::For(language_);
    std::string out;
    for (size_t row = 0; row < rows.row_count(); ++row) {
      auto cell = [&](size_t column) -> const Variant& { return rows.at(row, column); };
      const int32_t id = NumberOr(cell(MessageColumnsSince::kId), 0);
      const int32_t to = NumberOr(cell(MessageColumnsSince::kRecipient), 0);
      const int32_t from = NumberOr(cell(MessageColumnsSince::kSender), 0);
      last_id_ = std::max(*last_id_, id);
      const int32_t other = from == person_ ? to : from;
      std::string json = "{\"id\":" + std::to_string(id) + ",\"with\":" + std::to_string(other);
      if (with_ != 0 && other == with_) {
        const Variant& file = cell(MessageColumnsSince::kFileName);
        mstch::map item{
            {"id", std::to_string(id)},
            {"sender", DisplayText(cell(MessageColumnsSince::kSenderName))},
            {"created", DisplayText(cell(MessageColumnsSince::kCreated))},
            {"content", DisplayText(cell(MessageColumnsSince::kContent))},
            {"unread", DisplayText(cell(MessageColumnsSince::kFlag)) == "0"},
            {"mine", from == person_},
            {"has_file", !file.is_null() && !file.is_empty()},
            {"file_name", DisplayText(file)},
            {"token", session_->token},
            {"t", CatalogLambda(language_)},
        };
        json += ",\"html\":" + JsonText(RenderTemplate("conversation_item", item));
      }
      if (to == person_ && from != person_) {
        const std::string sender = DisplayText(cell(MessageColumnsSince::kSenderName));
        std::string body = DisplayText(cell(MessageColumnsSince::kTitle));
        if (body.empty()) body = DisplayText(cell(MessageColumnsSince::kContent));
        json += ",\"notice\":" + JsonText(texts.Format("live.message_from", {sender})) +
                ",\"body\":" + JsonText(body);
      }
      out += StreamEvent("post", json + "}", Id());
    }
    return out;
  }

  std::string ReminderEvent(const Reminder& reminder) {
    mstch::map item = ReminderContext(reminder);
    item["t"] = CatalogLambda(language_);
    const Catalog& texts = Catalog::For(language_);
    std::string body = DisplayText(reminder.begin);
    if (!DisplayText(reminder.place).empty()) body += " · " + DisplayText(reminder.place);
    std::string json =
        "{\"id\":" + std::to_string(reminder.plan_id) +
        ",\"html\":" + JsonText(RenderTemplate("reminder_item", item)) +
        ",\"notice\":" + JsonText(texts.Format("live.reminder", {DisplayText(reminder.content)})) +
        ",\"body\":" + JsonText(body) + "}";
    return StreamEvent("reminder", json, Id());
  }

  Site& site_;
  std::shared_ptr<const WebSession> session_;
  int32_t person_;
  Language language_;
  std::string page_path_;
  int32_t with_;
  std::optional<int32_t> last_id_;
  EventHub::Slot slot_;
  std::optional<SteadyClock::time_point> ends_;
  SteadyClock::time_point next_online_;
  uint64_t seen_ = 0;
  std::optional<int64_t> unread_;
};

void EventsPage(PageRequest& page) {
  Site& site = page.site;
  auto slot = site.events().TryOpen();
  if (!slot) {
    // EventSource gives up on a refused stream; the page then polls.
    page.res.status = 503;
    page.res.set_header("Retry-After", "30");
    page.res.set_header("Cache-Control", "no-store");
    page.res.set_content(page.Text("live.too_many_streams"), "text/plain; charset=utf-8");
    return;
  }
  auto session = SessionOf(site, page.req);
  if (session == nullptr) {
    page.Redirect("/signin");
    return;
  }
  std::optional<int32_t> last_seen;
  if (auto id = ParsePositiveInt(page.req.get_header_value("Last-Event-ID"))) last_seen = *id;
  if (page.req.get_header_value("Last-Event-ID") == "0") last_seen = 0;
  const int32_t with = ParsePositiveInt(page.Param("with")).value_or(0);
  auto stream =
      std::make_shared<LiveStream>(site, std::move(session), page.person_id(), page.language(),
                                   PagePath(page.Param("page")), with, last_seen, std::move(*slot));
  page.res.set_header("Cache-Control", "no-store");
  page.res.set_header("X-Accel-Buffering", "no");
  // Exactly this type: httplib compresses every other text/ answer, and a
  // compressed stream would be held back in the compressor. Event streams
  // are UTF-8 by definition.
  page.res.set_chunked_content_provider(
      "text/event-stream",
      [stream](size_t, httplib::DataSink& sink) { return stream->Next(sink); });
}

}  // namespace

std::string StreamEvent(std::string_view name, std::string_view data, std::string_view id) {
  std::string out = "event: " + std::string(name) + "\n";
  if (!id.empty()) out += "id: " + std::string(id) + "\n";
  size_t start = 0;
  for (;;) {
    size_t end = data.find_first_of("\r\n", start);
    out += "data: ";
    out += data.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    out += "\n";
    if (end == std::string_view::npos) break;
    start = end + (data.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return out + "\n";
}

std::string JsonText(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::optional<int64_t> UnreadForTitle(PageRequest& page) {
  try {
    return UnreadCount(page.run().connection(), page.person_id());
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void RegisterLiveEvents(httplib::Server& server, Site& site) {
  Route(server, site, "GET", "/events", Access::kSignedIn, EventsPage);
  server.Get("/static/live.js", [](const httplib::Request& req, httplib::Response& res) {
    SendStatic(req, res, "live.js", "text/javascript; charset=utf-8");
  });
}

}  // namespace korimba::web

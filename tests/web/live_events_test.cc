// The live-update stream through real HTTP: the state it opens with, a post
// by another person arriving on it, the bound on open streams, reminders
// that are due (and only those, once per session), the unread count in the
// title, and the event framing that keeps message text from forging events.
#include "web/live_events.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "frame/clock.h"
#include "frame/value_ops.h"
#include "tests/web/test_site.h"

namespace korimba::web {
namespace {

using testing::Has;
using testing::TestSite;
using testing::Visitor;

struct StreamRead {
  int status = 0;
  std::string type, encoding;
  std::string text;
};

// Reads GET `path` as `who` until `enough` holds for what has arrived, or
// the client's 5-second read timeout passes.
StreamRead ReadStream(int port, const Visitor& who, const std::string& path,
                      const std::function<bool(const std::string&)>& enough,
                      httplib::Headers extra = {}) {
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(5, 0);
  extra.emplace("Cookie", who.cookie());
  extra.emplace("Accept-Language", "en");
  StreamRead out;
  auto result = client.Get(
      path, extra,
      [&](const httplib::Response& res) {
        out.status = res.status;
        out.type = res.get_header_value("Content-Type");
        out.encoding = res.get_header_value("Content-Encoding");
        return true;
      },
      [&](const char* data, size_t length) {
        out.text.append(data, length);
        return !enough(out.text);
      });
  if (result) out.status = result->status;
  return out;
}

auto Holds(std::string wanted) {
  return [wanted](const std::string& text) { return text.find(wanted) != std::string::npos; };
}

class LiveEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [id, name] : {std::pair{1, "Ann"}, {2, "Bo"}}) {
      site_.conn().Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (" +
                           std::to_string(id) + ", '" + name + "')");
    }
    ann_.SignIn(1);
    bo_.SignIn(2);
  }
  void AddMessage(int to, int from, const std::string& content) {
    site_.conn().Execute(
        "INSERT INTO DATA_Msg (PersonID, MsgFromPersonID, MsgTitle, MsgContent, msgFlag) "
        "VALUES (" +
        std::to_string(to) + ", " + std::to_string(from) + ", '', '" + content + "', 0)");
  }
  void AddPlan(int person, const std::string& content, const std::string& begin,
               const std::string& end, const std::string& alert) {
    site_.conn().Execute(
        "INSERT INTO DATA_Plan (PersonID, PlanType, PlanClass, PlanBeginTime, PlanEndTime, "
        "PlanAlertTime, PlanContent, PlanPlace) VALUES (" +
        std::to_string(person) + ", 1, 1, '" + begin + "', '" + end + "', '" + alert + "', '" +
        content + "', 'Room 2')");
  }

  // A stream gives its slot back when the server drops its answer, just
  // after the last bytes went out.
  void WaitForNoStreams() {
    for (int i = 0; i < 50 && site_.site().events().open_streams() > 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

  TestSite site_;
  Visitor ann_{site_.port()};
  Visitor bo_{site_.port()};
};

TEST_F(LiveEventsTest, FirstEventsHoldTheCurrentState) {
  AddMessage(1, 2, "first");
  AddMessage(1, 2, "second");
  // A browser that takes compressed answers still gets the stream as it is
  // written: a compressor would hold the events back.
  StreamRead read = ReadStream(site_.port(), ann_, "/events?page=/messages", Holds("event: online"),
                               {{"Accept-Encoding", "gzip, deflate"}});
  EXPECT_EQ(read.status, 200);
  EXPECT_EQ(read.type, "text/event-stream");
  EXPECT_EQ(read.encoding, "");
  EXPECT_TRUE(read.text.starts_with("retry: ")) << read.text;
  EXPECT_NE(read.text.find("event: unread\nid: 2\ndata: 2\n\n"), std::string::npos) << read.text;
  // The on-line list is fetched under the page's own address.
  EXPECT_NE(read.text.find("data-person=\"1\""), std::string::npos) << read.text;
  EXPECT_NE(read.text.find("/messages"), std::string::npos);
  // Messages from before the stream opened are state, not news.
  EXPECT_EQ(read.text.find("event: post"), std::string::npos) << read.text;
}

TEST_F(LiveEventsTest, APostByAnotherPersonAppearsOnTheOpenConversation) {
  std::atomic<bool> opened{false};
  StreamRead read;
  std::thread reader([&] {
    read = ReadStream(
        site_.port(), ann_, "/events?page=/messages&with=2", [&](const std::string& text) {
          if (text.find("event: online") != std::string::npos) opened = true;
          return text.find("event: post") != std::string::npos &&
                 text.find("event: unread", text.find("event: post")) != std::string::npos;
        });
  });
  while (!opened) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  bo_.Get("/messages?with=1");
  auto sent =
      bo_.Post("/messages/send", {{"to", "1"}, {"title", ""}, {"content", "Lunch <b>?</b>"}});
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->status, 303);
  reader.join();
  const size_t post = read.text.find("event: post");
  ASSERT_NE(post, std::string::npos) << read.text;
  const std::string event = read.text.substr(post, read.text.find("\n\n", post) - post);
  // The row as the conversation shows it (escaped), and a notice for Ann.
  EXPECT_NE(event.find("Lunch &lt;b&gt;?&lt;/b&gt;"), std::string::npos) << event;
  EXPECT_NE(event.find("\"with\":2"), std::string::npos);
  EXPECT_NE(event.find("\"notice\":\"New message from Bo\""), std::string::npos) << event;
  EXPECT_NE(read.text.find("data: 1\n", post), std::string::npos);  // unread went to 1
}

TEST_F(LiveEventsTest, AReconnectingPageGetsTheMessagesItMissed) {
  AddMessage(1, 2, "before");
  const std::string last = TextForm(site_.conn().Query("SELECT MAX(MsgID) FROM DATA_Msg").at(0, 0));
  AddMessage(1, 2, "while away");
  AddMessage(2, 1, "own reply");
  StreamRead read = ReadStream(site_.port(), ann_, "/events?with=2", Holds("event: online"),
                               {{"Last-Event-ID", last}});
  EXPECT_EQ(read.text.find("before"), std::string::npos);
  EXPECT_NE(read.text.find("while away"), std::string::npos) << read.text;
  // One's own message is shown but not announced.
  const size_t own = read.text.find("own reply");
  ASSERT_NE(own, std::string::npos);
  EXPECT_EQ(read.text.find("notice", read.text.rfind("event: post", own)),
            read.text.find("notice", own) == std::string::npos ? std::string::npos
                                                               : read.text.find("notice", own));
}

TEST_F(LiveEventsTest, StreamsBeyondTheBoundAreRefusedReadably) {
  StreamSettings settings;
  settings.max_streams = 1;
  settings.tick = std::chrono::milliseconds(100);
  site_.site().events().set_settings(settings);
  std::atomic<bool> opened{false};
  std::atomic<bool> stop{false};
  std::thread holder([&] {
    ReadStream(site_.port(), ann_, "/events", [&](const std::string& text) {
      if (text.find("event: online") != std::string::npos) opened = true;
      return stop.load();
    });
  });
  while (!opened) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  StreamRead refused = ReadStream(site_.port(), bo_, "/events", Holds("\n"));
  EXPECT_EQ(refused.status, 503);
  EXPECT_NE(refused.text.find("Too many pages are following live updates"), std::string::npos)
      << refused.text;
  // Pages themselves are still answered.
  EXPECT_EQ(bo_.Get("/")->status, 200);
  stop = true;
  holder.join();
  // The slot is free again once the first stream has noticed its reader left.
  WaitForNoStreams();
  EXPECT_EQ(ReadStream(site_.port(), bo_, "/events", Holds("event: online")).status, 200);
}

TEST_F(LiveEventsTest, AStreamEndsAfterItsTimeAndRefusesVisitorsNotSignedIn) {
  StreamSettings settings;
  settings.stream_time = std::chrono::milliseconds(300);
  site_.site().events().set_settings(settings);
  StreamRead read = ReadStream(site_.port(), ann_, "/events", [](const std::string&) {
    return false;  // read until the server ends it
  });
  EXPECT_EQ(read.status, 200);
  EXPECT_NE(read.text.find("event: unread"), std::string::npos);
  WaitForNoStreams();
  EXPECT_EQ(site_.site().events().open_streams(), 0);

  Visitor stranger(site_.port());
  EXPECT_EQ(stranger.Get("/events")->status, 303);
}

TEST_F(LiveEventsTest, RemindersAreShownWhileDueAndAnnouncedOncePerSession) {
  ScopedClockOverride clock(*ParseDateText("2026-03-02 09:00:00"));
  AddPlan(1, "due now", "2026-03-02 08:50:00", "2026-03-02 09:20:00", "2026-03-02 08:45:00");
  AddPlan(1, "alert later", "2026-03-02 11:00:00", "2026-03-02 12:00:00", "2026-03-02 09:10:00");
  AddPlan(1, "already over", "2026-03-02 07:00:00", "2026-03-02 08:00:00", "2026-03-02 06:45:00");
  AddPlan(2, "plan of Bo", "2026-03-02 09:30:00", "2026-03-02 10:00:00", "2026-03-02 08:45:00");
  AddPlan(1, "ending this second", "2026-03-02 08:00:00", "2026-03-02 09:00:00",
          "2026-03-02 07:45:00");

  auto home = ann_.Get("/");
  EXPECT_TRUE(Has(home, "due now"));
  EXPECT_TRUE(Has(home, "ending this second"));
  EXPECT_FALSE(Has(home, "alert later"));
  EXPECT_FALSE(Has(home, "already over"));
  EXPECT_FALSE(Has(home, "plan of Bo"));

  StreamRead first = ReadStream(site_.port(), ann_, "/events", Holds("event: online"));
  EXPECT_NE(first.text.find("\"notice\":\"Reminder: due now\""), std::string::npos) << first.text;
  EXPECT_EQ(first.text.find("alert later"), std::string::npos);
  StreamRead again = ReadStream(site_.port(), ann_, "/events", Holds("event: online"));
  EXPECT_EQ(again.text.find("event: reminder"), std::string::npos) << again.text;

  // Its alert time comes (within the session's idle time, which follows the
  // same clock).
  clock->Set(*ParseDateText("2026-03-02 09:11:00"));
  StreamRead later = ReadStream(site_.port(), ann_, "/events", Holds("event: reminder"));
  EXPECT_NE(later.text.find("Reminder: alert later"), std::string::npos) << later.text;
  EXPECT_EQ(later.text.find("Reminder: due now"), std::string::npos);
  clock->Set(*ParseDateText("2026-03-02 09:25:00"));
  EXPECT_FALSE(Has(ann_.Get("/"), "due now"));  // ended at 09:20
}

TEST_F(LiveEventsTest, TheTitleStartsWithTheUnreadCount) {
  EXPECT_TRUE(Has(ann_.Get("/plans"), "<title>Plans"));
  AddMessage(1, 2, "one");
  AddMessage(1, 2, "two");
  AddMessage(1, 2, "three");
  EXPECT_TRUE(Has(ann_.Get("/plans"), "<title>(3) Plans"));
  EXPECT_TRUE(Has(ann_.Get("/"), "<title>(3) "));
  EXPECT_TRUE(Has(bo_.Get("/"), "<title>Home"));
}

TEST(StreamEventTest, EachLineOfDataIsItsOwnDataLine) {
  struct Case {
    std::string data, id, framed;
  } cases[] = {
      {"3", "7", "event: x\nid: 7\ndata: 3\n\n"},
      {"", "", "event: x\ndata: \n\n"},
      // A line break in a message cannot end the event or start another.
      {"a\n\nevent: y\r\ndata: z\rq", "",
       "event: x\ndata: a\ndata: \ndata: event: y\ndata: data: z\ndata: q\n\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(StreamEvent("x", c.data, c.id), c.framed) << c.data;
}

TEST(StreamEventTest, JsonTextEscapesQuotesBackslashesAndControls) {
  EXPECT_EQ(JsonText("a\"b\\c\n\x01 中"), "\"a\\\"b\\\\c\\n\\u0001 中\"");
}

}  // namespace
}  // namespace korimba::web

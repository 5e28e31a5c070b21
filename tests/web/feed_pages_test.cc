// The calendar pages over HTTP: the subscription address on the plans page,
// the feed it names (read back with libical: the person's own plans only, at
// the right times), refusals that start no session, renewal replacing the
// address, and one plan as a download.
#include <gtest/gtest.h>
#include <libical/ical.h>

#include <ctime>
#include <regex>

#include "frame/value_ops.h"
#include "tests/web/test_site.h"

namespace korimba::web {
namespace {

using testing::Has;
using testing::TestSite;
using testing::Visitor;

class FeedPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.conn().Execute(
        "INSERT INTO HR_Person (PersonID, PersonName) VALUES (1, N'安娜'), (2, 'Bo')");
    ann_.SignIn(1);
    Add(ann_, "Review, budget; 季度\nsecond line", "2025-01-31T15:00", "2025-01-31T16:30",
        "Room 2");
    Add(ann_, "Early", "2025-01-02T08:00", "2025-01-02T09:00", "");
    Visitor bo(site_.port());
    bo.SignIn(2);
    Add(bo, "Bo's secret", "2025-01-31T15:00", "2025-01-31T16:00", "");
  }

  static void Add(Visitor& v, const std::string& content, const std::string& begin,
                  const std::string& end, const std::string& place) {
    v.Get("/plans/new");
    auto r = v.Post("/plans/add",
                    {{"content", content}, {"begin", begin}, {"end", end}, {"place", place}});
    ASSERT_EQ(r->status, 303) << r->body;
  }

  // The address the plans page offers, as a path with its query.
  std::string FeedPath() {
    auto page = ann_.Get("/plans");
    std::smatch m;
    static const std::regex kAddress(
        R"re(id="feed-address" readonly value="http://[^/"]+([^"]+)")re");
    std::string body = page ? page->body : "";
    if (!std::regex_search(body, m, kAddress)) return "";
    return std::regex_replace(m[1].str(), std::regex("&amp;"), "&");
  }

  // "local begin|summary|location" of each event, in order.
  static std::string Events(const std::string& text) {
    icalcomponent* cal = icalparser_parse_string(text.c_str());
    if (cal == nullptr) return "unreadable";
    std::string out;
    for (icalcomponent* e = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); e;
         e = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
      std::time_t at = icaltime_as_timet_with_zone(icalcomponent_get_dtstart(e),
                                                   icaltimezone_get_utc_timezone());
      std::tm local{};
      localtime_r(&at, &local);
      char when[32];
      std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
      // The whole text is the description when it differs from the summary.
      const char* text = icalcomponent_get_description(e);
      const char* place = icalcomponent_get_location(e);
      out += std::string(when) + "|" + (text ? text : icalcomponent_get_summary(e)) + "|" +
             (place ? place : "") + "\n";
    }
    icalcomponent_free(cal);
    return out;
  }

  TestSite site_;
  Visitor ann_{site_.port()};
};

TEST_F(FeedPagesTest, TheAddressOnThePlansPageServesThePersonsPlans) {
  const std::string path = FeedPath();
  ASSERT_TRUE(path.starts_with("/calendar/feed.ics?person=1&key=")) << path;
  httplib::Client calendar_app("127.0.0.1", site_.port());
  auto feed = calendar_app.Get(path);
  ASSERT_TRUE(feed);
  EXPECT_EQ(feed->status, 200);
  EXPECT_EQ(feed->get_header_value("Content-Type"), "text/calendar; charset=utf-8");
  EXPECT_EQ(feed->get_header_value("Set-Cookie"), "");
  EXPECT_TRUE(Has(feed, "X-WR-CALNAME:安娜 的日程"));
  EXPECT_EQ(Events(feed->body),
            "2025-01-02 08:00|Early|\n"
            "2025-01-31 15:00|Review, budget; 季度\nsecond line|Room 2\n");
}

TEST_F(FeedPagesTest, AWrongAddressIsRefusedAndStartsNoSession) {
  const std::string path = FeedPath();
  const std::string token = path.substr(path.find("key=") + 4);
  httplib::Client app("127.0.0.1", site_.port());
  const std::string other_person = "/calendar/feed.ics?person=2&key=" + token;
  std::string flipped = token;
  flipped[0] = flipped[0] == 'a' ? 'b' : 'a';
  const std::vector<std::string> wrong_addresses = {
      other_person,
      "/calendar/feed.ics?person=1&key=" + flipped,
      "/calendar/feed.ics?person=1",
      "/calendar/feed.ics?person=99&key=" + token,
      "/calendar/feed.ics?person=x&key=" + token,
      "/calendar/feed.ics",
  };
  for (const std::string& wrong : wrong_addresses) {
    auto r = app.Get(wrong);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 404) << wrong;
    EXPECT_EQ(r->get_header_value("Set-Cookie"), "") << wrong;
    EXPECT_FALSE(Has(r, "BEGIN:VCALENDAR")) << wrong;
  }
}

TEST_F(FeedPagesTest, RenewingReplacesTheAddress) {
  const std::string old_path = FeedPath();
  httplib::Client app("127.0.0.1", site_.port());
  ASSERT_EQ(app.Get(old_path)->status, 200);
  auto renewed = ann_.Post("/plans/feed/renew", {});
  ASSERT_EQ(renewed->status, 303);
  EXPECT_EQ(renewed->get_header_value("Location"), "/plans?done=renewed#feed");
  const std::string new_path = FeedPath();
  EXPECT_NE(new_path, old_path);
  EXPECT_EQ(app.Get(old_path)->status, 404);
  EXPECT_EQ(app.Get(new_path)->status, 200);
  // Renewing asks first, and needs the form's token.
  EXPECT_TRUE(Has(ann_.Get("/plans"), "data-confirm=\"Make a new address?"));
  EXPECT_EQ(ann_.Post("/plans/feed/renew", {}, false)->status, 403);
  EXPECT_EQ(FeedPath(), new_path);
}

TEST_F(FeedPagesTest, APlanDownloadsAsACalendarOfOne) {
  const std::string id = TextForm(
      site_.conn().Query("SELECT PlanID FROM DATA_Plan WHERE PlanContent = 'Early'").at(0, 0));
  EXPECT_TRUE(Has(ann_.Get("/plans/view?id=" + id), "href=\"/plans/ics?id=" + id + "\""));
  auto ics = ann_.Get("/plans/ics?id=" + id);
  ASSERT_EQ(ics->status, 200);
  EXPECT_EQ(ics->get_header_value("Content-Disposition"),
            "attachment; filename=\"plan-" + id + ".ics\"");
  EXPECT_EQ(Events(ics->body), "2025-01-02 08:00|Early|\n");
  const std::string bos =
      TextForm(site_.conn().Query("SELECT PlanID FROM DATA_Plan WHERE PersonID = 2").at(0, 0));
  EXPECT_EQ(ann_.Get("/plans/ics?id=" + bos)->status, 404);
}

}  // namespace
}  // namespace korimba::web

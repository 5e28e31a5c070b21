// The calendar text read back with libical's own parser: the times as the UTC
// moments the server's local times name (daylight saving included), the
// texts whole whatever characters they hold, lines folded within 75 octets,
// and the alarm at the reminder time.
#include "web/ical_feed.h"

#include <gtest/gtest.h>
#include <libical/ical.h>

#include <cstdlib>
#include <memory>

namespace korimba::web {
namespace {

Date At(const char* text) { return *ParseDateText(text); }

// Sets the process's time zone (a POSIX rule, so no zone files are needed)
// and puts the earlier one back.
class ScopedZone {
 public:
  explicit ScopedZone(const char* rule) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", rule, 1);
    tzset();
  }
  ~ScopedZone() {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

struct Parsed {
  explicit Parsed(const std::string& text) : root(icalparser_parse_string(text.c_str())) {}
  ~Parsed() {
    if (root) icalcomponent_free(root);
  }
  icalcomponent* root;
};

// "20250131T070000Z" for a UTC time (the Z is libical's).
std::string UtcText(icaltimetype t) { return icaltime_as_ical_string(t); }

TEST(IcalFeedTest, TimesAreTheUtcMomentsOfTheServersLocalTimes) {
  struct Case {
    const char* zone;
    const char* local;
    const char* utc;
  } cases[] = {
      {"CST-8", "2025-01-31 15:00:00", "20250131T070000Z"},
      {"CST-8", "2025-01-01 03:30:00", "20241231T193000Z"},  // the day before in UTC
      {"CET-1CEST,M3.5.0,M10.5.0/3", "2025-01-31 15:00:00", "20250131T140000Z"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", "2025-07-01 15:00:00", "20250701T130000Z"},
      {"UTC0", "2025-07-01 15:00:00", "20250701T150000Z"},
  };
  for (const Case& c : cases) {
    ScopedZone zone(c.zone);
    CalendarPlan plan{1, At(c.local), At(c.local), std::nullopt, "x", ""};
    Parsed cal(CalendarText("P", "o", {plan}, At("2025-01-01 00:00:00")));
    ASSERT_NE(cal.root, nullptr);
    icalcomponent* event = icalcomponent_get_first_component(cal.root, ICAL_VEVENT_COMPONENT);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(UtcText(icalcomponent_get_dtstart(event)), c.utc) << c.zone << " " << c.local;
  }
}

TEST(IcalFeedTest, EveryPlanComesBackWholeWithItsAlarm) {
  ScopedZone zone("CST-8");
  const std::string tricky = "季度总结, 预算; 审核\\备份\n第二行：带\"引号\"";
  const std::string long_place(60, 'x');
  const std::string place = "二号会议室, 三楼; " + long_place + "会议室会议室会议室会议室";
  std::vector<CalendarPlan> plans = {
      {7, At("2025-01-31 15:00:00"), At("2025-01-31 16:30:00"), At("2025-01-31 14:45:00"), tricky,
       place},
      {8, At("2025-02-01 09:00:00"), At("2025-02-01 10:00:00"), std::nullopt, "Short", ""},
  };
  const std::string text = CalendarText("Anna 的日程", "abc", plans, At("2025-01-01 08:00:00"));

  // Lines end in CRLF and none is longer than 75 octets.
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "a line without CRLF at " << start;
    EXPECT_LE(end - start, 75u) << text.substr(start, end - start);
    start = end + 2;
  }

  Parsed cal(text);
  ASSERT_NE(cal.root, nullptr);
  EXPECT_EQ(icalcomponent_count_errors(cal.root), 0);
  icalproperty* name = icalcomponent_get_first_property(cal.root, ICAL_X_PROPERTY);
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(icalproperty_get_x_name(name), "X-WR-CALNAME");
  EXPECT_STREQ(icalproperty_get_x(name), "Anna 的日程");

  icalcomponent* first = icalcomponent_get_first_component(cal.root, ICAL_VEVENT_COMPONENT);
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(icalcomponent_get_uid(first), "plan-7-abc@korimba");
  EXPECT_STREQ(icalcomponent_get_summary(first), "季度总结, 预算; 审核\\备份");
  EXPECT_EQ(icalcomponent_get_description(first), tricky);
  EXPECT_EQ(icalcomponent_get_location(first), place);
  EXPECT_EQ(UtcText(icalcomponent_get_dtstart(first)), "20250131T070000Z");
  EXPECT_EQ(UtcText(icalcomponent_get_dtend(first)), "20250131T083000Z");
  EXPECT_EQ(UtcText(icalcomponent_get_dtstamp(first)), "20250101T000000Z");
  icalcomponent* alarm = icalcomponent_get_first_component(first, ICAL_VALARM_COMPONENT);
  ASSERT_NE(alarm, nullptr);
  icalproperty* trigger = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
  ASSERT_NE(trigger, nullptr);
  EXPECT_EQ(UtcText(icalproperty_get_trigger(trigger).time), "20250131T064500Z");

  icalcomponent* second = icalcomponent_get_next_component(cal.root, ICAL_VEVENT_COMPONENT);
  ASSERT_NE(second, nullptr);
  EXPECT_STREQ(icalcomponent_get_summary(second), "Short");
  EXPECT_EQ(icalcomponent_get_first_property(second, ICAL_DESCRIPTION_PROPERTY), nullptr);
  EXPECT_EQ(icalcomponent_get_first_component(second, ICAL_VALARM_COMPONENT), nullptr);
  EXPECT_EQ(icalcomponent_get_next_component(cal.root, ICAL_VEVENT_COMPONENT), nullptr);
}

TEST(IcalFeedTest, PlansWithoutABeginningAreLeftOutAndEarlyEndsMeetTheBeginning) {
  const Variant none;
  EXPECT_FALSE(CalendarPlanOf(Variant::I4(1), Variant::Null(), none, none, none, none));
  EXPECT_FALSE(CalendarPlanOf(Variant::Null(), Variant::FromDate(At("2025-01-01 09:00:00")), none,
                              none, none, none));
  auto plan = CalendarPlanOf(Variant::I4(1), Variant::FromDate(At("2025-01-01 09:00:00")),
                             Variant::FromDate(At("2025-01-01 08:00:00")), Variant::Null(),
                             Variant::Null(), Variant::Text("Room"));
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->end, plan->begin);
  EXPECT_FALSE(plan->alert);
  EXPECT_EQ(plan->content, "");
  EXPECT_EQ(plan->place, "Room");
}

}  // namespace
}  // namespace korimba::web

// The month view's entries as links to their plans, with their times.
#include <gtest/gtest.h>

#include "frame/value_ops.h"
#include "tests/web/test_site.h"

namespace korimba::web {
namespace {

using testing::TestSite;
using testing::Visitor;

class CalendarPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.conn().Execute(
        "INSERT INTO HR_Person (PersonID, PersonName) VALUES (1, 'Ann'), (2, 'Bo')");
  }
  std::string AddPlan(int person, const std::string& begin, const std::string& end,
                      const std::string& content) {
    site_.conn().Execute(
        "INSERT INTO DATA_Plan (PersonID, PlanType, PlanClass, PlanBeginTime, PlanEndTime, "
        "PlanContent, PlanPlace) VALUES (" +
        std::to_string(person) + ", 0, 0, '" + begin + "', '" + end + "', '" + content + "', '')");
    return TextForm(site_.conn().Query("SELECT MAX(PlanID) FROM DATA_Plan").at(0, 0));
  }
  // The HTML of one day's cell of the month page.
  static std::string Cell(const std::string& body, const std::string& date) {
    size_t at = body.find("data-date=\"" + date + "\"");
    if (at == std::string::npos) return "";
    return body.substr(at, body.find("</td>", at) - at);
  }
  TestSite site_;
};

TEST_F(CalendarPagesTest, MonthEntriesLinkToTheirOwnPlansWithBeginTimes) {
  const std::string early =
      AddPlan(1, "2025-03-04 09:05:00", "2025-03-05 10:00:00", "<b>Audit</b>");
  const std::string late = AddPlan(1, "2025-03-04 14:30:00", "2025-03-04 15:00:00", "Call");
  AddPlan(2, "2025-03-04 08:00:00", "2025-03-04 09:00:00", "Call");  // Bo's, same content
  Visitor ann(site_.port());
  ann.SignIn(1);
  auto month = ann.Get("/calendar/month?date=2025-03-01");
  ASSERT_TRUE(month);
  const std::string day4 = Cell(month->body, "2025-03-04");
  EXPECT_NE(day4.find("<a class=\"entry\" href=\"/plans/view?id=" + early +
                      "\"><time>09:05</time> &lt;b&gt;Audit&lt;/b&gt;</a><br><a class=\"entry\" "
                      "href=\"/plans/view?id=" +
                      late + "\"><time>14:30</time> Call</a>"),
            std::string::npos)
      << day4;
  // The second day of a plan links to it without a begin time.
  const std::string day5 = Cell(month->body, "2025-03-05");
  EXPECT_NE(day5.find("href=\"/plans/view?id=" + early + "\">&lt;b&gt;Audit"), std::string::npos)
      << day5;
  EXPECT_EQ(Cell(month->body, "2025-03-06").find("entry"), std::string::npos);
  // The week lists the same plans, each a link to its own.
  auto week = ann.Get("/calendar/week?date=2025-03-04");
  EXPECT_NE(week->body.find("<a href=\"/plans/view?id=" + late + "\">Call</a>"), std::string::npos)
      << week->body;
  EXPECT_NE(week->body.find("<a href=\"/plans/view?id=" + early + "\">&lt;b&gt;Audit"),
            std::string::npos);
  // The places view stays as the component gives it.
  auto places = ann.Get("/calendar/month?date=2025-03-01&places=1");
  EXPECT_EQ(places->body.find("class=\"entry\""), std::string::npos);
}

// Equal contents on one day each link to their own plan, in begin order; a
// plan the component lists on a day before 1900 (where the day count of a
// time runs backwards within the day) links as any other.
TEST_F(CalendarPagesTest, EqualContentsAndDaysBefore1900LinkEachToItsPlan) {
  const std::string first = AddPlan(1, "2025-05-06 08:00:00", "2025-05-06 09:00:00", "Standup");
  const std::string second = AddPlan(1, "2025-05-06 16:00:00", "2025-05-06 16:30:00", "Standup");
  const std::string old = AddPlan(1, "1899-12-29 06:00:00", "1899-12-29 07:00:00", "Old");
  Visitor ann(site_.port());
  ann.SignIn(1);
  auto may = ann.Get("/calendar/month?date=2025-05-01");
  ASSERT_TRUE(may);
  EXPECT_NE(Cell(may->body, "2025-05-06")
                .find("href=\"/plans/view?id=" + first +
                      "\"><time>08:00</time> Standup</a><br><a class=\"entry\" "
                      "href=\"/plans/view?id=" +
                      second + "\"><time>16:00</time> Standup</a>"),
            std::string::npos)
      << Cell(may->body, "2025-05-06");
  auto december = ann.Get("/calendar/month?date=1899-12-01");
  ASSERT_TRUE(december);
  EXPECT_NE(Cell(december->body, "1899-12-29")
                .find("href=\"/plans/view?id=" + old + "\"><time>06:00</time> Old</a>"),
            std::string::npos)
      << Cell(december->body, "1899-12-29");
}

}  // namespace
}  // namespace korimba::web

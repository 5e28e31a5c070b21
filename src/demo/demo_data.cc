#include "demo/demo_data.h"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "classes/registry.h"
#include "frame/clock.h"
#include "frame/date.h"
#include "frame/record_set.h"
#include "frame/statement.h"
#include "frame/value_ops.h"

namespace korimba::cli {
namespace {

struct Person {
  int id;
  const char* name;
  const char* login;  // the sign-in account init-db creates for the person
};

constexpr Person kPersons[] = {
    {1, "王芳", "wangfang"},       {2, "李伟", "liwei"},         {3, "张敏", "zhangmin"},
    {4, "刘洋", "liuyang"},        {5, "陈静", "chenjing"},      {6, "赵磊", "zhaolei"},
    {7, "孙丽", "sunli"},          {8, "周晓梅", "zhouxiaomei"}, {9, "Anna Kowalski", "anna"},
    {10, "David Mensah", "david"}, {11, "Sofia Reyes", "sofia"}, {12, "Tom Becker", "tom"},
};

// One message between two persons, `hours_ago` before now.
struct Note {
  double hours_ago;
  int from;
  int to;
  const char* title;
  const char* content;
};

constexpr Note kConversations[] = {
    {120, 1, 2, "季度报告", "李伟，第一季度的销售报告周三前能给我吗？"},
    {119, 2, 1, "回复：季度报告", "可以，我周二下午发给您初稿。"},
    {70, 2, 1, "季度报告初稿", "初稿已放在共享盘“报告/2024Q1”目录，请过目。"},
    {69, 1, 2, "回复：季度报告初稿", "看过了，第三部分的图表再补充一下同比数据。"},
    {2, 2, 1, "季度报告定稿", "已按您的意见修改完毕，定稿见共享盘。"},
    {96, 3, 9, "Translation", "Anna, could you check the English version of the product sheet?"},
    {95, 9, 3, "Re: Translation", "Sure, I'll send it back by tomorrow noon."},
    {75, 9, 3, "Re: Translation", "Done - I marked two terms we should agree on."},
    {1.5, 3, 9, "Re: Translation", "谢谢！两个术语按你的建议改了。"},
    {50, 4, 10, "机房维护", "David，周六的机房维护需要你在场，可以吗？"},
    {49, 10, 4, "Re: 机房维护", "Yes, I'll be there from 8 am."},
    {0.5, 4, 10, "维护清单", "维护清单已更新，请确认备份任务。"},
    {30, 5, 1, "请假申请", "王经理，我下月想请五天年假，申请单已提交。"},
    {5, 1, 5, "回复：请假申请", "已批准，请提前安排好工作交接。"},
    {28, 11, 12, "Welcome", "Hi Tom, welcome aboard! Lunch on Thursday?"},
    {27, 12, 11, "Re: Welcome", "Thanks Sofia, Thursday works for me."},
    {4, 8, 6, "客户回访", "赵磊，下周的客户回访名单我整理好了。"},
};

// One text sent to several persons in the same minute.
struct Mailing {
  double hours_ago;
  int from;
  std::initializer_list<int> to;       // recipients, in posting order
  std::initializer_list<int> read_by;  // recipients who have opened it
  const char* title;
  const char* content;
};

const Mailing kGroupMessages[] = {
    {26,
     1,
     {2, 3, 4, 5, 6, 7},
     {2, 3, 4},
     "季度总结会",
     "【群发消息】周五下午三点在三楼会议室开季度总结会，请各部门准时参加。"},
    {3,
     6,
     {1, 2, 3, 4, 5, 7, 8},
     {1, 7},
     "报销流程",
     "群发消息：新的报销流程从下周一开始执行，请大家先阅读共享盘里的说明。"},
};

const Mailing kBroadcasts[] = {
    {48,
     7,
     {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12},
     {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12},
     "停电通知",
     "(广播) 本周六上午九点至十二点机房停电检修，请提前保存工作。"},
    {20,
     1,
     {2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
     {2, 4, 6, 9},
     "欢迎新同事",
     "(广播)欢迎 Tom Becker 加入技术部！"},
};

// A plan in the month of now (month 0) or the next (month 1); `day` past the
// month's end is clipped to its last day, and a plan runs `extra_days` past
// the day it begins.
struct Schedule {
  int person;
  int type;   // 1 meeting, 2 trip, 3 task, 4 leave
  int klass;  // 1 normal, 2 important
  int month;
  int day;
  int begin_hour, begin_minute;
  int extra_days;
  int end_hour, end_minute;
  const char* content;
  const char* place;
};

constexpr int kLastDay = 99;

constexpr Schedule kPlans[] = {
    {12, 1, 1, 0, 1, 9, 0, 0, 11, 0, "Onboarding: accounts and badge", "HR office"},
    {1, 1, 2, 0, 3, 9, 30, 0, 10, 30, "部门例会", "三楼会议室"},
    {9, 1, 2, 0, 8, 10, 0, 0, 12, 0, "Client visit with the Lisbon team", "Meeting Room B"},
    {1, 2, 2, 0, 12, 8, 0, 2, 18, 0, "北京出差：合作方洽谈", "北京"},
    {10, 3, 2, 0, 16, 22, 0, 1, 2, 0, "Server maintenance window", "Machine room"},
    {2, 3, 2, 0, 20, 14, 0, 0, 17, 0, "季度报告截止", "办公室"},
    {3, 3, 2, 0, kLastDay - 1, 9, 0, 3, 17, 0, "年度审计", "财务室"},
    {4, 1, 1, 1, 5, 13, 30, 0, 16, 30, "新系统培训", "培训中心"},
    {5, 4, 1, 1, 9, 0, 0, 4, 23, 59, "年假", "家"},
    {11, 2, 1, 1, 18, 9, 0, 2, 17, 0, "Trade fair", "Shanghai Expo Center"},
    {8, 1, 1, 1, 24, 10, 0, 0, 11, 30, "客户回访", "客户公司"},
    {1, 1, 2, 1, kLastDay, 15, 0, 0, 17, 0, "月度总结", "三楼会议室"},
};

Date HoursBefore(Date now, double hours) {
  return FromTimeLineDays(TimeLineDays(now) - hours / 24.0);
}

// The start of the minute of `when`, plus `seconds`.
Date InMinute(Date when, int seconds) {
  CivilDateTime parts = SplitDate(when);
  parts.second = seconds;
  parts.millisecond = 0;
  return *MakeDate(parts);
}

class Poster {
 public:
  Poster(const std::shared_ptr<Connection>& conn, DemoSummary& summary)
      : conn_(conn), message_(CreateObject("Korimba.Message")), summary_(summary) {
    const Variant connection = Variant::Object(conn);
    message_->Call("SetConn", std::span(&connection, 1));
  }

  void Post(Date when, int from, int to, const char* title, const char* content, bool read) {
    clock_->Set(when);
    const Variant args[] = {Variant::I4(to), Variant::Text(content), Variant::I4(from),
                            Variant::Text(title)};
    message_->Call("AddData", args);
    ++summary_.messages;
    if (!read) {
      ++summary_.unread;
      return;
    }
    RecordSet newest = RecordSet::Execute(*conn_, "select max(MsgID) from DATA_Msg");
    StatementBuilder mark;
    mark << Lit("update DATA_Msg set msgFlag=1 where MsgID=") << Int{ToI4(newest.Value(0))};
    conn_->Execute(mark.text());
  }

  void Mail(Date now, const Mailing& mailing) {
    // A second apart, starting early in the minute: all copies share it.
    int second = 5;
    for (int to : mailing.to) {
      bool read = std::ranges::find(mailing.read_by, to) != mailing.read_by.end();
      Post(InMinute(HoursBefore(now, mailing.hours_ago), second++), mailing.from, to, mailing.title,
           mailing.content, read);
    }
  }

 private:
  std::shared_ptr<Connection> conn_;
  std::shared_ptr<DispatchObject> message_;
  DemoSummary& summary_;
  ScopedClockOverride clock_;
};

Date PlanDate(Date now, int month_offset, int day, int hour, int minute, int extra_days) {
  CivilDateTime parts = SplitDate(now);
  parts.month += month_offset;
  if (parts.month > 12) {
    parts.month -= 12;
    ++parts.year;
  }
  const int last = DaysInMonth(parts.year, parts.month);
  parts.day = day >= kLastDay - 1 ? last - (kLastDay - day) : std::min(day, last);
  parts.hour = hour;
  parts.minute = minute;
  parts.second = 0;
  parts.millisecond = 0;
  return AddDays(*MakeDate(parts), extra_days);
}

}  // namespace

std::vector<DemoAccount> DemoAccounts() {
  std::vector<DemoAccount> accounts;
  for (const Person& person : kPersons) accounts.push_back({person.id, person.login});
  return accounts;
}

DemoSummary AddDemoData(const std::shared_ptr<Connection>& conn, Date now) {
  DemoSummary summary;
  for (const Person& person : kPersons) {
    const Variant name = Variant::Text(person.name);
    StatementBuilder insert;
    insert << Lit("insert into HR_Person (PersonID, PersonName) values (") << Int{person.id}
           << Lit(", N'") << Quoted{name} << Lit("')");
    conn->Execute(insert.text());
    ++summary.persons;
  }

  {
    Poster poster(conn, summary);
    for (const Note& note : kConversations) {
      poster.Post(HoursBefore(now, note.hours_ago), note.from, note.to, note.title, note.content,
                  note.hours_ago > 24);
    }
    for (const Mailing& mailing : kGroupMessages) {
      poster.Mail(now, mailing);
      ++summary.group_messages;
    }
    for (const Mailing& mailing : kBroadcasts) {
      poster.Mail(now, mailing);
      ++summary.broadcasts;
    }
  }

  std::shared_ptr<DispatchObject> plan = CreateObject("Korimba.Plan");
  const Variant connection = Variant::Object(conn);
  plan->Call("SetConn", std::span(&connection, 1));
  for (const Schedule& s : kPlans) {
    const Date begin = PlanDate(now, s.month, s.day, s.begin_hour, s.begin_minute, 0);
    const Date end = PlanDate(now, s.month, s.day, s.end_hour, s.end_minute, s.extra_days);
    const Date alert = FromTimeLineDays(TimeLineDays(begin) - 30.0 / (24 * 60));
    const Variant args[] = {Variant::I4(s.person),
                            Variant::I2(static_cast<int16_t>(s.type)),
                            Variant::I2(static_cast<int16_t>(s.klass)),
                            Variant::FromDate(begin),
                            Variant::FromDate(end),
                            Variant::Text(s.content),
                            Variant::FromDate(alert),
                            Variant::Text(s.place)};
    plan->Call("AddData", args);
    ++summary.plans;
  }
  return summary;
}

}  // namespace korimba::cli

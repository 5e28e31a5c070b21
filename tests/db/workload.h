// The statements the component sends, built the way its methods build them
// (same literal pieces, values spliced in), so the database tests run the
// real shapes.
#ifndef KORIMBA_TESTS_DB_WORKLOAD_H_
#define KORIMBA_TESTS_DB_WORKLOAD_H_

#include <string>
#include <utility>
#include <vector>

namespace korimba::testing::workload {

inline std::string N(int v) { return std::to_string(v); }

inline std::string AddMsg(const std::string& p, const std::string& content, const std::string& f,
                          const std::string& title) {
  return "Insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle) values (" + p + ",'" +
         content + "'," + f + ",'" + title + "') ";
}
inline std::string AddMsgFile(int p, const std::string& content, int f, const std::string& file) {
  return "Insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle,MsgFileName) values (" +
         N(p) + ",'" + content + "'," + N(f) + ",'t','" + file + "') ";
}
inline std::string PairCondition(int p, int f) {
  return "((data_msg.PersonID=" + N(p) + " and MsgFromPersonid=" + N(f) +
         ") or (data_msg.personid=" + N(f) + " and MsgFromPersonID=" + N(p) + "))";
}
inline std::string Retention(int p, int f) {
  return "delete from Data_Msg where " + PairCondition(p, f) +
         "  and msgID not in ( Select top 25 msgID from DATA_Msg where " + PairCondition(p, f) +
         "  order by msgCreatetime desc)";
}
inline std::string NewestMsg() { return "select top 1 * from data_Msg order by MsgID desc"; }
inline std::string DelMsg(int id) { return "Delete from DATA_Msg where MsgID=" + N(id); }
inline std::string UpdateMsg(int id, const std::string& p, const std::string& f) {
  return "update DATA_Msg set PersonID =" + p + ",MsgContent='c',MsgFromPersonID= " + f +
         ",MsgTitle='t'  where MsgID=" + N(id);
}
inline std::string FileData(int id) { return "select * from DATA_Msg where MsgID = " + N(id); }
inline std::string GetAllData(int p, int a) {
  return "Select HR_person.PersonName,msgCreatetime,MsgContent,msgFlag,MsgFromPersonid,MsgFileName,"
         "MsgID from DATA_Msg,HR_Person where ((data_msg.PersonID=" +
         N(p) + " and MsgFromPersonid=" + N(a) + ") or (data_msg.personid=" + N(a) +
         " and MsgFromPersonID=" + N(p) +
         ")) and Data_Msg.MsgFromPersonid=HR_Person.PersonID  order by msgCreatetime desc";
}
inline std::string NoRead(int p) {
  return "Select top 1 * from DATA_Msg Where (personid=" + N(p) +
         ") and (msgFlag=0) Order by msgCreatetime ";
}
inline std::string MsgRead(int id) {
  return "SELECT * FROM DATA_Msg INNER JOIN HR_Person ON DATA_Msg.MsgFromPersonID = "
         "HR_Person.PersonID Where (DATA_Msg.MsgID =" +
         N(id) + ")";
}
inline std::string NoRead1(int id) {
  return "SELECT * FROM DATA_Msg INNER JOIN HR_Person ON DATA_Msg.MsgFromPersonID = "
         "HR_Person.PersonID where MsgID=" +
         N(id);
}
inline std::string MarkRead(int id) {
  return "update DATA_Msg set msgFlag =1 Where MsgID=" + N(id);
}
inline std::string NoRead2(int id) { return "Select top 1 * from DATA_Msg where MsgID=" + N(id); }
inline std::string InceptMsg(int p) {
  return "Select 姓名=(select personname from hr_person where "
         "hr_person.personID=data_msg.MsgFromPersonID),内容=Msgcontent,发送时间=MsgCreateTime,"
         "msgID,"
         "阅读标志=MsgFlag,MsgFileName from DATA_Msg where data_msg.personID=" +
         N(p) + "  order by msgCreatetime desc";
}
inline std::string TrackMsg(int p) {
  return " select MsgContent, CONVERT(char(16), MsgCreateTime, 120) from DATA_Msg where MsgContent "
         "LIKE '%群发消息%' and msgFrompersonID=" +
         N(p) + " GROUP BY MsgContent, CONVERT(char(16), MsgCreateTime, 120) ";
}
inline std::string Track(const std::string& minute) {
  return "select personname=(select personname from hr_person where "
         "hr_person.personID=data_msg.PersonID),Msgcontent, CONVERT(char(16), MsgCreateTime, "
         "120),msgID,MsgFlag from DATA_Msg where CONVERT(char(16), MsgCreateTime, 120)='" +
         minute + "'and msgcontent like '%群发消息%'   order by msgCreatetime desc";
}
inline std::string PersonName(const std::string& id) {
  return "select personname from hr_person where PersonID=" + id;
}
inline std::string FriendList(int p) {
  return "SELECT TOP 20 DATA_Msg.PersonID, HR_Person.PersonName, COUNT(*) AS nCount FROM DATA_Msg, "
         "HR_Person Where DATA_Msg.PersonID = HR_Person.PersonID and (DATA_Msg.MsgFromPersonID = " +
         N(p) +
         ") and left(msgContent,3)<>'(广播'   GROUP BY DATA_Msg.PersonID, HR_Person.PersonName "
         "ORDER "
         "BY COUNT(*) DESC ";
}
inline std::string AddPlan(const std::string& p, const std::string& type, const std::string& cls,
                           const std::string& begin, const std::string& end,
                           const std::string& content, const std::string& alert,
                           const std::string& place) {
  return "Insert into DATA_Plan(PersonID,PlanType,PlanClass,PlanBeginTime,PlanEndTime,PlanContent,"
         "PlanalertTime,PlanPlace) values (" +
         p + "," + type + "," + cls + ",'" + begin + "','" + end + "','" + content + "','" + alert +
         "','" + place + "') ";
}
inline std::string UpdatePlan(int id, const std::string& p, const std::string& type,
                              const std::string& cls, const std::string& begin,
                              const std::string& end, const std::string& alert) {
  return "update DATA_Plan set PersonID =" + p + ",PlanType='" + type + "',PlanClass= '" + cls +
         "' ,PlanBeginTime='" + begin + "',PlanEndTime='" + end +
         "',PlanContent='c',PlanAlertTime='" + alert + "',PlanPlace='p' where PlanID=" + N(id);
}
inline std::string DelPlan(int id) { return "Delete from DATA_Plan where PlanID=" + N(id); }
inline std::string AllPlans() { return "Select * from DATA_Plan"; }
inline std::string GetPlan(int id) { return "Select * From DATA_Plan Where PlanID=" + N(id); }
inline std::string MonthPlan(const std::string& first, const std::string& last, int p) {
  return "SELECT PlanID, PersonID, PlanBeginTime, DAY(PlanBeginTime) AS BeginDay,        "
         "DAY(PlanEndTime) AS EndDay, PlanContent, PlanEndTime From DATA_Plan WHERE "
         "(((PlanBeginTime "
         ">= '" +
         first + "') AND (PlanEndTime <= '" + last + "')) OR       ((PlanBeginTime >= '" + first +
         "') AND (PlanEndTime > '" + last + "') AND       (PlanBeginTime <= '" + last +
         "')) OR       ((PlanBeginTime < '" + first + "') AND (PlanEndTime > '" + last +
         "')) OR       ((PlanBeginTime < '" + first + "') AND (PlanEndTime >= '" + first +
         "') AND       (PlanEndTime <= '" + last + "'))) AND ((PersonID = " + N(p) +
         ")) ORDER BY PlanBeginTime";
}
inline std::string MonthPlan11(int p, const std::string& first, const std::string& last) {
  return "select PLanID,PersonID,PlanContent,PlanPlace,PlanBeginTime,PlanEndTime from Data_Plan "
         "where PersonID= " +
         N(p) + " and DateDiff(dd,PlanBeginTime,'" + first +
         "' ) <=0 and datediff(dd,PlanEndTime,'" + last + "'  )>=0 order by PlanBeginTime";
}
inline std::string WeekPlan11(int p, const std::string& monday, const std::string& sunday) {
  return "SELECT PlanBeginTime,PlanEndTime,PlanContent FROM data_Plan WHERE  (personID = " + N(p) +
         ") AND ((PlanBeginTime BETWEEN '" + monday + "'AND '" + sunday +
         "' ) OR (PlanEndTime BETWEEN '" + monday + "' AND '" + sunday +
         "')) ORDER BY PlanBeginTime";
}
inline std::string WeekPlan(const std::string& moment, int p) {
  return "SELECT PlanContent From DATA_Plan  WHERE (PlanBeginTime <= '" + moment +
         "') AND (PlanEndTime >= '" + moment + "') AND       (PersonID = " + N(p) +
         ") ORDER BY PlanBeginTime ";
}
inline std::string DayPlan(const std::string& moment, int p) {
  return "SELECT * FROM DATA_Plan WHERE (PlanBeginTime <= '" + moment + "') AND (PlanEndTime >= '" +
         moment + "') AND PersonID = " + N(p) + " ORDER BY PlanBeginTime";
}

// Every statement shape, with a name, for tests that look at all of them.
inline std::vector<std::pair<std::string, std::string>> AllShapes() {
  return {
      {"AddData", AddMsg("7", "c", "9", "t")},
      {"dptAddData", AddMsgFile(7, "c", 9, "a.txt")},
      {"retention", Retention(7, 9)},
      {"newest message", NewestMsg()},
      {"identity", "select @@IDENTITY"},
      {"DelData", DelMsg(5)},
      {"UpdateData", UpdateMsg(5, "7", "9")},
      {"GetFileData", FileData(5)},
      {"GetAllData", GetAllData(7, 9)},
      {"noread", NoRead(7)},
      {"MsgRead", MsgRead(5)},
      {"noread1", NoRead1(5)},
      {"repairFlg", MarkRead(5)},
      {"noread2", NoRead2(5)},
      {"InceptMsg", InceptMsg(7)},
      {"trackMsg", TrackMsg(9)},
      {"track", Track("2024-03-01 09:05")},
      {"GetPersonName", PersonName("7")},
      {"GetFriendList", FriendList(9)},
      {"Plan.AddData",
       AddPlan("7", "1", "2", "2024-3-1 9:00", "2024-3-1 10:00", "c", "2024-3-1 8:00", "p")},
      {"Plan.UpdateData", UpdatePlan(3, "7", "1", "2", "2024-3-1", "2024-3-2", "")},
      {"Plan.DelData", DelPlan(3)},
      {"Plan.GetAllData", AllPlans()},
      {"Plan.GetData", GetPlan(3)},
      {"GetMonthPlan", MonthPlan("2024-3-1", "2024-03-31 23:59:59", 7)},
      {"GetMonthPlan11", MonthPlan11(7, "2024-3-1", "2024-03-31")},
      {"GetWeekPlan11", WeekPlan11(7, "2024-12-30", "2025-01-05 23:59:59")},
      {"GetWeekPlan", WeekPlan("2024-03-05 10:00:00", 7)},
      {"GetDayPlan", DayPlan("2024-03-05", 7)},
  };
}

}  // namespace korimba::testing::workload

#endif  // KORIMBA_TESTS_DB_WORKLOAD_H_

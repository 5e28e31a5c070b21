// TourEveryMethod calls every method of both classes once, by name as a page
// does, on an embedded in-memory database holding three persons, a few
// messages and plans, and returns each statement a call sent with the
// method's name ("Message.InceptMsg", "Plan.GetDayPlan"). Tests that check
// the statements' query plans or the plan spans take their texts from here,
// so they follow the component whenever its statements change. The
// component clock is frozen on 2024-03-05 09:00 for the tour and given back
// after. One thread.
#ifndef KORIMBA_TESTS_SUPPORT_METHOD_TOUR_H_
#define KORIMBA_TESTS_SUPPORT_METHOD_TOUR_H_

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "classes/registry.h"
#include "db/open.h"
#include "frame/clock.h"
#include "frame/date.h"
#include "frame/dispatch.h"
#include "frame/safe_array.h"
#include "frame/value_ops.h"
#include "host/page_host.h"
#include "tests/support/recording_connection.h"
#include "tests/support/scratch_dir.h"

namespace korimba::testing {

struct SentStatement {
  std::string method;  // "Message.AddData"
  std::string text;
};

inline std::vector<SentStatement> TourEveryMethod() {
  namespace fs = std::filesystem;
  ScopedClockOverride clock(*MakeDate({2024, 3, 5, 9, 0, 0, 0}));
  std::shared_ptr<Connection> db = OpenConnection("sqlite::memory:");
  for (const char* person : {"(7,'Ann')", "(9,'Bob')", "(3,'Cay')"}) {
    db->Execute(std::string("insert into HR_Person(PersonID,PersonName) values ") + person);
  }
  auto conn = std::make_shared<RecordingConnection>(db);
  const ScratchDir scratch("korimba_tour");
  const fs::path& dir = scratch.path();

  auto app = std::make_shared<InMemoryApplication>();
  auto session = std::make_shared<InMemorySession>();
  session->SetValue("PersonID", Variant::I4(7));
  session->SetValue("PersonName", Variant::Text("Ann"));
  Page page(app, session, std::map<std::string, std::string>{{"url", "/tour.asp"}});
  std::shared_ptr<DispatchObject> message = CreateObject("Korimba.Message");
  std::shared_ptr<DispatchObject> plan = CreateObject("Korimba.Plan");
  for (const auto& object : {message, plan}) {
    object->Call("OnStartPage", std::vector<Variant>{Variant::Object(page.context())});
    object->Call("SetConn", std::vector<Variant>{Variant::Object(conn)});
  }
  message->Put("WorkPath", Variant::Text(dir.string() + "/"));
  conn->Take();

  std::vector<SentStatement> sent;
  auto call = [&](const std::string& cls, const std::shared_ptr<DispatchObject>& object,
                  const std::string& method, std::vector<Variant> args) {
    clock->Advance(1);
    object->Call(method, args);
    for (std::string& text : conn->Take()) sent.push_back({cls + "." + method, std::move(text)});
  };
  auto newest = [&](const char* table, const char* key) {
    return ToI4(db->Execute(std::string("select max(") + key + ") from " + table).at(0, 0));
  };
  using V = Variant;
  const V ann = V::I4(7), bob = V::I4(9);

  call("Message", message, "AddData", {bob, V::Text("hello"), ann, V::Text("t")});
  call("Message", message, "AddData", {ann, V::Text("back"), bob, V::Text("t")});
  call("Message", message, "dptAddData",
       {bob, V::Text("file"), ann, V::Text("t"), V::Text("a.txt"),
        V::Bytes(ByteArray{{1, 2, 3}, 0}), V()});
  const V id = V::I4(newest("DATA_Msg", "MsgID"));
  call("Message", message, "GetFileData", {id});
  call("Message", message, "UpdateData", {id, bob, V::Text("changed"), ann, V::Text("t")});
  call("Message", message, "GetAllData", {bob});
  call("Message", message, "noread", {});
  call("Message", message, "MsgRead", {id});
  call("Message", message, "noread1", {id});
  call("Message", message, "noread2", {id});
  call("Message", message, "repairFlg", {id});
  call("Message", message, "GetPersonName", {bob});
  call("Message", message, "GetFriendList", {});
  call("Message", message, "InceptMsg", {ann});
  call("Message", message, "trackMsg", {ann});
  call("Message", message, "track", {V::Text("2024-03-05 09:00")});
  call("Message", message, "GetOnlineList", {});
  call("Message", message, "DelData", {id});

  const V begin = V::FromDate(*MakeDate({2024, 3, 5, 10, 0, 0, 0}));
  const V end = V::FromDate(*MakeDate({2024, 3, 6, 11, 0, 0, 0}));
  call("Plan", plan, "AddData",
       {ann, V::I4(1), V::I4(2), begin, end, V::Text("meet"), begin, V::Text("room")});
  const V plan_id = V::I4(newest("DATA_Plan", "PlanID"));
  call("Plan", plan, "UpdateData",
       {plan_id, ann, V::I4(1), V::I4(2), begin, end, V::Text("moved"), begin, V::Text("hall")});
  call("Plan", plan, "GetAllData", {});
  call("Plan", plan, "GetPageData", {V::I4(10), V::I4(1)});
  call("Plan", plan, "GetData", {plan_id});
  call("Plan", plan, "GetMonthPlan", {ann, begin});
  call("Plan", plan, "GetMonthPlan11", {ann, begin});
  call("Plan", plan, "GetWeekPlan11", {ann, begin});
  call("Plan", plan, "GetWeekPlan", {ann, begin});
  call("Plan", plan, "GetDayPlan", {ann, begin});
  call("Plan", plan, "GetPersonName", {ann});
  call("Plan", plan, "DelData", {plan_id});

  for (const auto& object : {message, plan}) object->Call("OnEndPage", std::vector<Variant>{});
  page.End();
  return sent;
}

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_SUPPORT_METHOD_TOUR_H_

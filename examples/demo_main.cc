// korimba_demo: what a page does with the component, without a web server.
// It creates "Korimba.Message" and "Korimba.Plan" by ProgID, starts a page of
// the in-memory page host for each, hands them an in-memory embedded
// database, calls their methods by name with Variant arguments and prints
// every call with its result. One call fails on purpose, and GetError (asked
// of the other object) shows the failure's description. Single-threaded.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "korimba/korimba.h"

namespace {

using korimba::Variant;

std::string Show(const Variant& value) {
  if (value.is_array()) return "\n" + korimba::GridString(value);
  return value.DebugString();
}

// Calls `method` by name and prints the call and its result, or the error it
// ended with. Returns whether the call succeeded.
bool Demo(korimba::DispatchObject& object, const std::string& method,
          std::vector<Variant> args = {}) {
  std::string call = std::string(object.KindName()) + "." + method + "(";
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) call += ", ";
    call += args[i].kind() == korimba::VarKind::kObject
                ? "<" + std::string((*args[i].object())->KindName()) + ">"
                : args[i].DebugString();
  }
  call += ")";
  try {
    Variant result = object.Call(method, args);
    std::cout << call << " -> " << Show(result) << "\n";
    return true;
  } catch (const korimba::AutomationError& e) {
    std::cout << call << " failed: error " << e.number() << ": " << e.description() << "\n";
    return false;
  }
}

// Two persons, so that messages have a sender and a recipient with names.
void AddPeople(korimba::Connection& conn) {
  conn.Execute("insert into HR_Person (PersonID, PersonName) values (1, N'Ada Lindqvist')");
  conn.Execute("insert into HR_Person (PersonID, PersonName) values (2, N'Bo Okafor')");
}

}  // namespace

int main() {
  std::cout << "Korimba demonstration: objects created by ProgID and called by name.\n\n";

  std::shared_ptr<korimba::Connection> conn;
  try {
    conn = korimba::OpenConnection("sqlite::memory:");
    AddPeople(*conn);
    std::cout
        << "Opened an in-memory embedded database (sqlite::memory:) with persons 1 and 2.\n\n";
  } catch (const std::exception& e) {
    std::cout << "The embedded database is not available in this build: " << e.what()
              << "\nThe calls below that need a connection will fail and say so.\n\n";
  }

  // One application shared by every page; one visitor's session, signed in
  // as person 2.
  auto application = std::make_shared<korimba::InMemoryApplication>();
  auto session = std::make_shared<korimba::InMemorySession>();
  session->SetValue("PersonID", Variant::I4(2));
  session->SetValue("PersonName", Variant::Text("Bo Okafor"));

  auto message = korimba::CreateObject("Korimba.Message");
  auto plan = korimba::CreateObject("Korimba.Plan");
  std::cout << "Created " << message->KindName() << " (interface " << message->Interface().name
            << ", " << message->Interface().methods.size() << " methods) and " << plan->KindName()
            << " (interface " << plan->Interface().name << ", " << plan->Interface().methods.size()
            << " methods).\n\n";

  {
    korimba::Page page(application, session, {{"URL", "/demo/inbox.asp"}});
    Variant context = Variant::Object(page.context());
    Variant connection = conn ? Variant::Object(conn) : Variant();

    std::cout << "-- Message: a page of person 2's inbox --\n";
    Demo(*message, "OnStartPage", {context});
    Demo(*message, "SetConn", {connection});
    Demo(*message, "AddData",
         {Variant::I4(2), Variant::Text("Lunch at noon? Bring O'Brien's report."), Variant::I4(1),
          Variant::Text("Lunch")});
    Demo(*message, "AddData",
         {Variant::I4(1), Variant::Text("Yes, see you there."), Variant::I4(2),
          Variant::Text("Re: Lunch")});
    Demo(*message, "noread");
    Demo(*message, "GetAllData", {Variant::I4(1)});
    Demo(*message, "GetPersonName", {Variant::I4(1)});

    std::cout << "\n-- Plan: person 2's schedule --\n";
    Demo(*plan, "OnStartPage", {context});
    Demo(*plan, "SetConn", {connection});
    Demo(*plan, "AddData",
         {Variant::I4(2), Variant::I4(1), Variant::I4(1), Variant::Text("2024-03-05 09:00"),
          Variant::Text("2024-03-05 10:30"), Variant::Text("Team meeting"),
          Variant::Text("2024-03-05 08:45"), Variant::Text("Room 3")});
    Demo(*plan, "GetAllData");
    Demo(*plan, "GetWeekPlan11", {Variant::I4(2), Variant::Text("2024-03-05")});
    Demo(*plan, "GetDayPlan", {Variant::I4(2), Variant::Text("2024-03-05 09:30")});

    std::cout << "\n-- A failing call, and GetError --\n";
    Demo(*message, "GetAllData", {Variant::Text("person one")});
    std::cout << "GetError is kept per thread, so the Plan object reports the Message's failure:\n";
    Demo(*plan, "GetError");
    Demo(*plan, "SendFax", {Variant::Text("hello")});
    Demo(*message, "GetError");

    std::cout << "\n-- End of the page --\n";
    Demo(*message, "OnEndPage");
    Demo(*plan, "OnEndPage");
    std::cout << "After OnEndPage the session is out of reach:\n";
    Demo(*message, "noread");
  }
  return 0;
}

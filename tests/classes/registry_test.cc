#include "classes/registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "frame/component.h"
#include "frame/error.h"
#include "host/page_host.h"

namespace korimba {
namespace {

using ::testing::HasSubstr;

Variant Call(DispatchObject& object, std::string_view method, std::vector<Variant> args = {}) {
  return object.Call(method, args);
}

std::string FailureOf(DispatchObject& object, std::string_view method,
                      std::vector<Variant> args = {}) {
  try {
    object.Call(method, args);
  } catch (const AutomationError& e) {
    return e.description();
  }
  return "";
}

TEST(RegistryTest, CreatesANewObjectPerCallByProgIdWithoutRegardToCase) {
  auto a = CreateObject("Korimba.Message");
  auto b = CreateObject("korimba.message");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->KindName(), "Message");
  EXPECT_EQ(a->Interface().name, "_Message");
  EXPECT_EQ(CreateObject("KORIMBA.PLAN")->Interface().name, "_Plan");

  try {
    CreateObject("Korimba.Mail");
    FAIL() << "created an unregistered class";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), kErrCantCreate);
    EXPECT_THAT(e.description(), HasSubstr("'Korimba.Mail'"));
  }
}

TEST(RegistryTest, GetErrorIsSharedByBothClassesOnOneThreadAndEmptyOnAFreshOne) {
  std::thread([] {
    auto message = CreateObject("Korimba.Message");
    auto plan = CreateObject("Korimba.Plan");
    EXPECT_EQ(Call(*message, "GetError"), Variant::Text(""));
    EXPECT_EQ(Call(*plan, "geterror"), Variant::Text(""));

    // A failure of a Message shows in a Plan, and the other way round; later
    // successful calls leave it as it is.
    std::string first = FailureOf(*message, "SetConn", {Variant::Text("not a connection")});
    ASSERT_NE(first, "");
    Call(*plan, "OnEndPage");
    EXPECT_EQ(Call(*plan, "GetError"), Variant::Text(first));
    EXPECT_EQ(Call(*CreateObject("Korimba.Plan"), "GetError"), Variant::Text(first));

    std::string second = FailureOf(*plan, "NoSuchMethod");
    EXPECT_THAT(second, HasSubstr("'NoSuchMethod'"));
    EXPECT_EQ(Call(*message, "GetError"), Variant::Text(second));

    std::string elsewhere = "unset";
    std::thread([&] {
      elsewhere = *Call(*CreateObject("Korimba.Plan"), "GetError").text();
    }).join();
    EXPECT_EQ(elsewhere, "");
  }).join();
}

TEST(RegistryTest, ObjectsTakeTheirPageFromTheInMemoryPageHost) {
  auto application = std::make_shared<InMemoryApplication>();
  auto session = std::make_shared<InMemorySession>();
  auto message = CreateObject("Korimba.Message");
  auto plan = CreateObject("Korimba.Plan");
  {
    Page page(application, session, {{"url", "/a.asp"}});
    for (auto* object : {message.get(), plan.get()}) {
      EXPECT_EQ(Call(*object, "OnStartPage", {Variant::Object(page.context())}), Variant());
      const PageContext& held = static_cast<Component&>(*object).page_context();
      EXPECT_EQ(held.session, session);
      EXPECT_EQ(held.request->ServerVariable("URL"), Variant::Text("/a.asp"));
      EXPECT_EQ(Call(*object, "OnEndPage"), Variant());
      EXPECT_EQ(held.session, nullptr);
    }
  }
  // A page host that gives no session: the call fails naming it.
  Page no_session(application, nullptr, {});
  EXPECT_THAT(FailureOf(*message, "OnStartPage", {Variant::Object(no_session.context())}),
              HasSubstr("Session"));

  // The write-only property takes text and cannot be called.
  message->Put("workpath", Variant::Text("/tmp/attachments/"));
  EXPECT_THAT(FailureOf(*message, "WorkPath", {Variant::Text("/tmp/")}),
              HasSubstr("write-only property"));
  EXPECT_THROW(plan->Put("WorkPath", Variant::Text("/tmp/")), AutomationError);
}

}  // namespace
}  // namespace korimba

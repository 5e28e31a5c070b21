#include "frame/component.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "frame/error.h"
#include "tests/support/fake_connection.h"

namespace korimba {
namespace {

using testing::FakeConnection;
using ::testing::HasSubstr;

// The frame methods plus two that need the connection and the session, as
// the component's real methods do.
class Probe final : public Component {
 public:
  std::string_view KindName() const override { return "Probe"; }
  const InterfaceInfo& Interface() const override;

  Variant UseConn() {
    conn().Execute("select 1");
    return Variant::Bool(true);
  }
  Variant UseSession() { return session().Value("personid"); }
};

const MethodSpec kMethods[] = {
    frame_methods::kOnStartPage,
    frame_methods::kOnEndPage,
    frame_methods::kSetConn,
    frame_methods::kGetError,
    {"UseConn",
     {},
     ResultKind::kBool,
     false,
     [](DispatchObject& self, std::span<const Variant>) {
       return static_cast<Probe&>(self).UseConn();
     }},
    {"UseSession",
     {},
     ResultKind::kVariant,
     false,
     [](DispatchObject& self, std::span<const Variant>) {
       return static_cast<Probe&>(self).UseSession();
     }},
};
const InterfaceInfo kInterface{"_Probe", "{00000000-0000-0000-0000-000000000002}", kMethods};
const InterfaceInfo& Probe::Interface() const { return kInterface; }

class FakeSession final : public SessionObject {
 public:
  Variant Value(std::string_view name) const override {
    auto it = values_.find(std::string(name));
    return it == values_.end() ? Variant() : it->second;
  }
  void SetValue(std::string_view name, Variant value) override {
    values_[std::string(name)] = std::move(value);
  }

 private:
  std::map<std::string, Variant> values_;
};

class FakeApplication final : public ApplicationObject {
 public:
  Variant Value(std::string_view) const override { return Variant(); }
  void SetValue(std::string_view, Variant) override {}
  void Lock() override {}
  void UnLock() override {}
};

class FakeRequest final : public RequestObject {
 public:
  Variant ServerVariable(std::string_view) const override { return Variant(); }
};

// A scripting context whose five objects a test may leave out or replace.
class FakeContext final : public ScriptingContextObject {
 public:
  FakeContext() {
    auto session = std::make_shared<FakeSession>();
    session->SetValue("personid", Variant::I4(7));
    objects = {std::make_shared<ResponseObject>(), std::make_shared<FakeRequest>(),
               std::make_shared<ServerObject>(), std::make_shared<FakeApplication>(), session};
  }
  ObjectRef Response() override { return objects[0]; }
  ObjectRef Request() override { return objects[1]; }
  ObjectRef Server() override { return objects[2]; }
  ObjectRef Application() override { return objects[3]; }
  ObjectRef Session() override { return objects[4]; }

  std::vector<ObjectRef> objects;  // Response, Request, Server, Application, Session
};

std::vector<std::weak_ptr<Object>> Watch(const FakeContext& context) {
  return {context.objects.begin(), context.objects.end()};
}

std::vector<ObjectRef> Held(const PageContext& page) {
  return {page.response, page.request, page.server, page.application, page.session};
}

Variant Call(Component& object, std::string_view method, std::vector<Variant> args = {}) {
  return object.Call(method, args);
}

TEST(ComponentTest, OnStartPageHoldsTheFiveObjectsAndASecondCallReleasesTheFirst) {
  Probe probe;
  std::vector<std::weak_ptr<Object>> first;
  {
    auto context = std::make_shared<FakeContext>();
    first = Watch(*context);
    EXPECT_EQ(Call(probe, "OnStartPage", {Variant::Object(context)}), Variant());
    EXPECT_EQ(Held(probe.page_context()), context->objects);
  }
  for (const auto& weak : first) EXPECT_FALSE(weak.expired()) << "held by the object";

  auto second = std::make_shared<FakeContext>();
  Call(probe, "onstartpage", {Variant::Object(second)});
  for (const auto& weak : first) EXPECT_TRUE(weak.expired()) << "first page object not released";
  EXPECT_EQ(Held(probe.page_context()), second->objects);
  EXPECT_EQ(Call(probe, "UseSession"), Variant::I4(7));
}

TEST(ComponentTest, OnStartPageFailsAtTheFirstObjectTheContextCannotGiveKeepingThoseBefore) {
  const char* names[] = {"Response", "Request", "Server", "Application", "Session"};
  for (size_t missing = 0; missing < 5; ++missing) {
    for (bool wrong_kind : {false, true}) {
      Probe probe;
      auto context = std::make_shared<FakeContext>();
      // Left out, or an object of another kind in its place.
      context->objects[missing] =
          wrong_kind ? ObjectRef(std::make_shared<FakeConnection>()) : nullptr;
      try {
        Call(probe, "OnStartPage", {Variant::Object(context)});
        FAIL() << names[missing] << " missing, yet OnStartPage succeeded";
      } catch (const AutomationError& e) {
        EXPECT_THAT(e.description(), HasSubstr(names[missing]));
        EXPECT_EQ(probe.GetError(), e.description());
      }
      std::vector<ObjectRef> held = Held(probe.page_context());
      for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(held[i] != nullptr, i < missing)
            << names[i] << " with " << names[missing] << " missing";
      }
    }
  }
}

TEST(ComponentTest, OnStartPageRefusesWhatIsNoScriptingContext) {
  Probe probe;
  for (const Variant& v : {Variant::Text("sc"), Variant::Object(std::make_shared<FakeConnection>()),
                           Variant::Object(nullptr)}) {
    EXPECT_THROW(Call(probe, "OnStartPage", {v}), AutomationError) << v.DebugString();
  }
}

TEST(ComponentTest, OnEndPageReleasesThePageButKeepsTheConnection) {
  Probe probe;
  // Harmless when nothing is held.
  EXPECT_EQ(Call(probe, "OnEndPage"), Variant());
  EXPECT_EQ(Held(probe.page_context()), std::vector<ObjectRef>(5));

  auto conn = std::make_shared<FakeConnection>();
  std::vector<std::weak_ptr<Object>> page;
  {
    auto context = std::make_shared<FakeContext>();
    page = Watch(*context);
    Call(probe, "OnStartPage", {Variant::Object(context)});
  }
  Call(probe, "SetConn", {Variant::Object(conn)});
  EXPECT_EQ(Call(probe, "OnEndPage"), Variant());
  for (const auto& weak : page) EXPECT_TRUE(weak.expired());
  EXPECT_EQ(Call(probe, "UseConn"), Variant::Bool(true));
  EXPECT_EQ(Call(probe, "OnEndPage"), Variant());
}

TEST(ComponentTest, SetConnKeepsOnlyTheLatestConnection) {
  Probe probe;
  auto second = std::make_shared<FakeConnection>();
  std::weak_ptr<FakeConnection> first_watch;
  {
    auto first = std::make_shared<FakeConnection>();
    first_watch = first;
    Call(probe, "SetConn", {Variant::Object(first)});
  }
  EXPECT_FALSE(first_watch.expired());
  EXPECT_EQ(Call(probe, "SetConn", {Variant::Object(second)}), Variant());
  EXPECT_TRUE(first_watch.expired());
  EXPECT_EQ(probe.connection(), second);

  // Something that is no connection is refused and the held one stays.
  EXPECT_THROW(Call(probe, "SetConn", {Variant::Object(std::make_shared<FakeContext>())}),
               AutomationError);
  EXPECT_THROW(Call(probe, "SetConn", {Variant::Text("sqlite::memory:")}), AutomationError);
  EXPECT_EQ(probe.connection(), second);
  Call(probe, "UseConn");
  EXPECT_EQ(second->texts(), std::vector<std::string>{"select 1"});
}

TEST(ComponentTest, MissingConnectionOrPageFailsClearlyWithoutChangingState) {
  Probe probe;
  struct Case {
    const char* method;
    const char* description_part;
  };
  for (const Case& c : {Case{"UseConn", "SetConn has not been called"},
                        Case{"UseSession", "OnStartPage has not been called"}}) {
    try {
      Call(probe, c.method);
      FAIL() << c.method;
    } catch (const AutomationError& e) {
      EXPECT_THAT(e.description(), HasSubstr(c.description_part));
      EXPECT_EQ(Call(probe, "GetError"), Variant::Text(e.description()));
    }
  }
  EXPECT_EQ(probe.connection(), nullptr);
  EXPECT_EQ(Held(probe.page_context()), std::vector<ObjectRef>(5));
}

}  // namespace
}  // namespace korimba

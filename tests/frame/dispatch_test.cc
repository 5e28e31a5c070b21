#include "frame/dispatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/safe_array.h"

namespace korimba {
namespace {

using ::testing::HasSubstr;

// A small interface of its own, so the call layer is tested apart from the
// component's classes. Every thunk records the converted arguments it got.
class Probe final : public DispatchObject {
 public:
  std::string_view KindName() const override { return "Probe"; }
  const InterfaceInfo& Interface() const override;

  int runs = 0;
  std::vector<Variant> seen;
};

Probe& P(DispatchObject& self) { return static_cast<Probe&>(self); }

Variant Record(DispatchObject& self, std::span<const Variant> args) {
  P(self).runs++;
  P(self).seen.assign(args.begin(), args.end());
  return Variant::Text("ran");
}

constexpr ParamSpec kTwoI2[] = {{"a", ArgKind::kI2, Pass::kByValue},
                                {"b", ArgKind::kI2, Pass::kByRef}};
constexpr ParamSpec kOneI4[] = {{"ID", ArgKind::kI4, Pass::kByRef}};
constexpr ParamSpec kOneText[] = {{"text", ArgKind::kText, Pass::kByValue}};

const MethodSpec kMethods[] = {
    {"AddSmall", kTwoI2, ResultKind::kVariant, false, Record},
    {"Lookup", kOneI4, ResultKind::kVariant, false, Record},
    {"Title", kOneText, ResultKind::kNone, true, Record},
    {"Boom",
     {},
     ResultKind::kVariant,
     false,
     [](DispatchObject&, std::span<const Variant>) -> Variant {
       throw std::runtime_error("disk on fire");
     }},
    {"Hungry",
     {},
     ResultKind::kVariant,
     false,
     [](DispatchObject&, std::span<const Variant>) -> Variant { throw std::bad_alloc(); }},
    {"Refuse",
     {},
     ResultKind::kVariant,
     false,
     [](DispatchObject&, std::span<const Variant>) -> Variant { ThrowDatabase("table is gone"); }},
};
const InterfaceInfo kProbeInterface{"_Probe", "{00000000-0000-0000-0000-000000000001}", kMethods};
const InterfaceInfo& Probe::Interface() const { return kProbeInterface; }

// Calls and returns the error it ended with (number 0 when it succeeded).
AutomationError CallError(DispatchObject& object, std::string_view method,
                          std::vector<Variant> args) {
  try {
    object.Call(method, args);
  } catch (const AutomationError& e) {
    return e;
  }
  return AutomationError(0, "");
}

TEST(DispatchTest, NamesMatchWithoutRegardToCase) {
  Probe probe;
  for (const char* name : {"AddSmall", "addsmall", "ADDSMALL", "aDdSmAlL"}) {
    EXPECT_EQ(probe.Call(name, std::vector{Variant::I2(1), Variant::I2(2)}), Variant::Text("ran"))
        << name;
  }
  EXPECT_EQ(probe.runs, 4);
  EXPECT_EQ(kProbeInterface.Find("lookup"), &kMethods[1]);
  EXPECT_EQ(kProbeInterface.Find("Look"), nullptr);
}

TEST(DispatchTest, RefusedCallsNeverRunTheMethodAndBecomeTheLastError) {
  struct Case {
    const char* method;
    std::vector<Variant> args;
    int32_t number;
    const char* description_part;
  };
  const Case cases[] = {
      {"Nope", {}, kErrNoSuchMember, "Object doesn't support this property or method: 'Nope'"},
      {"AddSmall", {Variant::I2(1)}, kErrWrongArgCount, "'AddSmall' takes 2 arguments, 1 given"},
      {"Lookup", {}, kErrWrongArgCount, "'Lookup' takes 1 argument, 0 given"},
      {"Title", {Variant::Text("x")}, kErrNoSuchMember, "'Title'"},
      // The second argument is the bad one: the first was converted, but
      // nothing runs until all are.
      {"AddSmall", {Variant::I2(1), Variant::I4(32768)}, kErrOverflow, "argument 'b'"},
      {"AddSmall", {Variant::I4(-32769), Variant::I2(0)}, kErrOverflow, "argument 'a'"},
      {"AddSmall", {Variant::R8(32767.5), Variant::I2(0)}, kErrOverflow, "Overflow"},
      {"AddSmall", {Variant::Text("7 or 1=1"), Variant::I2(0)}, kErrTypeMismatch, "Type mismatch"},
      {"Lookup", {Variant::R8(2147483648.0)}, kErrOverflow, "argument 'ID' of 'Lookup'"},
      {"Lookup", {Variant::Null()}, kErrInvalidNull, "Invalid use of Null"},
  };
  for (const Case& c : cases) {
    Probe probe;
    SetLastErrorDescription("");
    AutomationError error = CallError(probe, c.method, c.args);
    SCOPED_TRACE(std::string(c.method) + " -> " + error.description());
    EXPECT_EQ(error.number(), c.number);
    EXPECT_THAT(error.description(), HasSubstr(c.description_part));
    EXPECT_EQ(probe.runs, 0);
    EXPECT_EQ(LastErrorDescription(), error.description());
  }
}

TEST(DispatchTest, ArgumentsReachTheMethodConvertedToTheirDeclaredKinds) {
  Probe probe;
  // Edges of the 16-bit range, text that reads as a number, and rounding of
  // halves to the even neighbour, by value and by reference alike.
  probe.Call("AddSmall", std::vector{Variant::I4(-32768), Variant::Text(" 32767 ")});
  EXPECT_EQ(probe.seen, (std::vector{Variant::I2(-32768), Variant::I2(32767)}));
  probe.Call("AddSmall", std::vector{Variant::R8(2.5), Variant::R8(3.5)});
  EXPECT_EQ(probe.seen, (std::vector{Variant::I2(2), Variant::I2(4)}));
  probe.Call("Lookup", std::vector{Variant::I4(70000)});
  EXPECT_EQ(probe.seen, std::vector{Variant::I4(70000)});
}

TEST(DispatchTest, PropertiesArePutAndMethodsAreCalled) {
  Probe probe;
  probe.Put("title", Variant::I4(42));
  EXPECT_EQ(probe.seen, std::vector{Variant::Text("42")});

  SetLastErrorDescription("");
  try {
    probe.Put("Lookup", Variant::I4(1));
    FAIL() << "a method was put as a property";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), kErrNoSuchMember);
    EXPECT_THAT(e.description(), HasSubstr("'Lookup'"));
    EXPECT_EQ(LastErrorDescription(), e.description());
  }
  EXPECT_THROW(probe.Put("Missing", Variant()), AutomationError);
  EXPECT_EQ(probe.runs, 1);
}

TEST(DispatchTest, EveryFailureLeavesAsAnAutomationErrorWithItsDescriptionRecorded) {
  Probe probe;
  struct Case {
    const char* method;
    int32_t number;
    std::string description;
  };
  const Case cases[] = {
      {"Boom", 51, "Internal error: disk on fire"},
      {"Hungry", 7, "Out of memory"},
      {"Refuse", kErrDatabase, "table is gone"},
  };
  for (const Case& c : cases) {
    AutomationError error = CallError(probe, c.method, {});
    EXPECT_EQ(error.number(), c.number) << c.method;
    EXPECT_EQ(error.description(), c.description);
    EXPECT_EQ(LastErrorDescription(), c.description);
  }
}

Variant VariantArray(int32_t lower, std::vector<Variant> cells) {
  auto array = std::make_shared<SafeArray>(
      std::vector<Bound>{{lower, lower + static_cast<int32_t>(cells.size()) - 1}});
  array->cells() = std::move(cells);
  return Variant::Array(std::move(array));
}

TEST(ConvertArgumentTest, ByteArrays) {
  const ByteArray bytes{{1, 2, 3}, 0};
  struct Case {
    const char* what;
    Variant in;
    std::string out;  // DebugString of the converted value, or the error number
  };
  const Case cases[] = {
      {"bytes pass", Variant::Bytes(bytes), "bytes(lbound 0, 3)"},
      {"empty passes", Variant(), "Empty"},
      {"null passes", Variant::Null(), "Null"},
      {"missing passes", Variant::Missing(), "Missing"},
      {"numbers keep the lower bound",
       VariantArray(1, {Variant::I2(0), Variant::I4(255), Variant::R8(7)}), "bytes(lbound 1, 3)"},
      {"256 overflows", VariantArray(0, {Variant::I4(256)}), "error 6"},
      {"-1 overflows", VariantArray(0, {Variant::I2(-1)}), "error 6"},
      {"fraction", VariantArray(0, {Variant::R8(1.5)}), "error 13"},
      {"text cell", VariantArray(0, {Variant::Text("1")}), "error 13"},
      {"no array", Variant::NoArray(), "error 13"},
      {"text", Variant::Text("abc"), "error 13"},
      {"number", Variant::I4(1), "error 13"},
  };
  for (Pass pass : {Pass::kByValue, Pass::kByRef}) {
    const ParamSpec param{"FileAttach", ArgKind::kBytes, pass};
    for (const Case& c : cases) {
      std::string got;
      try {
        got = ConvertArgument(param, c.in).DebugString();
      } catch (const AutomationError& e) {
        got = "error " + std::to_string(e.number());
      }
      EXPECT_EQ(got, c.out) << c.what;
    }
  }
  const ParamSpec param{"FileAttach", ArgKind::kBytes, Pass::kByRef};
  Variant converted = ConvertArgument(param, VariantArray(0, {Variant::I2(9), Variant::I2(200)}));
  EXPECT_EQ(converted.bytes()->bytes, (std::vector<uint8_t>{9, 200}));

  auto two_dims = std::make_shared<SafeArray>(std::vector<Bound>{{0, 0}, {0, 0}});
  two_dims->at({0, 0}) = Variant::I2(1);
  EXPECT_THROW(ConvertArgument(param, Variant::Array(two_dims)), AutomationError);
}

TEST(ConvertArgumentTest, ObjectsAndText) {
  const ParamSpec object{"pConn", ArgKind::kObject, Pass::kByRef};
  auto probe = std::make_shared<Probe>();
  EXPECT_EQ(ConvertArgument(object, Variant::Object(probe)), Variant::Object(probe));
  auto number_of = [&](const ParamSpec& p, const Variant& v) {
    try {
      ConvertArgument(p, v);
    } catch (const AutomationError& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(number_of(object, Variant::Text("conn")), kErrTypeMismatch);
  EXPECT_EQ(number_of(object, Variant::Object(nullptr)), kErrObjectNotSet);

  const ParamSpec text{"WorkPath", ArgKind::kText, Pass::kByValue};
  EXPECT_EQ(ConvertArgument(text, Variant::I2(-5)), Variant::Text("-5"));
  EXPECT_EQ(number_of(text, Variant::Null()), kErrInvalidNull);
  EXPECT_EQ(ConvertArgument({"v", ArgKind::kVariant, Pass::kByRef}, Variant::Null()),
            Variant::Null());
}

}  // namespace
}  // namespace korimba

// The _Message call table: every method in call-table order, with its
// parameters as scripts pass them and the typed member function it calls.
#include "message/message.h"

#include "frame/value_ops.h"

namespace korimba {
namespace {

using A = std::span<const Variant>;

constexpr ParamSpec V(std::string_view name) { return {name, ArgKind::kVariant, Pass::kByValue}; }
constexpr ParamSpec VRef(std::string_view name) { return {name, ArgKind::kVariant, Pass::kByRef}; }

inline constexpr ParamSpec kWorkPathParams[] = {{"WorkPath", ArgKind::kText, Pass::kByValue}};
inline constexpr ParamSpec kDptAddDataParams[] = {
    V("PersonID"), V("msgContent"),  V("MsgFromPersonID"),
    V("MsgTitle"), V("Msgfilename"), {"FileAttach", ArgKind::kBytes, Pass::kByRef},
    V("flg")};
inline constexpr ParamSpec kAddDataParams[] = {V("PersonID"), V("msgContent"), V("MsgFromPersonID"),
                                               V("MsgTitle")};
inline constexpr ParamSpec kIdI4[] = {{"ID", ArgKind::kI4, Pass::kByValue}};
inline constexpr ParamSpec kIdI4Ref[] = {{"ID", ArgKind::kI4, Pass::kByRef}};
inline constexpr ParamSpec kIdRef[] = {VRef("ID")};
inline constexpr ParamSpec kUpdateDataParams[] = {V("ID"), V("PersonID"), V("msgContent"),
                                                  V("MsgFromPersonID"), V("MsgTitle")};
inline constexpr ParamSpec kOtherPersonParams[] = {{"a", ArgKind::kI4, Pass::kByValue}};
inline constexpr ParamSpec kPersonI4[] = {{"PersonID", ArgKind::kI4, Pass::kByValue}};
inline constexpr ParamSpec kMinuteParams[] = {VRef("xx")};

Message& Self(DispatchObject& self) { return static_cast<Message&>(self); }

const MethodSpec kMethods[] = {
    frame_methods::kOnStartPage,
    frame_methods::kOnEndPage,
    frame_methods::kSetConn,
    {"WorkPath", kWorkPathParams, ResultKind::kNone, true,
     [](DispatchObject& self, A a) {
       Self(self).SetWorkPath(ToText(a[0]));
       return Variant();
     }},
    frame_methods::kGetError,
    {"dptAddData", kDptAddDataParams, ResultKind::kBool, false,
     [](DispatchObject& self, A a) {
       return Variant::Bool(Self(self).dptAddData(a[0], a[1], a[2], a[3], a[4], a[5], a[6]));
     }},
    {"AddData", kAddDataParams, ResultKind::kBool, false,
     [](DispatchObject& self, A a) {
       return Variant::Bool(Self(self).AddData(a[0], a[1], a[2], a[3]));
     }},
    {"GetFileData", kIdI4, ResultKind::kVariant, false,
     [](DispatchObject& self, A a) { return Self(self).GetFileData(ToI4(a[0])); }},
    {"DelData", kIdRef, ResultKind::kBool, false,
     [](DispatchObject& self, A a) { return Variant::Bool(Self(self).DelData(a[0])); }},
    {"UpdateData", kUpdateDataParams, ResultKind::kBool, false,
     [](DispatchObject& self, A a) {
       return Variant::Bool(Self(self).UpdateData(a[0], a[1], a[2], a[3], a[4]));
     }},
    {"GetAllData", kOtherPersonParams, ResultKind::kGrid, false,
     [](DispatchObject& self, A a) { return Self(self).GetAllData(ToI4(a[0])); }},
    {"noread",
     {},
     ResultKind::kI4,
     false,
     [](DispatchObject& self, A) { return Variant::I4(Self(self).noread()); }},
    {"MsgRead", kIdI4Ref, ResultKind::kGrid, false,
     [](DispatchObject& self, A a) { return Self(self).MsgRead(ToI4(a[0])); }},
    {"noread1", kIdRef, ResultKind::kGrid, false,
     [](DispatchObject& self, A a) { return Self(self).noread1(a[0]); }},
    {"noread2", kIdRef, ResultKind::kI4, false,
     [](DispatchObject& self, A a) { return Variant::I4(Self(self).noread2(a[0])); }},
    {"repairFlg", kIdI4Ref, ResultKind::kVariant, false,
     [](DispatchObject& self, A a) { return Self(self).repairFlg(ToI4(a[0])); }},
    {"GetOnlineList",
     {},
     ResultKind::kGrid,
     false,
     [](DispatchObject& self, A) { return Self(self).GetOnlineList(); }},
    {"GetPersonName", kIdRef, ResultKind::kText, false,
     [](DispatchObject& self, A a) { return Variant::Text(Self(self).GetPersonName(a[0])); }},
    {"GetFriendList",
     {},
     ResultKind::kGrid,
     false,
     [](DispatchObject& self, A) { return Self(self).GetFriendList(); }},
    {"InceptMsg", kPersonI4, ResultKind::kGrid, false,
     [](DispatchObject& self, A a) { return Self(self).InceptMsg(ToI4(a[0])); }},
    {"trackMsg", kPersonI4, ResultKind::kGrid, false,
     [](DispatchObject& self, A a) { return Self(self).trackMsg(ToI4(a[0])); }},
    {"track", kMinuteParams, ResultKind::kGrid, false,
     [](DispatchObject& self, A a) { return Self(self).track(a[0]); }},
};

const InterfaceInfo kInterface{"_Message", Message::kInterfaceId, kMethods};

}  // namespace

const InterfaceInfo& Message::Interface() const { return kInterface; }

}  // namespace korimba

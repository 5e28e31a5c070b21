// The _Plan call table: every method in call-table order, with its
// parameters as scripts pass them and the typed member function it calls;
// and the person-name lookup the class shares with Message.
#include "plan/plan.h"

#include "frame/value_ops.h"
#include "people/person_name.h"

namespace korimba {
namespace {

using A = std::span<const Variant>;

constexpr ParamSpec V(std::string_view name) { return {name, ArgKind::kVariant, Pass::kByValue}; }

inline constexpr ParamSpec kAddParams[] = {
    V("PersonID"),    V("PlanType"),    V("PlanClass"),     V("PlanBeginTime"),
    V("PlanEndTime"), V("PlanContent"), V("PlanAlertTime"), V("PlanPlace"),
};
inline constexpr ParamSpec kIdByRef[] = {{"ID", ArgKind::kVariant, Pass::kByRef}};
inline constexpr ParamSpec kUpdateParams[] = {
    V("ID"),          V("PersonID"),    V("PlanType"),      V("PlanClass"), V("PlanBeginTime"),
    V("PlanEndTime"), V("PlanContent"), V("PlanAlertTime"), V("PlanPlace"),
};
inline constexpr ParamSpec kPageParams[] = {V("nPageSize"), V("nPage")};
// Plan ids are 32-bit: a 16-bit id would stop working after 32767 plans.
inline constexpr ParamSpec kGetDataParams[] = {{"ID", ArgKind::kI4, Pass::kByValue}};
inline constexpr ParamSpec kViewParams[] = {V("PersonID"), V("dtDate")};

Plan& Self(DispatchObject& self) { return static_cast<Plan&>(self); }

const MethodSpec kMethods[] = {
    frame_methods::kOnStartPage,
    frame_methods::kOnEndPage,
    frame_methods::kSetConn,
    frame_methods::kGetError,
    {"AddData", kAddParams, ResultKind::kBool, false,
     [](DispatchObject& self, A a) {
       return Variant::Bool(Self(self).AddData(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]));
     }},
    {"DelData", kIdByRef, ResultKind::kBool, false,
     [](DispatchObject& self, A a) { return Variant::Bool(Self(self).DelData(a[0])); }},
    {"UpdateData", kUpdateParams, ResultKind::kBool, false,
     [](DispatchObject& self, A a) {
       return Variant::Bool(
           Self(self).UpdateData(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]));
     }},
    {"GetAllData",
     {},
     ResultKind::kGrid,
     false,
     [](DispatchObject& self, A) { return Self(self).GetAllData(); }},
    {"GetPageData", kPageParams, ResultKind::kGrid, false,
     [](DispatchObject& self, A a) { return Self(self).GetPageData(a[0], a[1]); }},
    {"GetData", kGetDataParams, ResultKind::kGrid, false,
     [](DispatchObject& self, A a) { return Self(self).GetData(ToI4(a[0])); }},
    {"GetMonthPlan", kViewParams, ResultKind::kGrid, false,
     [](DispatchObject& self, A a) { return Self(self).GetMonthPlan(a[0], a[1]); }},
    {"GetMonthPlan11", kViewParams, ResultKind::kGrid, false,
     [](DispatchObject& self, A a) { return Self(self).GetMonthPlan11(a[0], a[1]); }},
    {"GetWeekPlan11", kViewParams, ResultKind::kGrid, false,
     [](DispatchObject& self, A a) { return Self(self).GetWeekPlan11(a[0], a[1]); }},
    {"GetWeekPlan", kViewParams, ResultKind::kVariant, false,
     [](DispatchObject& self, A a) { return Self(self).GetWeekPlan(a[0], a[1]); }},
    {"GetDayPlan", kViewParams, ResultKind::kVariant, false,
     [](DispatchObject& self, A a) { return Self(self).GetDayPlan(a[0], a[1]); }},
    {"GetPersonName", kIdByRef, ResultKind::kText, false,
     [](DispatchObject& self, A a) { return Variant::Text(Self(self).GetPersonName(a[0])); }},
    {"YY",
     {},
     ResultKind::kVariant,
     false,
     [](DispatchObject& self, A) { return Self(self).YY(); }},
};

const InterfaceInfo kInterface{"_Plan", Plan::kInterfaceId, kMethods};

}  // namespace

const InterfaceInfo& Plan::Interface() const { return kInterface; }

std::string Plan::GetPersonName(const Variant& id) { return LookUpPersonName(conn(), id); }

}  // namespace korimba

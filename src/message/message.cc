#include "message/message.h"

#include "frame/value_ops.h"

namespace korimba {
namespace {

inline constexpr ParamSpec kWorkPathParams[] = {{"WorkPath", ArgKind::kText, Pass::kByValue}};

Message& Self(DispatchObject& self) { return static_cast<Message&>(self); }

// The _Message call table, in call-table order.
const MethodSpec kMethods[] = {
    frame_methods::kOnStartPage,
    frame_methods::kOnEndPage,
    frame_methods::kSetConn,
    {"WorkPath", kWorkPathParams, ResultKind::kNone, true,
     [](DispatchObject& self, std::span<const Variant> a) {
       Self(self).SetWorkPath(*a[0].text());
       return Variant();
     }},
    frame_methods::kGetError,
};

const InterfaceInfo kInterface{"_Message", Message::kInterfaceId, kMethods};

}  // namespace

const InterfaceInfo& Message::Interface() const { return kInterface; }

}  // namespace korimba

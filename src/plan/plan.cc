#include "plan/plan.h"

namespace korimba {
namespace {

// The _Plan call table, in call-table order.
const MethodSpec kMethods[] = {
    frame_methods::kOnStartPage,
    frame_methods::kOnEndPage,
    frame_methods::kSetConn,
    frame_methods::kGetError,
};

const InterfaceInfo kInterface{"_Plan", Plan::kInterfaceId, kMethods};

}  // namespace

const InterfaceInfo& Plan::Interface() const { return kInterface; }

}  // namespace korimba

#include "frame/error.h"

namespace korimba {
namespace {

thread_local std::string t_last_error;

std::string WithDetail(const char* base, const std::string& detail) {
  if (detail.empty()) return base;
  return std::string(base) + ": " + detail;
}

}  // namespace

void ThrowOverflow(const std::string& detail) {
  throw AutomationError(kErrOverflow, WithDetail("Overflow", detail));
}
void ThrowSubscript(const std::string& detail) {
  throw AutomationError(kErrSubscript, WithDetail("Subscript out of range", detail));
}
void ThrowTypeMismatch(const std::string& detail) {
  throw AutomationError(kErrTypeMismatch, WithDetail("Type mismatch", detail));
}
void ThrowInvalidNull(const std::string& detail) {
  throw AutomationError(kErrInvalidNull, WithDetail("Invalid use of Null", detail));
}
void ThrowObjectNotSet(const std::string& detail) {
  throw AutomationError(kErrObjectNotSet,
                        WithDetail("Object variable or With block variable not set", detail));
}
void ThrowInvalidCall(const std::string& detail) {
  throw AutomationError(kErrInvalidCall, WithDetail("Invalid procedure call or argument", detail));
}
void ThrowDatabase(const std::string& message) { throw AutomationError(kErrDatabase, message); }

const std::string& LastErrorDescription() { return t_last_error; }
void SetLastErrorDescription(std::string description) { t_last_error = std::move(description); }

}  // namespace korimba

// AutomationError is the one exception type that crosses the component's
// boundary: every failure (conversion, overflow, subscript, database, page
// host, file) ends a call with an error that carries a number and a
// description. The dispatch layer records the description of every error that
// reaches a caller as the calling thread's last error, which `GetError`
// returns; it is per thread and never cleared.
//
// Error numbers follow the usual automation runtime numbers so that page
// scripts can test them; errors passed on from a database or a page host keep
// their own descriptions.
#ifndef KORIMBA_FRAME_ERROR_H_
#define KORIMBA_FRAME_ERROR_H_

#include <cstdint>
#include <stdexcept>
#include <string>

namespace korimba {

// Runtime error numbers raised by the component itself.
inline constexpr int32_t kErrOverflow = 6;
inline constexpr int32_t kErrSubscript = 9;
inline constexpr int32_t kErrTypeMismatch = 13;
inline constexpr int32_t kErrBadFileName = 52;
inline constexpr int32_t kErrFileNotFound = 53;
inline constexpr int32_t kErrFileIo = 57;
inline constexpr int32_t kErrPathAccess = 75;
inline constexpr int32_t kErrObjectNotSet = 91;
inline constexpr int32_t kErrInvalidNull = 94;
inline constexpr int32_t kErrCantCreate = 429;
inline constexpr int32_t kErrNoSuchMember = 438;
inline constexpr int32_t kErrWrongArgCount = 450;
inline constexpr int32_t kErrInvalidCall = 5;
// Failures that are not the component's own errors (an allocation failure, an
// unexpected exception), caught at the dispatch boundary.
inline constexpr int32_t kErrOutOfMemory = 7;
inline constexpr int32_t kErrInternal = 51;
// Result-set misuse, numbered as the usual data access runtime numbers it.
inline constexpr int32_t kErrArgumentRange = 3001;
inline constexpr int32_t kErrNoCurrentRecord = 3021;
inline constexpr int32_t kErrItemNotFound = 3265;
inline constexpr int32_t kErrClosed = 3704;
inline constexpr int32_t kErrAlreadyOpen = 3705;
// Errors reported by a database provider (the provider's own text is the
// description).
inline constexpr int32_t kErrDatabase = -2147217900;  // 0x80040E14
// Errors reported by the page host.
inline constexpr int32_t kErrPageHost = -2147467259;  // 0x80004005

class AutomationError : public std::runtime_error {
 public:
  AutomationError(int32_t number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  int32_t number_;
  std::string description_;
};

// Builders for the component's own errors, with their standard descriptions.
// `detail` (optional) is appended after ": " so that a failure names what it
// was about.
[[noreturn]] void ThrowOverflow(const std::string& detail = {});
[[noreturn]] void ThrowSubscript(const std::string& detail = {});
[[noreturn]] void ThrowTypeMismatch(const std::string& detail = {});
[[noreturn]] void ThrowInvalidNull(const std::string& detail = {});
[[noreturn]] void ThrowObjectNotSet(const std::string& detail = {});
[[noreturn]] void ThrowInvalidCall(const std::string& detail);
[[noreturn]] void ThrowDatabase(const std::string& message);

// The description of the error most recently reported to a caller on this
// thread, or "" before any. Shared by every object of both classes.
const std::string& LastErrorDescription();
void SetLastErrorDescription(std::string description);

}  // namespace korimba

#endif  // KORIMBA_FRAME_ERROR_H_

// The page host's objects as the component sees them: a scripting context
// that hands out Response, Request, Server, Application and Session; values
// by name (matched without regard to case) on Session and Application;
// Application Lock/UnLock; one server variable by name on Request. The
// component holds counted references to them between OnStartPage and
// OnEndPage (PageContext). Implementations live in the page host (src/host/);
// Application is shared by all sessions and must be thread-safe, the others
// belong to one page at a time.
#ifndef KORIMBA_FRAME_PAGE_CONTEXT_H_
#define KORIMBA_FRAME_PAGE_CONTEXT_H_

#include <memory>
#include <string_view>

#include "frame/object.h"
#include "frame/variant.h"

namespace korimba {

class ResponseObject : public Object {
 public:
  std::string_view KindName() const override { return "Response"; }
};

class ServerObject : public Object {
 public:
  std::string_view KindName() const override { return "Server"; }
};

class RequestObject : public Object {
 public:
  std::string_view KindName() const override { return "Request"; }
  // Empty when the request has no such variable.
  virtual Variant ServerVariable(std::string_view name) const = 0;
};

class SessionObject : public Object {
 public:
  std::string_view KindName() const override { return "Session"; }
  // Empty when nothing is stored under the name.
  virtual Variant Value(std::string_view name) const = 0;
  virtual void SetValue(std::string_view name, Variant value) = 0;
};

class ApplicationObject : public Object {
 public:
  std::string_view KindName() const override { return "Application"; }
  virtual Variant Value(std::string_view name) const = 0;
  virtual void SetValue(std::string_view name, Variant value) = 0;
  // Mutual exclusion across pages and threads; the page host releases a lock
  // that a page still holds when the page ends.
  virtual void Lock() = 0;
  virtual void UnLock() = 0;
};

// The argument of OnStartPage. Each getter may return nullptr or an object of
// another kind when the host cannot give one; the component then fails.
class ScriptingContextObject : public Object {
 public:
  std::string_view KindName() const override { return "ScriptingContext"; }
  virtual ObjectRef Response() = 0;
  virtual ObjectRef Request() = 0;
  virtual ObjectRef Server() = 0;
  virtual ObjectRef Application() = 0;
  virtual ObjectRef Session() = 0;
};

// The five page objects an object holds between OnStartPage and OnEndPage.
struct PageContext {
  std::shared_ptr<ResponseObject> response;
  std::shared_ptr<RequestObject> request;
  std::shared_ptr<ServerObject> server;
  std::shared_ptr<ApplicationObject> application;
  std::shared_ptr<SessionObject> session;
};

}  // namespace korimba

#endif  // KORIMBA_FRAME_PAGE_CONTEXT_H_

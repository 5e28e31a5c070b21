#include "frame/component.h"

#include <string>

#include "frame/error.h"

namespace korimba {
namespace {

constexpr const char* kNoPageContext =
    "No page context: OnStartPage has not been called or OnEndPage has released it";

// Asks the context for one of its objects and takes it as the interface of
// that kind; a host that gives nothing, or an object of another kind, fails
// the call naming the object.
template <typename Interface>
std::shared_ptr<Interface> Take(ObjectRef object, const char* what) {
  auto typed = std::dynamic_pointer_cast<Interface>(std::move(object));
  if (typed == nullptr) {
    throw AutomationError(kErrPageHost, std::string("OnStartPage: the scripting context gave no ") +
                                            what + " object");
  }
  return typed;
}

}  // namespace

Variant Component::OnStartPage(const Variant& scripting_context) {
  const ObjectRef* object = scripting_context.object();
  if (object == nullptr || *object == nullptr) {
    ThrowTypeMismatch("OnStartPage expects the page's scripting context");
  }
  auto context = std::dynamic_pointer_cast<ScriptingContextObject>(*object);
  if (context == nullptr) {
    ThrowTypeMismatch("OnStartPage expects the page's scripting context, not a " +
                      std::string((*object)->KindName()));
  }
  // Each object is stored as soon as it is obtained (releasing the one held
  // before), so a failure keeps what was stored up to that point.
  page_.response = Take<ResponseObject>(context->Response(), "Response");
  page_.request = Take<RequestObject>(context->Request(), "Request");
  page_.server = Take<ServerObject>(context->Server(), "Server");
  page_.application = Take<ApplicationObject>(context->Application(), "Application");
  page_.session = Take<SessionObject>(context->Session(), "Session");
  return Variant();
}

Variant Component::OnEndPage() {
  page_.response.reset();
  page_.request.reset();
  page_.server.reset();
  page_.application.reset();
  page_.session.reset();
  return Variant();
}

void Component::SetConn(const Variant& connection) {
  const ObjectRef* object = connection.object();
  std::shared_ptr<Connection> conn =
      object != nullptr ? std::dynamic_pointer_cast<Connection>(*object) : nullptr;
  if (conn == nullptr) ThrowTypeMismatch("SetConn expects an open database connection");
  conn_ = std::move(conn);
}

std::string Component::GetError() const { return LastErrorDescription(); }

Connection& Component::conn() const {
  if (conn_ == nullptr) {
    throw AutomationError(kErrObjectNotSet, "SetConn has not been called: no database connection");
  }
  return *conn_;
}

SessionObject& Component::session() const {
  if (page_.session == nullptr) {
    throw AutomationError(kErrObjectNotSet, std::string(kNoPageContext) + " (no Session)");
  }
  return *page_.session;
}

ApplicationObject& Component::application() const {
  if (page_.application == nullptr) {
    throw AutomationError(kErrObjectNotSet, std::string(kNoPageContext) + " (no Application)");
  }
  return *page_.application;
}

RequestObject& Component::request() const {
  if (page_.request == nullptr) {
    throw AutomationError(kErrObjectNotSet, std::string(kNoPageContext) + " (no Request)");
  }
  return *page_.request;
}

}  // namespace korimba

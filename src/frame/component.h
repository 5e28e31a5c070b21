// Component is the state and the frame methods that both classes share: the
// connection handed over by SetConn and the five page objects captured by
// OnStartPage (released by OnEndPage), each held as one counted reference.
// Message and Plan derive from it and list the frame methods' table entries
// (kOnStartPage, ...) in their own method tables. No code runs at creation or
// destruction beyond releasing the references. Apartment-threaded.
#ifndef KORIMBA_FRAME_COMPONENT_H_
#define KORIMBA_FRAME_COMPONENT_H_

#include <memory>
#include <string>

#include "frame/connection.h"
#include "frame/dispatch.h"
#include "frame/page_context.h"
#include "frame/variant.h"

namespace korimba {

class Component : public DispatchObject {
 public:
  // Takes Response, Request, Server, Application and Session from the
  // scripting context, in that order, storing each as soon as it is obtained;
  // fails at the first one the context cannot give. Returns Empty.
  Variant OnStartPage(const Variant& scripting_context);
  // Releases the five page objects; harmless when none is held. Returns Empty.
  Variant OnEndPage();
  // Holds a new counted reference to the connection, releasing the old one.
  void SetConn(const Variant& connection);
  // The description of the last error reported on this thread.
  std::string GetError() const;

  // Read access for tests and the page host.
  const PageContext& page_context() const { return page_; }
  const std::shared_ptr<Connection>& connection() const { return conn_; }

 protected:
  // Each fails with an error naming what is missing (SetConn or OnStartPage
  // not called, or OnEndPage already called).
  Connection& conn() const;
  SessionObject& session() const;
  ApplicationObject& application() const;
  RequestObject& request() const;

 private:
  std::shared_ptr<Connection> conn_;
  PageContext page_;
};

namespace frame_methods {

inline constexpr ParamSpec kScParams[] = {{"sc", ArgKind::kObject, Pass::kByRef}};
inline constexpr ParamSpec kConnParams[] = {{"pConn", ArgKind::kObject, Pass::kByRef}};

inline constexpr MethodSpec kOnStartPage{"OnStartPage", kScParams, ResultKind::kVariant, false,
                                         [](DispatchObject& self, std::span<const Variant> a) {
                                           return static_cast<Component&>(self).OnStartPage(a[0]);
                                         }};
inline constexpr MethodSpec kOnEndPage{"OnEndPage",
                                       {},
                                       ResultKind::kVariant,
                                       false,
                                       [](DispatchObject& self, std::span<const Variant>) {
                                         return static_cast<Component&>(self).OnEndPage();
                                       }};
inline constexpr MethodSpec kSetConn{"SetConn", kConnParams, ResultKind::kNone, false,
                                     [](DispatchObject& self, std::span<const Variant> a) {
                                       static_cast<Component&>(self).SetConn(a[0]);
                                       return Variant();
                                     }};
inline constexpr MethodSpec kGetError{
    "GetError", {}, ResultKind::kText, false, [](DispatchObject& self, std::span<const Variant>) {
      return Variant::Text(static_cast<Component&>(self).GetError());
    }};

}  // namespace frame_methods
}  // namespace korimba

#endif  // KORIMBA_FRAME_COMPONENT_H_

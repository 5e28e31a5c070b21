// MessageHarness drives a "Korimba.Message" object the way a page does:
// created by ProgID, handed a page of an in-memory page host (its own
// session, a shared application) and a connection, and called by name.
// Used by the message tests only; one thread.
#ifndef KORIMBA_TESTS_MESSAGE_MESSAGE_HARNESS_H_
#define KORIMBA_TESTS_MESSAGE_MESSAGE_HARNESS_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "classes/registry.h"
#include "frame/connection.h"
#include "frame/dispatch.h"
#include "frame/grid.h"
#include "host/page_host.h"

namespace korimba::testing {

class MessageHarness {
 public:
  explicit MessageHarness(
      std::shared_ptr<Connection> conn,
      std::shared_ptr<InMemoryApplication> app = std::make_shared<InMemoryApplication>())
      : app_(std::move(app)), object_(CreateObject("Korimba.Message")) {
    Call("SetConn", {Variant::Object(std::move(conn))});
  }

  // Starts a page for `session` (a new one when null) on the shared
  // application; the previous page, if any, ends.
  void StartPage(std::shared_ptr<InMemorySession> session = nullptr, std::string url = "/msg.asp") {
    if (page_) EndPage();
    session_ = session ? std::move(session) : std::make_shared<InMemorySession>();
    page_ =
        std::make_unique<Page>(app_, session_, std::map<std::string, std::string>{{"url", url}});
    Call("OnStartPage", {Variant::Object(page_->context())});
  }
  void EndPage() {
    Call("OnEndPage", {});
    page_->End();
    page_.reset();
  }

  Variant Call(std::string_view method, std::vector<Variant> args = {}) {
    return object_->Call(method, args);
  }
  void SetWorkPath(const std::string& path) { object_->Put("WorkPath", Variant::Text(path)); }

  InMemorySession& session() { return *session_; }
  const std::shared_ptr<InMemorySession>& session_ref() { return session_; }
  InMemoryApplication& application() { return *app_; }

 private:
  std::shared_ptr<InMemoryApplication> app_;
  std::shared_ptr<DispatchObject> object_;
  std::shared_ptr<InMemorySession> session_;
  std::unique_ptr<Page> page_;
};

// Shorthands for arguments.
inline Variant I(int32_t v) { return Variant::I4(v); }
inline Variant T(std::string v) { return Variant::Text(std::move(v)); }

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_MESSAGE_MESSAGE_HARNESS_H_

#include "web/page_runner.h"

#include <map>

#include "classes/registry.h"

namespace korimba::web {

PageRun::PageRun(std::shared_ptr<HostApplication> application,
                 std::shared_ptr<SessionObject> session, std::string url, ConnectionPool& pool,
                 std::string work_path)
    : work_path_(std::move(work_path)),
      conn_(std::make_shared<LeaseOnUse>(pool)),
      page_(std::move(application), std::move(session),
            std::map<std::string, std::string>{{"url", std::move(url)}}) {}

PageRun::~PageRun() {
  for (auto* slot : {&message_, &plan_}) {
    if (*slot == nullptr) continue;
    try {
      (*slot)->Call("OnEndPage", {});
    } catch (...) {
      // The page is over either way; the object is dropped next.
    }
    slot->reset();
  }
  page_.End();
  conn_->End();
}

ResultTable PageRun::Query(std::string_view constant_statement) {
  return conn_->Query(constant_statement);
}

DispatchObject& PageRun::Object(std::string_view prog_id, std::shared_ptr<DispatchObject>& slot) {
  if (slot != nullptr) return *slot;
  auto object = CreateObject(prog_id);
  const Variant context = Variant::Object(page_.context());
  object->Call("OnStartPage", std::span(&context, 1));
  const Variant conn = Variant::Object(conn_);
  object->Call("SetConn", std::span(&conn, 1));
  if (prog_id == "Korimba.Message") object->Put("WorkPath", Variant::Text(work_path_));
  slot = std::move(object);
  return *slot;
}

Variant PageRun::Call(std::string_view prog_id, std::shared_ptr<DispatchObject>& slot,
                      std::string_view method, std::vector<Variant>& args) {
  // The object sees a busy pool as a failed statement (an AutomationError,
  // which it may even get over); the page answers busy all the same.
  Variant result;
  try {
    result = Object(prog_id, slot).Call(method, args);
  } catch (...) {
    if (conn_->found_busy()) throw PoolBusy();
    throw;
  }
  if (conn_->found_busy()) throw PoolBusy();
  return result;
}

Variant PageRun::Message(std::string_view method, std::vector<Variant> args) {
  return Call("Korimba.Message", message_, method, args);
}

Variant PageRun::Plan(std::string_view method, std::vector<Variant> args) {
  return Call("Korimba.Plan", plan_, method, args);
}

}  // namespace korimba::web

#include "web/page_runner.h"

#include <map>

#include "classes/registry.h"

namespace korimba::web {

PageRun::PageRun(std::shared_ptr<HostApplication> application,
                 std::shared_ptr<SessionObject> session, std::string url, ConnectionPool& pool,
                 std::string work_path)
    : pool_(pool),
      work_path_(std::move(work_path)),
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
  lease_.reset();
}

Connection& PageRun::Conn() {
  if (lease_ == nullptr) lease_ = pool_.Acquire();
  return *lease_->connection();
}

ResultTable PageRun::Query(std::string_view constant_statement) {
  return Conn().Query(constant_statement);
}

DispatchObject& PageRun::Object(std::string_view prog_id, std::shared_ptr<DispatchObject>& slot) {
  if (slot != nullptr) return *slot;
  Conn();
  auto object = CreateObject(prog_id);
  const Variant context = Variant::Object(page_.context());
  object->Call("OnStartPage", std::span(&context, 1));
  const Variant conn = Variant::Object(lease_->connection());
  object->Call("SetConn", std::span(&conn, 1));
  if (prog_id == "Korimba.Message") object->Put("WorkPath", Variant::Text(work_path_));
  slot = std::move(object);
  return *slot;
}

Variant PageRun::Message(std::string_view method, std::vector<Variant> args) {
  return Object("Korimba.Message", message_).Call(method, args);
}

Variant PageRun::Plan(std::string_view method, std::vector<Variant> args) {
  return Object("Korimba.Plan", plan_).Call(method, args);
}

}  // namespace korimba::web

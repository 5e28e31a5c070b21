#include "host/page_host.h"

#include <utility>

#include "frame/error.h"
#include "frame/names.h"

namespace korimba {
Variant NamedValues::Get(std::string_view name) const {
  std::lock_guard lock(mu_);
  auto it = values_.find(FoldName(name));
  return it == values_.end() ? Variant() : it->second;
}

void NamedValues::Set(std::string_view name, Variant value) {
  std::lock_guard lock(mu_);
  values_[FoldName(name)] = std::move(value);
}

std::map<std::string, Variant> NamedValues::All() const {
  std::lock_guard lock(mu_);
  return values_;
}

void InMemoryApplication::Acquire(const void* holder, SessionObject* /*session*/) {
  if (holder == nullptr) ThrowInvalidCall("Application lock holder must not be null");
  std::unique_lock lock(mu_);
  if (holder_ == holder || (holder_ == nullptr && waiting_.empty())) {
    holder_ = holder;
    ++depth_;
    return;
  }
  Waiter me(holder);
  waiting_.push_back(&me);
  me.cv.wait(lock, [&] { return me.granted; });  // PassOn made it ours
}

size_t InMemoryApplication::waiting() const {
  std::lock_guard lock(mu_);
  return waiting_.size();
}

void InMemoryApplication::PassOn() {
  holder_ = nullptr;
  depth_ = 0;
  if (waiting_.empty()) return;
  Waiter* next = waiting_.front();
  waiting_.pop_front();
  holder_ = next->holder;
  depth_ = 1;
  next->granted = true;
  // Under mu_: the waiter's condition variable is gone once it sees this.
  next->cv.notify_one();
}

void InMemoryApplication::Release(const void* holder) {
  std::lock_guard lock(mu_);
  if (holder == nullptr || holder_ != holder) {
    throw AutomationError(kErrPageHost,
                          "Application.UnLock: the Application is not locked by this page");
  }
  if (--depth_ == 0) PassOn();
}

bool InMemoryApplication::IsHeldBy(const void* holder) const {
  std::lock_guard lock(mu_);
  return holder != nullptr && holder_ == holder;
}

void InMemoryApplication::ReleaseAll(const void* holder) {
  std::lock_guard lock(mu_);
  if (holder == nullptr || holder_ != holder) return;
  PassOn();
}

InMemoryRequest::InMemoryRequest(std::map<std::string, std::string> server_variables) {
  for (auto& [name, value] : server_variables) server_variables_[FoldName(name)] = std::move(value);
}

Variant InMemoryRequest::ServerVariable(std::string_view name) const {
  auto it = server_variables_.find(FoldName(name));
  return it == server_variables_.end() ? Variant() : Variant::Text(it->second);
}

// The page's own Application: values go straight to the shared application,
// and the lock is taken with this view as holder, so the page can release
// whatever it still holds when it ends. Once the page has ended, Lock is
// refused: nobody would release a lock taken then.
class Page::ApplicationView final : public ApplicationObject {
 public:
  ApplicationView(std::shared_ptr<HostApplication> shared, std::shared_ptr<SessionObject> session)
      : shared_(std::move(shared)), session_(std::move(session)) {}
  ~ApplicationView() override { shared_->ReleaseAll(this); }

  Variant Value(std::string_view name) const override { return shared_->Value(name); }
  void SetValue(std::string_view name, Variant value) override {
    shared_->SetValue(name, std::move(value));
  }
  void Lock() override {
    if (ended_) {
      throw AutomationError(kErrPageHost, "Application.Lock: the page has already ended");
    }
    shared_->Acquire(this, session_.get());
  }
  void UnLock() override { shared_->Release(this); }

  void EndPage() {
    ended_ = true;
    shared_->ReleaseAll(this);
  }

 private:
  std::shared_ptr<HostApplication> shared_;
  std::shared_ptr<SessionObject> session_;
  bool ended_ = false;
};

class Page::Context final : public ScriptingContextObject {
 public:
  Context(std::shared_ptr<ApplicationObject> application, std::shared_ptr<SessionObject> session,
          std::shared_ptr<RequestObject> request)
      : response_(std::make_shared<ResponseObject>()),
        request_(std::move(request)),
        server_(std::make_shared<ServerObject>()),
        application_(std::move(application)),
        session_(std::move(session)) {}

  ObjectRef Response() override { return response_; }
  ObjectRef Request() override { return request_; }
  ObjectRef Server() override { return server_; }
  ObjectRef Application() override { return application_; }
  ObjectRef Session() override { return session_; }

 private:
  std::shared_ptr<ResponseObject> response_;
  std::shared_ptr<RequestObject> request_;
  std::shared_ptr<ServerObject> server_;
  std::shared_ptr<ApplicationObject> application_;
  std::shared_ptr<SessionObject> session_;
};

Page::Page(std::shared_ptr<HostApplication> application, std::shared_ptr<SessionObject> session,
           std::map<std::string, std::string> server_variables) {
  // A page without an application or a session gives none: OnStartPage then
  // fails naming the missing object.
  if (application != nullptr) {
    application_view_ = std::make_shared<ApplicationView>(std::move(application), session);
  }
  context_ =
      std::make_shared<Context>(application_view_, std::move(session),
                                std::make_shared<InMemoryRequest>(std::move(server_variables)));
}

Page::~Page() { End(); }

void Page::End() {
  if (ended_) return;
  ended_ = true;
  if (application_view_ != nullptr) application_view_->EndPage();
}

}  // namespace korimba

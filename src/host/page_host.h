// The in-memory page host: the Session, Application and Request objects that
// a page script's scripting context hands to OnStartPage, used by the tests,
// the script host and the HTTP page host.
//  - HostApplication: an Application whose lock is owned by a holder (a
//    page), so the page host can release what a page still holds; the
//    in-memory one below and the Redis host's (host/redis_state.h). A page
//    takes the lock naming its session too: a host whose sessions are read
//    ahead (Redis) brings the session up to date in the same step, so what
//    a page reads of its session under the lock is what the last holder
//    left there.
//  - InMemoryApplication: values by name (without regard to case) shared by
//    all sessions, and Lock/UnLock as a real mutual exclusion across threads,
//    first come first served: a release hands the lock to the oldest waiter
//    and wakes that one alone (waking every waiter to race for it would let
//    late comers overtake and cost a wake-up per waiter per release).
//    Thread-safe.
//  - InMemorySession: one visitor's values by name (without regard to case).
//    Thread-safe (a visitor may have two requests in flight).
//  - InMemoryRequest: the server variables of one request ("url", ...).
//  - Page: one page request. It makes the scripting context and gives the
//    page its own view of the Application, which remembers whether this page
//    holds the lock; when the Page ends (End() or destruction) a lock the page
//    still holds is released, so a failed call never leaves it held.
//    One thread.
#ifndef KORIMBA_HOST_PAGE_HOST_H_
#define KORIMBA_HOST_PAGE_HOST_H_

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "frame/page_context.h"

namespace korimba {

// Case-insensitive name -> Variant map guarded by a mutex.
class NamedValues {
 public:
  Variant Get(std::string_view name) const;
  void Set(std::string_view name, Variant value);
  // Every value, by folded name.
  std::map<std::string, Variant> All() const;

 private:
  mutable std::mutex mu_;
  std::map<std::string, Variant> values_;  // keys folded to lower case
};

class InMemorySession final : public SessionObject {
 public:
  Variant Value(std::string_view name) const override { return values_.Get(name); }
  void SetValue(std::string_view name, Variant value) override {
    values_.Set(name, std::move(value));
  }
  // Every value, by folded name (a kept draft hands them on).
  std::map<std::string, Variant> All() const { return values_.All(); }

 private:
  NamedValues values_;
};

class HostApplication : public ApplicationObject {
 public:
  // Lock by an anonymous holder (tests); pages lock through their own view.
  void Lock() override { Acquire(this, nullptr); }
  void UnLock() override { Release(this); }

  // Lock ownership by holder: waits while another holder has the lock; the
  // same holder may lock again (counted). Release by a holder that does not
  // hold it fails. `session` (may be null) is the holder's session.
  virtual void Acquire(const void* holder, SessionObject* session) = 0;
  virtual void Release(const void* holder) = 0;
  virtual bool IsHeldBy(const void* holder) const = 0;
  // Releases the holder's lock whatever its count (page end); never fails.
  virtual void ReleaseAll(const void* holder) = 0;
};

class InMemoryApplication final : public HostApplication {
 public:
  Variant Value(std::string_view name) const override { return values_.Get(name); }
  void SetValue(std::string_view name, Variant value) override {
    values_.Set(name, std::move(value));
  }

  void Acquire(const void* holder, SessionObject* session) override;
  void Release(const void* holder) override;
  bool IsHeldBy(const void* holder) const override;
  void ReleaseAll(const void* holder) override;

  // How many holders wait for the lock now.
  size_t waiting() const;

 private:
  struct Waiter {
    explicit Waiter(const void* waiting) : holder(waiting) {}
    const void* holder;
    std::condition_variable cv;
    bool granted = false;
  };
  // Nobody holds the lock any more: the oldest waiter gets it (mu_ held).
  void PassOn();

  NamedValues values_;
  mutable std::mutex mu_;
  const void* holder_ = nullptr;
  int depth_ = 0;
  std::deque<Waiter*> waiting_;  // oldest first
};

class InMemoryRequest final : public RequestObject {
 public:
  explicit InMemoryRequest(std::map<std::string, std::string> server_variables);
  Variant ServerVariable(std::string_view name) const override;

 private:
  std::map<std::string, std::string> server_variables_;  // keys folded to lower case
};

class Page {
 public:
  Page(std::shared_ptr<HostApplication> application, std::shared_ptr<SessionObject> session,
       std::map<std::string, std::string> server_variables);
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;
  ~Page();

  // The scripting context to hand to OnStartPage (as a Variant object).
  std::shared_ptr<ScriptingContextObject> context() const { return context_; }
  // Ends the page: releases the Application lock if this page holds it.
  void End();

 private:
  class ApplicationView;
  class Context;

  std::shared_ptr<ApplicationView> application_view_;
  std::shared_ptr<ScriptingContextObject> context_;
  bool ended_ = false;
};

}  // namespace korimba

#endif  // KORIMBA_HOST_PAGE_HOST_H_

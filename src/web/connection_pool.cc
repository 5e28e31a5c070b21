#include "web/connection_pool.h"

#include <optional>

#include "frame/error.h"

namespace korimba::web {

// Forwards every statement to the pooled connection and remembers whether one
// failed with a database error, so that the pool probes the connection before
// lending it again (the failure may have been a lost connection).
class ConnectionPool::Watched final : public Connection {
 public:
  explicit Watched(std::shared_ptr<Connection> inner) : inner_(std::move(inner)) {}

  ResultTable Execute(std::string_view statement) override {
    return Watch([&] { return inner_->Execute(statement); });
  }
  ResultTable Query(std::string_view statement) override {
    return Watch([&] { return inner_->Query(statement); });
  }
  std::unique_ptr<PagedResult> QueryPaged(std::string_view statement) override {
    return Watch([&] { return inner_->QueryPaged(statement); });
  }

  Connection& inner() { return *inner_; }
  bool failed() const { return failed_; }
  void clear_failed() { failed_ = false; }

 private:
  template <typename Call>
  auto Watch(Call call) -> decltype(call()) {
    try {
      return call();
    } catch (const AutomationError&) {
      failed_ = true;
      throw;
    }
  }

  std::shared_ptr<Connection> inner_;
  bool failed_ = false;  // touched only by the thread that holds the lease
};

ConnectionPool::ConnectionPool(std::vector<std::shared_ptr<Connection>> connections,
                               std::chrono::milliseconds wait, Upkeep upkeep)
    : wait_(wait), upkeep_(std::move(upkeep)) {
  const auto now = std::chrono::steady_clock::now();
  for (auto& conn : connections) {
    free_.push_back({conn ? std::make_shared<Watched>(std::move(conn)) : nullptr, now});
  }
}

ConnectionPool::Lease::Lease(ConnectionPool* pool, Slot slot)
    : pool_(pool), slot_(std::move(slot)), conn_(slot_.conn) {}

ConnectionPool::Lease::~Lease() {
  conn_.reset();
  pool_->Return(std::move(slot_));
}

// A request waiting for a connection; Return hands it one in place.
struct ConnectionPool::Waiter {
  std::condition_variable cv;
  std::optional<Slot> slot;
};

std::unique_ptr<ConnectionPool::Lease> ConnectionPool::Acquire() {
  Slot slot;
  {
    std::unique_lock lock(mu_);
    // A free connection while others wait cannot happen: Return hands it to
    // the first of them.
    if (!free_.empty()) {
      slot = std::move(free_.back());
      free_.pop_back();
    } else {
      Waiter me;
      waiting_.push_back(&me);
      const auto deadline = std::chrono::steady_clock::now() + wait_;
      if (!me.cv.wait_until(lock, deadline, [&] { return me.slot.has_value(); })) {
        std::erase(waiting_, &me);
        throw PoolBusy();
      }
      slot = std::move(*me.slot);
    }
  }
  if (upkeep_.open) LookAfter(slot);
  return std::make_unique<Lease>(this, std::move(slot));
}

size_t ConnectionPool::waiting() const {
  std::lock_guard lock(mu_);
  return waiting_.size();
}

void ConnectionPool::LookAfter(Slot& slot) {
  const bool due = slot.conn == nullptr || slot.conn->failed() ||
                   std::chrono::steady_clock::now() - slot.returned >= upkeep_.idle_check;
  if (!due) return;
  if (slot.conn != nullptr) {
    try {
      upkeep_.probe(slot.conn->inner());
      slot.conn->clear_failed();
      return;
    } catch (const std::exception&) {
      slot.conn.reset();  // lost: a new one below
    }
  }
  try {
    slot.conn = std::make_shared<Watched>(upkeep_.open());
  } catch (...) {
    Return(std::move(slot));
    throw;
  }
}

void ConnectionPool::Return(Slot slot) {
  slot.returned = std::chrono::steady_clock::now();
  std::lock_guard lock(mu_);
  if (waiting_.empty()) {
    free_.push_back(std::move(slot));
    return;
  }
  Waiter* first = waiting_.front();
  waiting_.pop_front();
  first->slot = std::move(slot);
  // Notified under the lock: the waiter's condition variable lives on its
  // stack and is gone once it sees its slot.
  first->cv.notify_one();
}

Connection& LeaseOnUse::Leased() {
  if (lease_ == nullptr) {
    if (ended_) {
      throw AutomationError(kErrDatabase,
                            "The page has ended: its database connection was given back");
    }
    try {
      lease_ = pool_.Acquire();
    } catch (const PoolBusy&) {
      found_busy_ = true;
      throw;
    }
  }
  return *lease_->connection();
}

ResultTable LeaseOnUse::Execute(std::string_view statement) { return Leased().Execute(statement); }

ResultTable LeaseOnUse::Query(std::string_view statement) { return Leased().Query(statement); }

std::unique_ptr<PagedResult> LeaseOnUse::QueryPaged(std::string_view statement) {
  return Leased().QueryPaged(statement);
}

void LeaseOnUse::End() {
  ended_ = true;
  lease_.reset();
}

}  // namespace korimba::web

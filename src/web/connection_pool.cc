#include "web/connection_pool.h"

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

std::unique_ptr<ConnectionPool::Lease> ConnectionPool::Acquire() {
  Slot slot;
  {
    std::unique_lock lock(mu_);
    if (!cv_.wait_for(lock, wait_, [this] { return !free_.empty(); })) throw PoolBusy();
    slot = std::move(free_.back());
    free_.pop_back();
  }
  if (upkeep_.open) LookAfter(slot);
  return std::make_unique<Lease>(this, std::move(slot));
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
  {
    std::lock_guard lock(mu_);
    free_.push_back(std::move(slot));
  }
  cv_.notify_one();
}

}  // namespace korimba::web

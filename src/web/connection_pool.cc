#include "web/connection_pool.h"

namespace korimba::web {

ConnectionPool::ConnectionPool(std::vector<std::shared_ptr<Connection>> connections,
                               std::chrono::milliseconds wait)
    : wait_(wait), free_(std::move(connections)) {}

ConnectionPool::Lease::~Lease() { pool_->Return(std::move(conn_)); }

std::unique_ptr<ConnectionPool::Lease> ConnectionPool::Acquire() {
  std::unique_lock lock(mu_);
  if (!cv_.wait_for(lock, wait_, [this] { return !free_.empty(); })) throw PoolBusy();
  auto conn = std::move(free_.back());
  free_.pop_back();
  return std::make_unique<Lease>(this, std::move(conn));
}

void ConnectionPool::Return(std::shared_ptr<Connection> conn) {
  {
    std::lock_guard lock(mu_);
    free_.push_back(std::move(conn));
  }
  cv_.notify_one();
}

}  // namespace korimba::web

// ConnectionPool lends the server's database connections to page requests.
// A connection is used by one thread at a time, so a request takes one for its
// whole life (its objects hold the connection between SetConn and their end)
// and gives it back when the lease is destroyed; a request waits while every
// connection is lent, but only so long: then it fails with PoolBusy, so that
// slow pages holding every connection make the others answer "busy" rather
// than hang. Thread-safe; the pool must outlive its leases.
#ifndef KORIMBA_WEB_CONNECTION_POOL_H_
#define KORIMBA_WEB_CONNECTION_POOL_H_

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "frame/connection.h"

namespace korimba::web {

// No connection came free within the pool's wait.
class PoolBusy : public std::runtime_error {
 public:
  PoolBusy() : std::runtime_error("every database connection stayed busy") {}
};

class ConnectionPool {
 public:
  explicit ConnectionPool(std::vector<std::shared_ptr<Connection>> connections,
                          std::chrono::milliseconds wait = std::chrono::minutes(1));
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  class Lease {
   public:
    Lease(ConnectionPool* pool, std::shared_ptr<Connection> conn)
        : pool_(pool), conn_(std::move(conn)) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease();
    const std::shared_ptr<Connection>& connection() const { return conn_; }

   private:
    ConnectionPool* pool_;
    std::shared_ptr<Connection> conn_;
  };

  // Waits until a connection is free, at most the pool's wait; then throws
  // PoolBusy.
  std::unique_ptr<Lease> Acquire();

 private:
  void Return(std::shared_ptr<Connection> conn);

  const std::chrono::milliseconds wait_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::shared_ptr<Connection>> free_;
};

}  // namespace korimba::web

#endif  // KORIMBA_WEB_CONNECTION_POOL_H_

// ConnectionPool lends the server's database connections to page requests.
// A connection is used by one thread at a time, so a request takes one for its
// whole life (its objects hold the connection between SetConn and their end)
// and gives it back when the lease is destroyed; a request waits while every
// connection is lent. Thread-safe; the pool must outlive its leases.
#ifndef KORIMBA_WEB_CONNECTION_POOL_H_
#define KORIMBA_WEB_CONNECTION_POOL_H_

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "frame/connection.h"

namespace korimba::web {

class ConnectionPool {
 public:
  explicit ConnectionPool(std::vector<std::shared_ptr<Connection>> connections);
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

  // Blocks until a connection is free.
  std::unique_ptr<Lease> Acquire();

 private:
  void Return(std::shared_ptr<Connection> conn);

  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::shared_ptr<Connection>> free_;
};

}  // namespace korimba::web

#endif  // KORIMBA_WEB_CONNECTION_POOL_H_

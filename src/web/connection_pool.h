// ConnectionPool lends the server's database connections to page requests.
// A connection is used by one thread at a time, so a request takes one for its
// whole life (its objects hold the connection between SetConn and their end)
// and gives it back when the lease is destroyed; a request waits while every
// connection is lent, but only so long: then it fails with PoolBusy, so that
// slow pages holding every connection make the others answer "busy" rather
// than hang.
//
// Given a way to open connections (Upkeep), the pool also looks after them:
// before lending a connection that sat idle for a while, or whose last
// borrower saw a statement fail, it runs a cheap probe on it, and replaces a
// connection that fails the probe (or that could not be opened last time) by
// a new one, so a restarted database server or a database file put back in
// place does not leave pages failing. A failed reopening fails that request
// with the database's error; the next request tries again. Without an Upkeep
// the connections are lent as they are (an in-memory database, whose data
// would not survive a reopening). Thread-safe; the pool must outlive its
// leases; probing and opening run outside the pool's lock.
//
// Waiting requests are served first come first served: a connection given
// back goes straight to the oldest waiter, so under load a request is never
// overtaken by ones that came after it (which would make a few requests wait
// many turns while the average stays low).
//
// LeaseOnUse is a connection to hand to a page's objects: it takes a lease
// only when the first statement runs and keeps it until End, so a page that
// runs no statement never waits for a connection. One thread (the page's).
#ifndef KORIMBA_WEB_CONNECTION_POOL_H_
#define KORIMBA_WEB_CONNECTION_POOL_H_

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
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

// How a pool keeps its connections usable (see above).
struct PoolUpkeep {
  // Opens a new connection; fails with the database's error.
  std::function<std::shared_ptr<Connection>()> open;
  // Throws when the connection can no longer be used.
  std::function<void(Connection&)> probe = [](Connection& conn) { conn.Query("select 1"); };
  // A connection idle at least this long is probed before it is lent.
  std::chrono::milliseconds idle_check = std::chrono::seconds(5);
};

class ConnectionPool {
 public:
  using Upkeep = PoolUpkeep;

  explicit ConnectionPool(std::vector<std::shared_ptr<Connection>> connections,
                          std::chrono::milliseconds wait = std::chrono::minutes(1),
                          Upkeep upkeep = {});
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  class Watched;  // a lent connection that notes its failed statements
  struct Slot {
    std::shared_ptr<Watched> conn;  // null: to be opened when next lent
    std::chrono::steady_clock::time_point returned;
  };

  class Lease {
   public:
    Lease(ConnectionPool* pool, Slot slot);
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease();
    const std::shared_ptr<Connection>& connection() const { return conn_; }

   private:
    ConnectionPool* pool_;
    Slot slot_;
    std::shared_ptr<Connection> conn_;
  };

  // Waits until a connection is free, at most the pool's wait; then throws
  // PoolBusy. Throws the database's AutomationError when a lost connection
  // cannot be opened again.
  std::unique_ptr<Lease> Acquire();
  // How many requests wait for a connection now.
  size_t waiting() const;

 private:
  struct Waiter;
  void Return(Slot slot);
  // Probes the slot's connection when it is due and replaces it when it is
  // lost; the slot goes back to the pool when opening fails.
  void LookAfter(Slot& slot);

  const std::chrono::milliseconds wait_;
  const Upkeep upkeep_;
  mutable std::mutex mu_;
  std::vector<Slot> free_;
  std::deque<Waiter*> waiting_;  // oldest first
};

class LeaseOnUse final : public Connection {
 public:
  explicit LeaseOnUse(ConnectionPool& pool) : pool_(pool) {}

  ResultTable Execute(std::string_view statement) override;
  ResultTable Query(std::string_view statement) override;
  std::unique_ptr<PagedResult> QueryPaged(std::string_view statement) override;

  // Gives the lease back (if one was taken); statements after that fail.
  void End();
  // Whether a statement found every connection busy (PoolBusy): the page
  // then answers busy, whatever the object that ran it made of the failure.
  bool found_busy() const { return found_busy_; }

 private:
  Connection& Leased();

  ConnectionPool& pool_;
  std::unique_ptr<ConnectionPool::Lease> lease_;
  bool ended_ = false;
  bool found_busy_ = false;
};

}  // namespace korimba::web

#endif  // KORIMBA_WEB_CONNECTION_POOL_H_

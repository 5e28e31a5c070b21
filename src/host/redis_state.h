// The page host's shared state in Redis, so that several nodes serve any
// visitor alike:
//  - RedisApplication: the Application's values in one hash (korimba:app),
//    each read (HGET) and write (HSET) one round trip, and Lock/UnLock
//    across every node: a key (korimba:lock) set to this holder's own token
//    only while it is free, deleted by a script only while it still holds
//    that token, so a late release never frees somebody else's lock. The key
//    expires by itself, so a node that dies holding it stops nobody for
//    longer than the expiry; waiting for it is bounded.
//    Holders of one node queue in the process first, so only one of them at
//    a time asks Redis. Nodes queue in Redis (korimba:lock:queue, first come
//    first served): a node that finds the lock taken joins the queue and
//    blocks on its own wake-up list until a release pushes there (or a
//    short while passes: the safety net for a releaser that died). Taking
//    the lock is one round trip that also brings along the holder's session
//    and the value the previous holder read first (under the lock that is
//    "OnlineList"), so that read costs nothing more.
//  - RedisSession: one visitor's values as read at lookup (one round trip
//    with the token and the renewal), brought up to date again whenever the
//    page takes the Application lock; a write goes to Redis at once (and
//    renews the session's expiry). So a session handle sees the values as
//    of its lookup or its last lock, plus its own writes, and under the lock
//    what the previous holder left: two requests of one visitor never both
//    enter the on-line list.
//  - RedisSessionKeeper: sessions as hashes korimba:session:<id> holding the
//    form token and the values (fields "v:<folded name>"), with the idle
//    timeout as the key's expiry, renewed on every lookup.
// Values are stored in the form of host/value_codec.h. Every class is
// thread-safe; they share one RedisClient.
#ifndef KORIMBA_HOST_REDIS_STATE_H_
#define KORIMBA_HOST_REDIS_STATE_H_

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "host/page_host.h"
#include "host/redis_client.h"
#include "host/session_keeper.h"

namespace korimba {

struct RedisLockTimes {
  // How long the lock lives unless released (a node that died holding it).
  double expiry_seconds = 10;
  // How long Lock waits before it fails: beyond the expiry, so a dead
  // holder's lock is always outlived.
  double wait_seconds = 15;
};

class RedisApplication final : public HostApplication {
 public:
  explicit RedisApplication(std::shared_ptr<RedisClient> client, RedisLockTimes times = {});

  Variant Value(std::string_view name) const override;
  void SetValue(std::string_view name, Variant value) override;

  void Acquire(const void* holder, SessionObject* session) override;
  void Release(const void* holder) override;
  bool IsHeldBy(const void* holder) const override;
  void ReleaseAll(const void* holder) override;

 private:
  // Tries for the lock until it is this node's or the wait is over (nil);
  // on success the take script's answer: the value of `field` and the
  // fields of the session `session_key` (each may be "": none).
  RedisReply TakeLock(const std::string& session_key, const std::string& field,
                      std::chrono::steady_clock::time_point deadline);
  // Deletes the lock key if it still holds this holder's token and wakes
  // the next node in the queue, then lets the process's next holder in.
  void Unlock();

  std::shared_ptr<RedisClient> client_;
  RedisLockTimes times_;
  // This node's name in the queue of nodes waiting for the lock.
  const std::string node_;
  mutable std::mutex mu_;
  std::condition_variable cv_;
  // The holder of this process that has the lock or is taking it.
  const void* holder_ = nullptr;
  bool taken_ = false;  // the lock key is ours
  int depth_ = 0;
  std::string token_;
  // The field read first under the last lock, brought along by the next.
  mutable std::string first_read_;
  mutable bool learning_ = false;  // the first read under this lock is still to come
  // The value brought along with this lock, until it is read or written.
  mutable std::optional<std::pair<std::string, RedisReply>> brought_;
};

class RedisSession final : public SessionObject {
 public:
  // `fields`: the values as Redis holds them, by folded name, in stored form.
  RedisSession(std::shared_ptr<RedisClient> client, std::string key, long long idle_ms,
               std::map<std::string, std::string, std::less<>> fields);

  Variant Value(std::string_view name) const override;
  void SetValue(std::string_view name, Variant value) override;

  const std::string& key() const { return key_; }
  // Takes the values from a fresh HGETALL answer of the session's hash.
  void Refresh(const RedisReply& all);

 private:
  std::shared_ptr<RedisClient> client_;
  std::string key_;
  long long idle_ms_;
  mutable std::mutex mu_;
  std::map<std::string, std::string, std::less<>> fields_;
};

class RedisSessionKeeper final : public SessionKeeper {
 public:
  explicit RedisSessionKeeper(std::shared_ptr<RedisClient> client,
                              double idle_seconds = kDefaultIdleSeconds);

  std::shared_ptr<const KeptSession> Keep(std::shared_ptr<const KeptSession> session) override;
  std::shared_ptr<const KeptSession> Find(std::string_view id) override;
  void Remove(std::string_view id) override;

 private:
  std::string KeyOf(std::string_view id) const;
  std::shared_ptr<const KeptSession> Handle(
      std::string id, std::string token,
      std::map<std::string, std::string, std::less<>> fields) const;

  std::shared_ptr<RedisClient> client_;
  long long idle_ms_;
};

}  // namespace korimba

#endif  // KORIMBA_HOST_REDIS_STATE_H_

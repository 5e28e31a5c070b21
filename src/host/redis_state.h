// The page host's shared state in Redis, so that several nodes serve any
// visitor alike:
//  - RedisApplication: the Application's values in one hash (korimba:app),
//    each read (HGET) and write (HSET) one round trip, and Lock/UnLock
//    across every node: a key (korimba:lock) set with SET NX PX to this
//    holder's own token, deleted by a script only while it still holds that
//    token, so a late release never frees somebody else's lock. The key
//    expires by itself, so a node that dies holding it stops nobody for
//    longer than the expiry; waiting for it is bounded. Holders of one node
//    queue in the process first, so only one of them at a time polls Redis.
//  - RedisSession: one visitor's values in the session's hash, fields
//    "v:<folded name>"; writing one also renews the session's expiry.
//  - RedisSessionKeeper: sessions as hashes korimba:session:<id> holding the
//    form token and the values, with the idle timeout as the key's expiry,
//    renewed on every lookup (the expiry and its renewal are one round trip
//    with the token's read).
// Values are stored in the form of host/value_codec.h. Every class is
// thread-safe; they share one RedisClient.
#ifndef KORIMBA_HOST_REDIS_STATE_H_
#define KORIMBA_HOST_REDIS_STATE_H_

#include <condition_variable>
#include <memory>
#include <mutex>
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

  void Acquire(const void* holder) override;
  void Release(const void* holder) override;
  bool IsHeldBy(const void* holder) const override;
  void ReleaseAll(const void* holder) override;

 private:
  // Deletes the lock key if it still holds this holder's token, then lets
  // the process's next holder in.
  void Unlock();

  std::shared_ptr<RedisClient> client_;
  RedisLockTimes times_;
  mutable std::mutex mu_;
  std::condition_variable cv_;
  // The holder of this process that has the lock or is taking it.
  const void* holder_ = nullptr;
  bool taken_ = false;  // the lock key is ours
  int depth_ = 0;
  std::string token_;
};

class RedisSession final : public SessionObject {
 public:
  RedisSession(std::shared_ptr<RedisClient> client, std::string key, long long idle_ms);

  Variant Value(std::string_view name) const override;
  void SetValue(std::string_view name, Variant value) override;

 private:
  std::shared_ptr<RedisClient> client_;
  std::string key_;
  long long idle_ms_;
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
  std::shared_ptr<const KeptSession> Handle(std::string id, std::string token) const;

  std::shared_ptr<RedisClient> client_;
  long long idle_ms_;
};

}  // namespace korimba

#endif  // KORIMBA_HOST_REDIS_STATE_H_

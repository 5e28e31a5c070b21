// The page host's shared state in Redis, so that several nodes serve any
// visitor alike:
//  - RedisApplication: the Application's values in one hash (korimba:app),
//    each read (HGET) and write (HSET) one round trip, and Lock/UnLock
//    across every node: a key (korimba:lock) holding its holder's token,
//    taken only while it is free, released or handed on only while it still
//    holds that token, so a late release never frees somebody else's lock.
//    The key expires by itself, so a node that dies holding it stops nobody
//    for longer than the expiry; waiting for it is bounded.
//    Holders of one node queue in the process, first come first served, and
//    only the first of them asks Redis. Nodes queue in Redis
//    (korimba:lock:queue, first come first served): a node that finds the
//    lock taken joins the queue and blocks on its own wake-up list. A
//    release hands the lock straight to the first waiting node, pushing it
//    what it would read first (the value the last holder read first, under
//    the lock "OnlineList", and its session), so the waiting node holds the
//    lock when it wakes; with no other node waiting, a release keeps the
//    lock for the process's next holder and brings that holder the same.
//    The holder's own writes under the lock are stored by its release, in
//    the same round trip, and only while the lock is still its own; its
//    reads see them at once. Taking, handing over and releasing are
//    host/redis_lock_scripts.h.
//    Within the process the lock also passes from page to page without
//    asking Redis: a page that unlocks while another page of the process
//    waits hands it the lock key as it is, with the writes still to be
//    stored and the values read under the lock, so the next page reads them
//    without a round trip; the next release that asks Redis stores them all
//    (or, should the key have expired meanwhile, stores none and says so).
//    This goes on for at most RedisLockTimes::local_hand_offs pages and
//    local_hold_seconds since Redis last confirmed the key (far inside the
//    key's expiry); then the lock goes through Redis again, which hands it
//    to another node waiting, so other nodes wait at most that long behind
//    this one. A page handed the lock that way gets its session brought up
//    to date by one HGETALL (one pipeline for the pages waiting behind it
//    too) unless the session was read after the lock became this process's
//    and after any page of the same session held it since.
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
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "host/page_host.h"
#include "host/redis_client.h"
#include "host/redis_lock_scripts.h"
#include "host/session_keeper.h"

namespace korimba {

struct RedisLockTimes {
  // How long the lock lives unless released (a node that died holding it).
  double expiry_seconds = 10;
  // How long Lock waits before it fails: beyond the expiry, so a dead
  // holder's lock is always outlived.
  double wait_seconds = 15;
  // How long, and for how many pages at most, the lock passes from page to
  // page of one process without asking Redis (see above); at most a tenth of
  // the expiry is used.
  double local_hold_seconds = 0.004;
  int local_hand_offs = 16;
};

class RedisSession;

class RedisApplication final : public HostApplication {
 public:
  explicit RedisApplication(std::shared_ptr<RedisClient> client, RedisLockTimes times = {});

  Variant Value(std::string_view name) const override;
  void SetValue(std::string_view name, Variant value) override;

  void Acquire(const void* holder, SessionObject* session) override;
  void Release(const void* holder) override;
  bool IsHeldBy(const void* holder) const override;
  void ReleaseAll(const void* holder) override;

  // How many pages of this process wait for the lock now.
  size_t waiting() const;

 private:
  struct Waiter;
  // Tries for the lock until it is this node's or the wait is over (nullopt).
  // `*asked_at` is when it first asked (what the lock brings was read
  // after that).
  std::optional<LockBrought> TakeLock(const std::string& session_key, const std::string& field,
                                      std::chrono::steady_clock::time_point deadline,
                                      std::chrono::steady_clock::time_point* asked_at);
  // The lock is `holder`'s now, just confirmed by Redis, with what it
  // brings (mu_ held).
  void BeginHold(const void* holder, RedisSession* session, const std::string& field,
                 LockBrought brought);
  // Hands the lock to the first page of the process waiting, without asking
  // Redis, when the limits above allow; false when the release must go
  // through Redis (mu_ held by `lock`; released while sessions are read).
  bool HandOverInProcess(std::unique_lock<std::mutex>& lock);
  // Whether what `session` holds is as the last holder of the lock left it
  // (mu_ held).
  bool SessionCurrent(const RedisSession& session) const;
  // Nobody of this process holds the lock: the first waiter asks Redis next
  // (mu_ held).
  void PassOn();
  // Stores the holder's writes and hands the lock on or frees it.
  void Unlock();
  // Whether the calling thread is the holder's (mu_ held).
  bool OnHoldersThread() const;

  std::shared_ptr<RedisClient> client_;
  RedisLockTimes times_;
  // This node's name in the queue of nodes waiting for the lock.
  const std::string node_;
  mutable std::mutex mu_;
  // The holder of this process that has the lock or is asking Redis for it,
  // and the pages waiting behind it, first come first served.
  const void* holder_ = nullptr;
  std::deque<Waiter*> waiting_;
  std::thread::id holder_thread_;
  bool taken_ = false;  // the lock key is ours
  int depth_ = 0;
  std::string token_;
  unsigned long long taken_count_ = 0;  // makes each token unique
  // The field read first under the last lock, brought along by the next.
  mutable std::string first_read_;
  mutable bool learning_ = false;  // the first read under this lock is still to come
  // Values read (or brought along) under the lock since Redis last gave or
  // confirmed it (field -> stored form, nullopt: none), valid while the key
  // stays this process's.
  mutable std::map<std::string, std::optional<std::string>, std::less<>> known_;
  // The holders' writes (field -> stored form), stored by the next release
  // that goes through Redis.
  std::map<std::string, std::string, std::less<>> pending_;
  // Since when Redis last gave or confirmed the lock, and how many pages
  // got it in the process since then.
  std::chrono::steady_clock::time_point confirmed_;
  int handed_in_process_ = 0;
  // The holder's session key, and when each session key's last holder
  // since `confirmed_` let the lock go (its writes were done by then).
  std::string holder_session_;
  std::map<std::string, std::chrono::steady_clock::time_point, std::less<>> held_by_session_;
};

class RedisSession final : public SessionObject {
 public:
  // `fields`: the values as Redis holds them, by folded name, in stored form.
  // `read_at`: a moment before Redis read them.
  RedisSession(std::shared_ptr<RedisClient> client, std::string key, long long idle_ms,
               std::map<std::string, std::string, std::less<>> fields,
               std::chrono::steady_clock::time_point read_at);

  Variant Value(std::string_view name) const override;
  void SetValue(std::string_view name, Variant value) override;

  const std::string& key() const { return key_; }
  // Takes the values from a fresh HGETALL answer of the session's hash,
  // asked for at `read_at`.
  void Refresh(const RedisReply& all, std::chrono::steady_clock::time_point read_at);
  // A moment before Redis read the values this handle holds (its own writes
  // aside).
  std::chrono::steady_clock::time_point read_at() const;

 private:
  std::shared_ptr<RedisClient> client_;
  std::string key_;
  long long idle_ms_;
  mutable std::mutex mu_;
  std::map<std::string, std::string, std::less<>> fields_;
  std::chrono::steady_clock::time_point read_at_;
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
  std::shared_ptr<const KeptSession> Handle(std::string id, std::string token,
                                            std::map<std::string, std::string, std::less<>> fields,
                                            std::chrono::steady_clock::time_point read_at) const;

  std::shared_ptr<RedisClient> client_;
  long long idle_ms_;
};

}  // namespace korimba

#endif  // KORIMBA_HOST_REDIS_STATE_H_

#include "host/redis_state.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "frame/names.h"
#include "host/value_codec.h"

namespace korimba {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::string_view kApplicationKey = "korimba:app";
constexpr std::string_view kLockKey = "korimba:lock";
constexpr std::string_view kQueueKey = "korimba:lock:queue";
// Per node: "waiting:<node>" lives while the node is still after the lock
// (renewed on every try); "wake:<node>" is the list it blocks on.
constexpr std::string_view kWaitingPrefix = "korimba:lock:waiting:";
constexpr std::string_view kWakePrefix = "korimba:lock:wake:";
constexpr std::string_view kSessionPrefix = "korimba:session:";
constexpr std::string_view kTokenField = "token";
constexpr std::string_view kValuePrefix = "v:";

// How long a waiting node blocks before it tries again without a wake-up,
// and how long its place in the queue outlives its last try.
constexpr double kBlockSeconds = 0.1;
constexpr long long kWaitingMs = 500;

// The scripts' arguments start alike: ARGV[1] the waiting prefix, ARGV[2]
// the wake prefix, ARGV[3] this node (take) or '' (release). The
// opening drops the nodes at the head of the queue that stopped waiting
// (died or gave up), so `head` is the first live one, or false.
constexpr std::string_view kLiveHead =
    "local me = ARGV[3] "
    "local head = redis.call('lindex', KEYS[2], 0) "
    "while head and head ~= me and redis.call('exists', ARGV[1] .. head) == 0 do "
    "redis.call('lpop', KEYS[2]) head = redis.call('lindex', KEYS[2], 0) end ";

// KEYS: lock, queue, Application, the holder's session (optional).
// ARGV[4] token, ARGV[5] expiry ms, ARGV[6] waiting ms, ARGV[7] a field.
// Takes the lock for the token when it is free and no other node is ahead
// in the queue, and answers {the Application's field, the session's
// fields}. Otherwise puts this node in the queue (once), marks it waiting
// and answers nil.
constexpr std::string_view kTakeRest =
    "if (head and head ~= me) or "
    "not redis.call('set', KEYS[1], ARGV[4], 'NX', 'PX', ARGV[5]) then "
    "redis.call('set', ARGV[1] .. me, '1', 'PX', ARGV[6]) "
    "if not redis.call('lpos', KEYS[2], me) then redis.call('rpush', KEYS[2], me) end "
    "return false end "
    "if head == me then redis.call('lpop', KEYS[2]) end "
    "redis.call('del', ARGV[1] .. me, ARGV[2] .. me) "
    "local value = false "
    "if ARGV[7] ~= '' then value = redis.call('hget', KEYS[3], ARGV[7]) end "
    "local session = {} "
    "if KEYS[4] then session = redis.call('hgetall', KEYS[4]) end "
    "return {value, session}";

// KEYS: lock, queue. ARGV[4] the token. Deletes the lock only while it
// holds the token (a holder whose lock expired and was taken by another
// never frees the other's), then wakes the first node still waiting.
constexpr std::string_view kReleaseRest =
    "local released = 0 "
    "if redis.call('get', KEYS[1]) == ARGV[4] then released = redis.call('del', KEYS[1]) end "
    "if head then redis.call('rpush', ARGV[2] .. head, '1') "
    "redis.call('pexpire', ARGV[2] .. head, 1000) end "
    "return released";

const std::string& TakeScript() {
  static const std::string script = std::string(kLiveHead) + std::string(kTakeRest);
  return script;
}

const std::string& ReleaseScript() {
  static const std::string script = std::string(kLiveHead) + std::string(kReleaseRest);
  return script;
}

Variant Decoded(const RedisReply& reply) {
  return reply.is_nil() ? Variant() : DecodeValue(reply.text);
}

long long Milliseconds(double seconds) {
  return std::max<long long>(1, std::llround(seconds * 1000));
}

// The values (by folded name, stored form) and the token of an HGETALL
// answer of a session's hash.
std::map<std::string, std::string, std::less<>> SessionFields(const RedisReply& all,
                                                              std::string* token) {
  std::map<std::string, std::string, std::less<>> fields;
  for (size_t i = 0; i + 1 < all.elements.size(); i += 2) {
    const std::string& name = all.elements[i].text;
    if (name.starts_with(kValuePrefix)) {
      fields[name.substr(kValuePrefix.size())] = all.elements[i + 1].text;
    } else if (name == kTokenField && token != nullptr) {
      *token = all.elements[i + 1].text;
    }
  }
  return fields;
}

}  // namespace

RedisApplication::RedisApplication(std::shared_ptr<RedisClient> client, RedisLockTimes times)
    : client_(std::move(client)), times_(times), node_(RandomHexId()) {}

Variant RedisApplication::Value(std::string_view name) const {
  std::string field = FoldName(name);
  {
    std::lock_guard lock(mu_);
    if (learning_) {
      learning_ = false;
      first_read_ = field;
    }
    if (brought_ && brought_->first == field) {
      RedisReply reply = std::move(brought_->second);
      brought_.reset();
      return Decoded(reply);
    }
  }
  return Decoded(client_->Run({"HGET", std::string(kApplicationKey), std::move(field)}));
}

void RedisApplication::SetValue(std::string_view name, Variant value) {
  std::string field = FoldName(name);
  {
    std::lock_guard lock(mu_);
    if (brought_ && brought_->first == field) brought_.reset();
  }
  client_->Run({"HSET", std::string(kApplicationKey), std::move(field), EncodeValue(value)});
}

void RedisApplication::Acquire(const void* holder, SessionObject* session) {
  if (holder == nullptr) ThrowInvalidCall("Application lock holder must not be null");
  const auto deadline =
      SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                               std::chrono::duration<double>(times_.wait_seconds));
  auto timed_out = [&] {
    return AutomationError(kErrPageHost,
                           "Application.Lock: another page kept the Application locked for more "
                           "than " +
                               std::to_string(std::lround(times_.wait_seconds)) + " seconds");
  };
  auto* own_session = dynamic_cast<RedisSession*>(session);
  std::unique_lock lock(mu_);
  if (holder_ == holder && taken_) {
    ++depth_;
    return;
  }
  if (!cv_.wait_until(lock, deadline, [&] { return holder_ == nullptr; })) throw timed_out();
  holder_ = holder;
  token_ = RandomHexId();
  const std::string field = first_read_;
  lock.unlock();
  // This holder alone of the process asks Redis now; the others wait above.
  RedisReply taken;
  try {
    taken = TakeLock(own_session != nullptr ? own_session->key() : "", field, deadline);
  } catch (...) {
    std::lock_guard relock(mu_);
    holder_ = nullptr;
    cv_.notify_all();
    throw;
  }
  if (taken.is_nil()) {
    std::lock_guard relock(mu_);
    holder_ = nullptr;
    cv_.notify_all();
    throw timed_out();
  }
  lock.lock();
  taken_ = true;
  depth_ = 1;
  learning_ = true;
  if (!field.empty()) brought_.emplace(field, std::move(taken.elements[0]));
  lock.unlock();
  if (own_session != nullptr) own_session->Refresh(taken.elements[1]);
}

RedisReply RedisApplication::TakeLock(const std::string& session_key, const std::string& field,
                                      SteadyClock::time_point deadline) {
  RedisCommand take = {"EVAL",
                       TakeScript(),
                       session_key.empty() ? "3" : "4",
                       std::string(kLockKey),
                       std::string(kQueueKey),
                       std::string(kApplicationKey)};
  if (!session_key.empty()) take.push_back(session_key);
  for (std::string arg :
       {std::string(kWaitingPrefix), std::string(kWakePrefix), node_, token_,
        std::to_string(Milliseconds(times_.expiry_seconds)), std::to_string(kWaitingMs), field}) {
    take.push_back(std::move(arg));
  }
  const std::string wake = std::string(kWakePrefix) + node_;
  // Giving up (or failing) leaves the queue, so the nodes behind are not
  // held up until this node's place expires.
  auto leave_queue = [&] {
    try {
      client_->Pipeline({{"LREM", std::string(kQueueKey), "0", node_},
                         {"DEL", std::string(kWaitingPrefix) + node_}});
    } catch (...) {
      // Redis is gone: the place expires by itself.
    }
  };
  try {
    for (;;) {
      RedisReply reply = client_->Run(take);
      if (!reply.is_nil()) return reply;
      const double left = std::chrono::duration<double>(deadline - SteadyClock::now()).count();
      if (left <= 0) break;
      // A release pushes to this list when this node is first in the
      // queue; the timeout catches a lock that expired without one.
      char timeout[32];
      std::snprintf(timeout, sizeof timeout, "%.3f",
                    std::max(0.001, std::min(left, kBlockSeconds)));
      client_->Run({"BLPOP", wake, timeout});
    }
  } catch (...) {
    leave_queue();
    throw;
  }
  leave_queue();
  return RedisReply();
}

void RedisApplication::Release(const void* holder) {
  std::unique_lock lock(mu_);
  if (holder == nullptr || holder_ != holder || !taken_) {
    throw AutomationError(kErrPageHost,
                          "Application.UnLock: the Application is not locked by this page");
  }
  if (--depth_ > 0) return;
  lock.unlock();
  Unlock();
}

void RedisApplication::Unlock() {
  // The process's next holder keeps waiting until the key is freed, so it
  // does not ask Redis for a key about to go.
  struct Hand {
    ~Hand() {
      std::lock_guard relock(app.mu_);
      app.taken_ = false;
      app.holder_ = nullptr;
      app.depth_ = 0;
      app.learning_ = false;
      app.brought_.reset();
      app.cv_.notify_all();
    }
    RedisApplication& app;
  } hand_on{*this};
  client_->Run({"EVAL", ReleaseScript(), "2", std::string(kLockKey), std::string(kQueueKey),
                std::string(kWaitingPrefix), std::string(kWakePrefix), "", token_});
}

bool RedisApplication::IsHeldBy(const void* holder) const {
  std::lock_guard lock(mu_);
  return holder != nullptr && holder_ == holder && taken_;
}

void RedisApplication::ReleaseAll(const void* holder) {
  {
    std::lock_guard lock(mu_);
    if (holder == nullptr || holder_ != holder || !taken_) return;
  }
  try {
    Unlock();
  } catch (...) {
    // Redis is gone: the key expires by itself.
  }
}

RedisSession::RedisSession(std::shared_ptr<RedisClient> client, std::string key, long long idle_ms,
                           std::map<std::string, std::string, std::less<>> fields)
    : client_(std::move(client)),
      key_(std::move(key)),
      idle_ms_(idle_ms),
      fields_(std::move(fields)) {}

Variant RedisSession::Value(std::string_view name) const {
  std::lock_guard lock(mu_);
  auto it = fields_.find(FoldName(name));
  return it == fields_.end() ? Variant() : DecodeValue(it->second);
}

void RedisSession::SetValue(std::string_view name, Variant value) {
  std::string stored = EncodeValue(value);
  const std::string folded = FoldName(name);
  client_->Pipeline({{"HSET", key_, std::string(kValuePrefix) + folded, stored},
                     {"PEXPIRE", key_, std::to_string(idle_ms_)}});
  std::lock_guard lock(mu_);
  fields_[folded] = std::move(stored);
}

void RedisSession::Refresh(const RedisReply& all) {
  auto fields = SessionFields(all, nullptr);
  std::lock_guard lock(mu_);
  fields_ = std::move(fields);
}

RedisSessionKeeper::RedisSessionKeeper(std::shared_ptr<RedisClient> client, double idle_seconds)
    : client_(std::move(client)), idle_ms_(Milliseconds(idle_seconds)) {}

std::string RedisSessionKeeper::KeyOf(std::string_view id) const {
  return std::string(kSessionPrefix) + std::string(id);
}

std::shared_ptr<const KeptSession> RedisSessionKeeper::Handle(
    std::string id, std::string token,
    std::map<std::string, std::string, std::less<>> fields) const {
  auto session = std::make_shared<KeptSession>();
  session->values = std::make_shared<RedisSession>(client_, KeyOf(id), idle_ms_, std::move(fields));
  session->id = std::move(id);
  session->token = std::move(token);
  return session;
}

std::shared_ptr<const KeptSession> RedisSessionKeeper::Keep(
    std::shared_ptr<const KeptSession> session) {
  const std::string key = KeyOf(session->id);
  RedisCommand written = {"HSET", key, std::string(kTokenField), session->token};
  std::map<std::string, std::string, std::less<>> fields;
  // A draft's values (in memory) come along; a session that is already
  // kept here has its values in Redis already.
  if (auto* draft = dynamic_cast<const InMemorySession*>(session->values.get())) {
    for (const auto& [name, value] : draft->All()) {
      std::string stored = EncodeValue(value);
      written.push_back(std::string(kValuePrefix) + name);
      written.push_back(stored);
      fields.emplace(name, std::move(stored));
    }
  } else {
    std::vector<RedisReply> replies =
        client_->Pipeline({written, {"PEXPIRE", key, std::to_string(idle_ms_)}, {"HGETALL", key}});
    return Handle(session->id, session->token, SessionFields(replies[2], nullptr));
  }
  client_->Pipeline({written, {"PEXPIRE", key, std::to_string(idle_ms_)}});
  return Handle(session->id, session->token, std::move(fields));
}

std::shared_ptr<const KeptSession> RedisSessionKeeper::Find(std::string_view id) {
  if (id.empty()) return nullptr;
  const std::string key = KeyOf(id);
  std::vector<RedisReply> replies =
      client_->Pipeline({{"PEXPIRE", key, std::to_string(idle_ms_)}, {"HGETALL", key}});
  // No key (never kept, removed or expired), or a hash left without its
  // token (a value written after the session ended): no session.
  std::string token;
  auto fields = SessionFields(replies[1], &token);
  if (replies[0].integer != 1 || token.empty()) return nullptr;
  return Handle(std::string(id), std::move(token), std::move(fields));
}

void RedisSessionKeeper::Remove(std::string_view id) { client_->Run({"DEL", KeyOf(id)}); }

}  // namespace korimba

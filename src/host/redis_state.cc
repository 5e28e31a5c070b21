#include "host/redis_state.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "frame/names.h"
#include "host/value_codec.h"

namespace korimba {
namespace {

constexpr std::string_view kApplicationKey = "korimba:app";
constexpr std::string_view kLockKey = "korimba:lock";
constexpr std::string_view kSessionPrefix = "korimba:session:";
constexpr std::string_view kTokenField = "token";
constexpr std::string_view kValuePrefix = "v:";

// Deletes KEYS[1] only while it holds ARGV[1]: a holder whose lock expired
// and was taken by another never frees the other's.
constexpr std::string_view kCompareAndDelete =
    "if redis.call('get', KEYS[1]) == ARGV[1] then return redis.call('del', KEYS[1]) "
    "else return 0 end";

std::string ValueField(std::string_view name) { return std::string(kValuePrefix) + FoldName(name); }

Variant Decoded(const RedisReply& reply) {
  return reply.is_nil() ? Variant() : DecodeValue(reply.text);
}

long long Milliseconds(double seconds) {
  return std::max<long long>(1, std::llround(seconds * 1000));
}

}  // namespace

RedisApplication::RedisApplication(std::shared_ptr<RedisClient> client, RedisLockTimes times)
    : client_(std::move(client)), times_(times) {}

Variant RedisApplication::Value(std::string_view name) const {
  return Decoded(client_->Run({"HGET", std::string(kApplicationKey), FoldName(name)}));
}

void RedisApplication::SetValue(std::string_view name, Variant value) {
  client_->Run({"HSET", std::string(kApplicationKey), FoldName(name), EncodeValue(value)});
}

void RedisApplication::Acquire(const void* holder) {
  if (holder == nullptr) ThrowInvalidCall("Application lock holder must not be null");
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(times_.wait_seconds));
  auto timed_out = [&] {
    return AutomationError(kErrPageHost,
                           "Application.Lock: another page kept the Application locked for more "
                           "than " +
                               std::to_string(std::lround(times_.wait_seconds)) + " seconds");
  };
  std::unique_lock lock(mu_);
  if (holder_ == holder && taken_) {
    ++depth_;
    return;
  }
  if (!cv_.wait_until(lock, deadline, [&] { return holder_ == nullptr; })) throw timed_out();
  holder_ = holder;
  token_ = RandomHexId();
  lock.unlock();
  // This holder alone of the process polls Redis now; the others wait above.
  auto give_up = [&] {
    std::lock_guard relock(mu_);
    holder_ = nullptr;
    cv_.notify_all();
  };
  // Holders keep the lock for a few round trips, so the next try comes soon;
  // only one thread per node polls, so short pauses cost Redis little.
  auto pause = std::chrono::microseconds(100);
  for (;;) {
    RedisReply set;
    try {
      set = client_->Run({"SET", std::string(kLockKey), token_, "NX", "PX",
                          std::to_string(Milliseconds(times_.expiry_seconds))});
    } catch (...) {
      give_up();
      throw;
    }
    if (!set.is_nil()) break;
    if (Clock::now() >= deadline) {
      give_up();
      throw timed_out();
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(2000));
  }
  lock.lock();
  taken_ = true;
  depth_ = 1;
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
  // does not poll Redis for a key about to go.
  struct Hand {
    ~Hand() {
      std::lock_guard relock(app.mu_);
      app.taken_ = false;
      app.holder_ = nullptr;
      app.depth_ = 0;
      app.cv_.notify_all();
    }
    RedisApplication& app;
  } hand_on{*this};
  client_->Run({"EVAL", std::string(kCompareAndDelete), "1", std::string(kLockKey), token_});
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

RedisSession::RedisSession(std::shared_ptr<RedisClient> client, std::string key, long long idle_ms)
    : client_(std::move(client)), key_(std::move(key)), idle_ms_(idle_ms) {}

Variant RedisSession::Value(std::string_view name) const {
  return Decoded(client_->Run({"HGET", key_, ValueField(name)}));
}

void RedisSession::SetValue(std::string_view name, Variant value) {
  client_->Pipeline({{"HSET", key_, ValueField(name), EncodeValue(value)},
                     {"PEXPIRE", key_, std::to_string(idle_ms_)}});
}

RedisSessionKeeper::RedisSessionKeeper(std::shared_ptr<RedisClient> client, double idle_seconds)
    : client_(std::move(client)), idle_ms_(Milliseconds(idle_seconds)) {}

std::string RedisSessionKeeper::KeyOf(std::string_view id) const {
  return std::string(kSessionPrefix) + std::string(id);
}

std::shared_ptr<const KeptSession> RedisSessionKeeper::Handle(std::string id,
                                                              std::string token) const {
  auto session = std::make_shared<KeptSession>();
  session->values = std::make_shared<RedisSession>(client_, KeyOf(id), idle_ms_);
  session->id = std::move(id);
  session->token = std::move(token);
  return session;
}

std::shared_ptr<const KeptSession> RedisSessionKeeper::Keep(
    std::shared_ptr<const KeptSession> session) {
  const std::string key = KeyOf(session->id);
  RedisCommand fields = {"HSET", key, std::string(kTokenField), session->token};
  // A draft's values (in memory) come along; a session that is already
  // kept here has its values in Redis already.
  if (auto* draft = dynamic_cast<const InMemorySession*>(session->values.get())) {
    for (const auto& [name, value] : draft->All()) {
      fields.push_back(std::string(kValuePrefix) + name);
      fields.push_back(EncodeValue(value));
    }
  }
  client_->Pipeline({fields, {"PEXPIRE", key, std::to_string(idle_ms_)}});
  return Handle(session->id, session->token);
}

std::shared_ptr<const KeptSession> RedisSessionKeeper::Find(std::string_view id) {
  if (id.empty()) return nullptr;
  const std::string key = KeyOf(id);
  std::vector<RedisReply> replies = client_->Pipeline(
      {{"PEXPIRE", key, std::to_string(idle_ms_)}, {"HGET", key, std::string(kTokenField)}});
  // No key (never kept, removed or expired), or a hash left without its
  // token (a value written after the session ended): no session.
  if (replies[0].integer != 1 || replies[1].is_nil()) return nullptr;
  return Handle(std::string(id), std::move(replies[1].text));
}

void RedisSessionKeeper::Remove(std::string_view id) { client_->Run({"DEL", KeyOf(id)}); }

}  // namespace korimba

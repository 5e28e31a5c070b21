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

// How long a waiting node blocks before it asks again without a wake-up
// (the safety net for a lock that expired instead of being released), and
// how long its place in the queue outlives its last try.
constexpr double kBlockSeconds = 0.1;
constexpr long long kWaitingMs = 500;

Variant Decoded(const std::optional<std::string>& stored) {
  return stored ? DecodeValue(*stored) : Variant();
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

// A lock script's arguments after the script: the lock's three keys and
// the arguments every lock script starts with.
RedisCommand LockArguments(const std::string& node, const std::string& token) {
  return {"3",
          std::string(kLockKey),
          std::string(kQueueKey),
          std::string(kApplicationKey),
          std::string(kWaitingPrefix),
          std::string(kWakePrefix),
          node,
          token};
}

}  // namespace

// A page of this process waiting for the lock. It is woken either to ask
// Redis itself (kAsk) or holding the lock already, handed over by the
// previous holder with what the lock brings (kHeld). While a release is
// deciding whether to hand the lock to it, it is `reserved` and does not
// give up.
struct RedisApplication::Waiter {
  enum class State { kWaiting, kAsk, kHeld };
  Waiter(const void* holder, RedisSession* session) : holder(holder), session(session) {}
  const void* holder;
  RedisSession* session;
  std::condition_variable cv;
  State state = State::kWaiting;
  bool reserved = false;
  // What a release through Redis brought along (none when the lock was
  // handed over in the process), and when that release asked.
  std::optional<LockBrought> brought;
  SteadyClock::time_point brought_at;
};

RedisApplication::RedisApplication(std::shared_ptr<RedisClient> client, RedisLockTimes times)
    : client_(std::move(client)), times_(times), node_(RandomHexId()) {}

bool RedisApplication::OnHoldersThread() const {
  return taken_ && holder_thread_ == std::this_thread::get_id();
}

Variant RedisApplication::Value(std::string_view name) const {
  std::string field = FoldName(name);
  {
    std::lock_guard lock(mu_);
    if (OnHoldersThread()) {
      if (auto it = pending_.find(field); it != pending_.end()) return DecodeValue(it->second);
      if (learning_) {
        learning_ = false;
        first_read_ = field;
      }
      if (auto it = known_.find(field); it != known_.end()) return Decoded(it->second);
    }
  }
  RedisReply reply = client_->Run({"HGET", std::string(kApplicationKey), field});
  std::optional<std::string> stored;
  if (!reply.is_nil()) stored = std::move(reply.text);
  std::lock_guard lock(mu_);
  // Nobody else writes it while the lock is the holder's: the next page
  // handed the lock in the process reads it from here.
  if (OnHoldersThread() && !pending_.contains(field)) known_[field] = stored;
  return Decoded(stored);
}

void RedisApplication::SetValue(std::string_view name, Variant value) {
  std::string field = FoldName(name);
  std::string stored = EncodeValue(value);
  {
    std::lock_guard lock(mu_);
    if (OnHoldersThread()) {
      known_.erase(field);
      pending_[std::move(field)] = std::move(stored);
      return;
    }
    known_.erase(field);  // written outside the lock: read it again
  }
  client_->Run({"HSET", std::string(kApplicationKey), std::move(field), std::move(stored)});
}

void RedisApplication::BeginHold(const void* holder, RedisSession* session,
                                 const std::string& field, LockBrought brought) {
  holder_ = holder;
  holder_session_ = session != nullptr ? session->key() : "";
  taken_ = true;
  depth_ = 1;
  learning_ = true;
  pending_.clear();
  known_.clear();
  if (!field.empty()) known_.emplace(field, std::move(brought.value));
  confirmed_ = SteadyClock::now();
  handed_in_process_ = 0;
  held_by_session_.clear();
}

bool RedisApplication::SessionCurrent(const RedisSession& session) const {
  // Read after the lock became this process's, so after every other node's
  // holder; and after this process's holders of the same session.
  const SteadyClock::time_point read_at = session.read_at();
  if (read_at <= confirmed_) return false;
  auto it = held_by_session_.find(session.key());
  return it == held_by_session_.end() || read_at > it->second;
}

bool RedisApplication::HandOverInProcess(std::unique_lock<std::mutex>& lock) {
  // A tenth of the expiry at most: the key cannot have lapsed meanwhile (a
  // Redis answer comes within the client's timeout, far shorter).
  const double hold = std::min(times_.local_hold_seconds, times_.expiry_seconds / 10);
  if (waiting_.empty() || handed_in_process_ >= times_.local_hand_offs ||
      SteadyClock::now() - confirmed_ >= std::chrono::duration<double>(hold)) {
    return false;
  }
  if (!holder_session_.empty()) held_by_session_[holder_session_] = SteadyClock::now();
  Waiter* next = waiting_.front();
  if (next->session != nullptr && !SessionCurrent(*next->session)) {
    // The sessions of the pages that may get the lock in the process next,
    // in one round trip; they stay in line meanwhile.
    std::vector<Waiter*> stale;
    std::vector<RedisCommand> reads;
    const size_t room = static_cast<size_t>(times_.local_hand_offs - handed_in_process_);
    for (size_t i = 0; i < waiting_.size() && i < room; ++i) {
      Waiter* waiter = waiting_[i];
      if (waiter->session == nullptr || SessionCurrent(*waiter->session)) continue;
      waiter->reserved = true;
      stale.push_back(waiter);
      reads.push_back({"HGETALL", waiter->session->key()});
    }
    lock.unlock();
    const SteadyClock::time_point asked = SteadyClock::now();
    std::vector<RedisReply> replies;
    bool read = true;
    try {
      replies = client_->Pipeline(reads);
    } catch (...) {
      read = false;  // the release through Redis says what is wrong
    }
    lock.lock();
    for (size_t i = 0; i < stale.size(); ++i) {
      if (read) stale[i]->session->Refresh(replies[i], asked);
      stale[i]->reserved = false;
      if (stale[i] != next) stale[i]->cv.notify_one();  // may give up again
    }
    if (!read) return false;
  }
  waiting_.pop_front();
  ++handed_in_process_;
  holder_ = next->holder;
  holder_session_ = next->session != nullptr ? next->session->key() : "";
  depth_ = 1;
  holder_thread_ = {};
  learning_ = false;  // the field read first is known already
  next->brought.reset();
  next->state = Waiter::State::kHeld;
  next->cv.notify_one();
  return true;
}

void RedisApplication::PassOn() {
  taken_ = false;
  depth_ = 0;
  learning_ = false;
  known_.clear();
  pending_.clear();
  held_by_session_.clear();
  holder_session_.clear();
  holder_thread_ = {};
  holder_ = nullptr;
  if (waiting_.empty()) return;
  Waiter* next = waiting_.front();
  waiting_.pop_front();
  holder_ = next->holder;
  next->state = Waiter::State::kAsk;
  next->cv.notify_one();
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
  if (holder_ != nullptr) {
    Waiter me(holder, own_session);
    waiting_.push_back(&me);
    while (me.state == Waiter::State::kWaiting) {
      if (me.reserved) {
        me.cv.wait(lock);
      } else if (me.cv.wait_until(lock, deadline) == std::cv_status::timeout &&
                 me.state == Waiter::State::kWaiting && !me.reserved) {
        std::erase(waiting_, &me);
        throw timed_out();
      }
    }
    if (me.state == Waiter::State::kHeld) {
      // Handed over in the process: the lock is this page's already.
      holder_thread_ = std::this_thread::get_id();
      lock.unlock();
      if (own_session != nullptr && me.brought) {
        own_session->Refresh(me.brought->session, me.brought_at);
      }
      return;
    }
  }
  // This holder alone of the process asks Redis now; the others queue above.
  holder_ = holder;
  token_ = node_ + "." + std::to_string(++taken_count_);
  const std::string field = first_read_;
  lock.unlock();
  std::optional<LockBrought> taken;
  SteadyClock::time_point asked_at;
  try {
    taken = TakeLock(own_session != nullptr ? own_session->key() : "", field, deadline, &asked_at);
  } catch (...) {
    std::lock_guard relock(mu_);
    PassOn();
    throw;
  }
  lock.lock();
  if (!taken) {
    PassOn();
    throw timed_out();
  }
  RedisReply session_fields = std::move(taken->session);
  BeginHold(holder, own_session, field, std::move(*taken));
  holder_thread_ = std::this_thread::get_id();
  lock.unlock();
  if (own_session != nullptr) own_session->Refresh(session_fields, asked_at);
}

std::optional<LockBrought> RedisApplication::TakeLock(const std::string& session_key,
                                                      const std::string& field,
                                                      SteadyClock::time_point deadline,
                                                      SteadyClock::time_point* asked_at) {
  *asked_at = SteadyClock::now();
  RedisCommand take = LockArguments(node_, token_);
  for (std::string arg : {std::to_string(Milliseconds(times_.expiry_seconds)),
                          std::to_string(kWaitingMs), field, session_key}) {
    take.push_back(std::move(arg));
  }
  const std::string wake = std::string(kWakePrefix) + node_;
  // Giving up (or failing) leaves the queue, so the nodes behind are not
  // held up until this node's place expires; a lock handed over meanwhile
  // is this node's after all.
  auto leave_queue = [&]() -> std::optional<LockBrought> {
    RedisCommand leave = LockArguments(node_, token_);
    leave.push_back(field);
    leave.push_back(session_key);
    RedisReply left = client_->Script(LeaveQueueScript(), leave);
    if (left.is_nil()) return std::nullopt;
    return BroughtFromReply(left);
  };
  try {
    for (;;) {
      RedisReply reply = client_->Script(TakeLockScript(), take);
      if (!reply.is_nil()) return BroughtFromReply(reply);
      for (;;) {
        const double left = std::chrono::duration<double>(deadline - SteadyClock::now()).count();
        if (left <= 0) return leave_queue();
        char timeout[32];
        std::snprintf(timeout, sizeof timeout, "%.3f",
                      std::max(0.001, std::min(left, kBlockSeconds)));
        RedisReply woken = client_->Run({"BLPOP", wake, timeout});
        if (woken.is_nil()) break;  // no hand-over yet: ask again
        if (woken.elements.size() == 2) {
          if (auto handed = ParseHandOver(woken.elements[1].text);
              handed && handed->first == token_) {
            return std::move(handed->second);
          }
        }
        // A wake-up meant for an earlier attempt: keep waiting.
      }
    }
  } catch (...) {
    try {
      if (leave_queue()) {
        // Handed over just as the wait failed: hand it on again.
        RedisCommand release = LockArguments(node_, token_);
        for (std::string arg : {std::to_string(Milliseconds(times_.expiry_seconds)), std::string(),
                                std::string(), std::string()}) {
          release.push_back(std::move(arg));
        }
        client_->Script(ReleaseLockScript(), release);
      }
    } catch (...) {
      // Redis is gone: the place and any lock handed here expire by themselves.
    }
    throw;
  }
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
  std::unique_lock lock(mu_);
  if (HandOverInProcess(lock)) return;
  Waiter* next = waiting_.empty() ? nullptr : waiting_.front();
  if (next != nullptr) next->reserved = true;
  RedisCommand release = LockArguments(node_, token_);
  release.push_back(std::to_string(Milliseconds(times_.expiry_seconds)));
  release.push_back(next != nullptr ? "1" : "");
  const std::string field = first_read_;
  release.push_back(next != nullptr ? field : "");
  release.push_back(next != nullptr && next->session != nullptr ? next->session->key() : "");
  const bool wrote = !pending_.empty();
  for (auto& [name, stored] : pending_) {
    release.push_back(name);
    release.push_back(std::move(stored));
  }
  pending_.clear();
  lock.unlock();

  RedisReply result;
  std::exception_ptr failure;
  const SteadyClock::time_point asked = SteadyClock::now();
  try {
    result = client_->Script(ReleaseLockScript(), release);
  } catch (...) {
    failure = std::current_exception();
  }
  const std::string outcome =
      !failure && !result.elements.empty() ? result.elements[0].text : std::string();
  lock.lock();
  if (next != nullptr) next->reserved = false;
  if (outcome == "kept" && next != nullptr) {
    // The key stays this process's under the same token: the next page in
    // line holds the lock without asking Redis for it.
    waiting_.pop_front();
    RedisReply brought = result;
    brought.elements.erase(brought.elements.begin());
    BeginHold(next->holder, next->session, field, BroughtFromReply(brought));
    holder_thread_ = {};
    next->brought = BroughtFromReply(brought);
    next->brought_at = asked;
    next->state = Waiter::State::kHeld;
    next->cv.notify_one();
  } else {
    PassOn();
  }
  lock.unlock();
  if (failure) std::rethrow_exception(failure);
  if (outcome == "lost" && wrote) {
    throw AutomationError(kErrPageHost,
                          "Application.UnLock: the Application lock expired before it was "
                          "released (the page kept it longer than " +
                              std::to_string(std::lround(times_.expiry_seconds)) +
                              " seconds); the values written under it were not stored");
  }
}

size_t RedisApplication::waiting() const {
  std::lock_guard lock(mu_);
  return waiting_.size();
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
    // Redis is gone (the key expires by itself), or the lock had expired.
  }
}

RedisSession::RedisSession(std::shared_ptr<RedisClient> client, std::string key, long long idle_ms,
                           std::map<std::string, std::string, std::less<>> fields,
                           SteadyClock::time_point read_at)
    : client_(std::move(client)),
      key_(std::move(key)),
      idle_ms_(idle_ms),
      fields_(std::move(fields)),
      read_at_(read_at) {}

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

void RedisSession::Refresh(const RedisReply& all, SteadyClock::time_point read_at) {
  auto fields = SessionFields(all, nullptr);
  std::lock_guard lock(mu_);
  fields_ = std::move(fields);
  read_at_ = read_at;
}

SteadyClock::time_point RedisSession::read_at() const {
  std::lock_guard lock(mu_);
  return read_at_;
}

RedisSessionKeeper::RedisSessionKeeper(std::shared_ptr<RedisClient> client, double idle_seconds)
    : client_(std::move(client)), idle_ms_(Milliseconds(idle_seconds)) {}

std::string RedisSessionKeeper::KeyOf(std::string_view id) const {
  return std::string(kSessionPrefix) + std::string(id);
}

std::shared_ptr<const KeptSession> RedisSessionKeeper::Handle(
    std::string id, std::string token, std::map<std::string, std::string, std::less<>> fields,
    SteadyClock::time_point read_at) const {
  auto session = std::make_shared<KeptSession>();
  session->values =
      std::make_shared<RedisSession>(client_, KeyOf(id), idle_ms_, std::move(fields), read_at);
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
    const SteadyClock::time_point asked = SteadyClock::now();
    std::vector<RedisReply> replies =
        client_->Pipeline({written, {"PEXPIRE", key, std::to_string(idle_ms_)}, {"HGETALL", key}});
    return Handle(session->id, session->token, SessionFields(replies[2], nullptr), asked);
  }
  client_->Pipeline({written, {"PEXPIRE", key, std::to_string(idle_ms_)}});
  // What Redis held besides the draft's values was not read: the first
  // lock handed over in the process reads the session again.
  return Handle(session->id, session->token, std::move(fields), SteadyClock::time_point());
}

std::shared_ptr<const KeptSession> RedisSessionKeeper::Find(std::string_view id) {
  if (id.empty()) return nullptr;
  const std::string key = KeyOf(id);
  const SteadyClock::time_point asked = SteadyClock::now();
  std::vector<RedisReply> replies =
      client_->Pipeline({{"PEXPIRE", key, std::to_string(idle_ms_)}, {"HGETALL", key}});
  // No key (never kept, removed or expired), or a hash left without its
  // token (a value written after the session ended): no session.
  std::string token;
  auto fields = SessionFields(replies[1], &token);
  if (replies[0].integer != 1 || token.empty()) return nullptr;
  return Handle(std::string(id), std::move(token), std::move(fields), asked);
}

void RedisSessionKeeper::Remove(std::string_view id) { client_->Run({"DEL", KeyOf(id)}); }

}  // namespace korimba

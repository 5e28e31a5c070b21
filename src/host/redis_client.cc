#include "host/redis_client.h"

#include <hiredis/hiredis.h>
#include <sys/time.h>

#include <charconv>
#include <cmath>

namespace korimba {
namespace {

// Connections kept open for later commands; more may be open at once while
// many threads wait on Redis, the rest are closed when given back.
constexpr size_t kIdleConnections = 16;

struct ReplyFree {
  void operator()(void* reply) const { freeReplyObject(reply); }
};
using ReplyHandle = std::unique_ptr<redisReply, ReplyFree>;

struct ContextFree {
  void operator()(redisContext* context) const { redisFree(context); }
};

timeval TimeoutOf(double seconds) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(seconds);
  tv.tv_usec = static_cast<suseconds_t>((seconds - std::floor(seconds)) * 1e6);
  return tv;
}

RedisReply Convert(const redisReply& raw) {
  RedisReply reply;
  switch (raw.type) {
    case REDIS_REPLY_INTEGER:
      reply.kind = RedisReply::Kind::kInteger;
      reply.integer = raw.integer;
      break;
    case REDIS_REPLY_STRING:
    case REDIS_REPLY_STATUS:
      reply.kind = RedisReply::Kind::kText;
      reply.text.assign(raw.str, raw.len);
      break;
    case REDIS_REPLY_ARRAY:
      reply.kind = RedisReply::Kind::kArray;
      for (size_t i = 0; i < raw.elements; ++i) reply.elements.push_back(Convert(*raw.element[i]));
      break;
    case REDIS_REPLY_ERROR:
      throw AutomationError(kErrPageHost, "The shared session store refused a command: " +
                                              std::string(raw.str, raw.len));
    default:
      break;  // nil
  }
  return reply;
}

}  // namespace

std::string RedisAddress::Text() const {
  return "redis://" + host + ":" + std::to_string(port) + "/" + std::to_string(db);
}

std::optional<RedisAddress> ParseRedisAddress(std::string_view text, std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<RedisAddress> {
    if (error != nullptr) *error = why;
    return std::nullopt;
  };
  constexpr std::string_view kScheme = "redis://";
  if (!text.starts_with(kScheme)) return fail("it does not start with redis://");
  std::string_view rest = text.substr(kScheme.size());
  RedisAddress address;
  std::string_view db_text;
  if (size_t slash = rest.find('/'); slash != std::string_view::npos) {
    db_text = rest.substr(slash + 1);
    rest = rest.substr(0, slash);
  }
  std::string_view port_text;
  if (size_t colon = rest.rfind(':'); colon != std::string_view::npos) {
    port_text = rest.substr(colon + 1);
    rest = rest.substr(0, colon);
  }
  if (rest.empty()) return fail("it names no host");
  address.host = std::string(rest);
  auto number = [](std::string_view digits, int low, int high) -> std::optional<int> {
    int value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
        value < low || value > high) {
      return std::nullopt;
    }
    return value;
  };
  if (!port_text.empty()) {
    auto port = number(port_text, 1, 65535);
    if (!port) return fail("its port is not a number from 1 to 65535");
    address.port = *port;
  }
  if (!db_text.empty()) {
    auto db = number(db_text, 0, 1000000);
    if (!db) return fail("its database is not a whole number");
    address.db = *db;
  }
  return address;
}

class RedisClient::Connection {
 public:
  Connection(const RedisAddress& address, double timeout_seconds) {
    const timeval timeout = TimeoutOf(timeout_seconds);
    context_.reset(redisConnectWithTimeout(address.host.c_str(), address.port, timeout));
    if (context_ == nullptr) throw StateUnavailable("out of memory opening a connection");
    if (context_->err != 0) Broken(address);
    redisSetTimeout(context_.get(), timeout);
    if (address.db != 0) {
      std::vector<RedisReply> selected = Send({{"SELECT", std::to_string(address.db)}}, address);
      (void)selected;
    }
  }

  // Sends every command in one write, then reads each answer. An error
  // answer throws after all answers are read, so the connection stays in
  // step and can be used again.
  std::vector<RedisReply> Send(const std::vector<RedisCommand>& commands,
                               const RedisAddress& address) {
    for (const RedisCommand& command : commands) {
      std::vector<const char*> argv;
      std::vector<size_t> lengths;
      for (const std::string& part : command) {
        argv.push_back(part.data());
        lengths.push_back(part.size());
      }
      if (redisAppendCommandArgv(context_.get(), static_cast<int>(argv.size()), argv.data(),
                                 lengths.data()) != REDIS_OK) {
        Broken(address);
      }
    }
    std::vector<RedisReply> replies;
    std::optional<AutomationError> refused;
    for (size_t i = 0; i < commands.size(); ++i) {
      void* raw = nullptr;
      if (redisGetReply(context_.get(), &raw) != REDIS_OK || raw == nullptr) Broken(address);
      ReplyHandle reply(static_cast<redisReply*>(raw));
      try {
        replies.push_back(Convert(*reply));
      } catch (const AutomationError& e) {
        if (!refused) refused = e;
        replies.emplace_back();
      }
    }
    if (refused) throw *refused;
    return replies;
  }

 private:
  [[noreturn]] void Broken(const RedisAddress& address) {
    const std::string why = context_->errstr[0] != '\0' ? context_->errstr : "connection lost";
    throw StateUnavailable(address.host + ":" + std::to_string(address.port) + " (" + why + ")");
  }

  std::unique_ptr<redisContext, ContextFree> context_;
};

RedisClient::RedisClient(RedisAddress address, double timeout_seconds)
    : address_(std::move(address)), timeout_seconds_(timeout_seconds) {}

RedisClient::~RedisClient() = default;

std::unique_ptr<RedisClient::Connection> RedisClient::Lend() {
  {
    std::lock_guard lock(mu_);
    if (!idle_.empty()) {
      auto connection = std::move(idle_.back());
      idle_.pop_back();
      return connection;
    }
  }
  return std::make_unique<Connection>(address_, timeout_seconds_);
}

void RedisClient::GiveBack(std::unique_ptr<Connection> connection) {
  std::lock_guard lock(mu_);
  if (idle_.size() < kIdleConnections) idle_.push_back(std::move(connection));
}

std::vector<RedisReply> RedisClient::Pipeline(const std::vector<RedisCommand>& commands) {
  auto connection = Lend();
  std::vector<RedisReply> replies;
  try {
    replies = connection->Send(commands, address_);
  } catch (const StateUnavailable&) {
    // The connection is out of step or closed: it is dropped, not given back.
    // Idle ones opened before the failure are likely dead as well.
    std::lock_guard lock(mu_);
    idle_.clear();
    throw;
  } catch (const AutomationError&) {
    GiveBack(std::move(connection));
    throw;
  }
  GiveBack(std::move(connection));
  return replies;
}

RedisReply RedisClient::Run(const RedisCommand& command) {
  return std::move(Pipeline({command}).front());
}

RedisReply RedisClient::Script(const std::string& script, const RedisCommand& rest) {
  std::string digest;
  {
    std::lock_guard lock(mu_);
    if (auto it = digests_.find(script); it != digests_.end()) digest = it->second;
  }
  for (int attempt = 0;; ++attempt) {
    if (digest.empty()) {
      digest = Run({"SCRIPT", "LOAD", script}).text;
      std::lock_guard lock(mu_);
      digests_[script] = digest;
    }
    RedisCommand command = {"EVALSHA", digest};
    command.insert(command.end(), rest.begin(), rest.end());
    try {
      return Run(command);
    } catch (const StateUnavailable&) {
      throw;
    } catch (const AutomationError& e) {
      // Redis restarted since the script was given: give it again, once.
      if (attempt > 0 || e.description().find("NOSCRIPT") == std::string::npos) throw;
      digest.clear();
    }
  }
}

std::string RedisClient::Problem() {
  try {
    RedisReply pong = Run({"PING"});
    if (pong.text == "PONG") return "";
    return "Redis answered PING with \"" + pong.text + "\"";
  } catch (const AutomationError& e) {
    return e.description();
  }
}

}  // namespace korimba

// RedisClient sends commands to one Redis server for the page host's shared
// state. It keeps a few open connections (each a hiredis context owned by an
// RAII handle) and lends one to each command or pipeline, so request threads
// run their commands at once. A connection that fails is dropped, and the
// next command opens a new one: when Redis comes back, pages work again
// without a restart. A pipeline sends its commands in one write and reads all
// answers back: one round trip.
// Failures: StateUnavailable when Redis cannot be reached or the connection
// breaks (pages answer 503 on it); an AutomationError when Redis answers a
// command with an error. Scripts run by their digest (EVALSHA). Thread-safe.
#ifndef KORIMBA_HOST_REDIS_CLIENT_H_
#define KORIMBA_HOST_REDIS_CLIENT_H_

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/error.h"

namespace korimba {

// Where the shared state lives: redis://HOST:PORT[/DB].
struct RedisAddress {
  std::string host = "127.0.0.1";
  int port = 6379;
  int db = 0;
  std::string Text() const;
};

// The address of a redis:// text; nullopt (with the reason in *error) when it
// is not one.
std::optional<RedisAddress> ParseRedisAddress(std::string_view text, std::string* error);

// Redis cannot be reached, or the connection broke during a command.
class StateUnavailable : public AutomationError {
 public:
  explicit StateUnavailable(const std::string& detail)
      : AutomationError(kErrPageHost, "The shared session store cannot be reached: " + detail) {}
};

// One answer. Nil, integer, text (bulk or status) or an array of answers;
// error answers never get here (they throw).
struct RedisReply {
  enum class Kind { kNil, kInteger, kText, kArray };
  Kind kind = Kind::kNil;
  long long integer = 0;
  std::string text;
  std::vector<RedisReply> elements;
  bool is_nil() const { return kind == Kind::kNil; }
};

using RedisCommand = std::vector<std::string>;

class RedisClient {
 public:
  // `timeout_seconds` bounds connecting and each answer.
  explicit RedisClient(RedisAddress address, double timeout_seconds = 2);
  RedisClient(const RedisClient&) = delete;
  RedisClient& operator=(const RedisClient&) = delete;
  ~RedisClient();

  RedisReply Run(const RedisCommand& command);
  // Every command's answer, in order, after one round trip.
  std::vector<RedisReply> Pipeline(const std::vector<RedisCommand>& commands);
  // Runs a Lua script: `rest` is EVAL's arguments after the script (the
  // number of keys, the keys, the arguments). The script is sent once per
  // connection to Redis and run by its digest from then on (a script sent
  // whole is compiled again each time), and sent again when Redis lost it
  // (a restart).
  RedisReply Script(const std::string& script, const RedisCommand& rest);
  // Empty when Redis answers PING; otherwise why not.
  std::string Problem();

  const RedisAddress& address() const { return address_; }

 private:
  class Connection;
  std::unique_ptr<Connection> Lend();
  void GiveBack(std::unique_ptr<Connection> connection);

  RedisAddress address_;
  double timeout_seconds_;
  std::mutex mu_;
  std::vector<std::unique_ptr<Connection>> idle_;
  // Digests of the scripts Redis has been given, by script text.
  std::map<std::string, std::string, std::less<>> digests_;
};

}  // namespace korimba

#endif  // KORIMBA_HOST_REDIS_CLIENT_H_

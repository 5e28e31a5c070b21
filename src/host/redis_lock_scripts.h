// The Lua scripts behind the Redis host's Application lock, and what they
// bring to the node that gets the lock. Every script runs whole inside Redis,
// so taking, handing over and releasing the lock never interleave.
//  - Take: takes the lock key (korimba:lock) for a token when it is free and
//    no other node is ahead in the queue of waiting nodes; otherwise records
//    the node as waiting (its token, its holder's session and the field it
//    will read first) and puts it in the queue.
//  - Release: stores the values the holder wrote under the lock, but only
//    while the key still holds its token; then hands the lock to the first
//    node still waiting (setting the key to that node's token and pushing
//    what it would have read to the node's wake-up list), or keeps it for the
//    next holder of the same process when no other node waits, or frees it.
//  - Leave: a node that stops waiting leaves the queue, unless the lock was
//    handed to it meanwhile: then it has the lock after all.
// The keys and the argument order are fixed here and in redis_state.cc only.
// Pure data and functions; any thread.
#ifndef KORIMBA_HOST_REDIS_LOCK_SCRIPTS_H_
#define KORIMBA_HOST_REDIS_LOCK_SCRIPTS_H_

#include <optional>
#include <string>
#include <string_view>

#include "host/redis_client.h"

namespace korimba {

// What a holder finds when it gets the lock: the Application field it will
// read first (nullopt: none stored, or none asked for) and its session's
// hash as HGETALL gives it (an array of names and values; empty: none).
struct LockBrought {
  std::optional<std::string> value;
  RedisReply session;
};

// Take. KEYS: lock, queue, Application. ARGV: waiting prefix, wake prefix,
// node, token, expiry ms, waiting ms, field, session key. Answers nil
// (queued) or {value, session fields}.
const std::string& TakeLockScript();
// Release. KEYS: lock, queue, Application. ARGV: waiting prefix, wake
// prefix, node, token, expiry ms, "1" when a holder of this process waits
// (else ""), its field, its session key, then field and value of each write.
// Answers {"lost"} (the key no longer held the token: nothing stored),
// {"handed"}, {"released"} or {"kept", value, session fields}.
const std::string& ReleaseLockScript();
// Leave. KEYS: lock, queue, Application. ARGV: waiting prefix, wake
// prefix, node, token, field, session key. Answers nil (left) or
// {value, session fields} (the lock had been handed to this node).
const std::string& LeaveQueueScript();

// {value, session fields} as a script answers it.
LockBrought BroughtFromReply(const RedisReply& reply);
// A wake-up pushed by Release: the token the lock was handed to and what
// it brings; nullopt when the text is not one.
std::optional<std::pair<std::string, LockBrought>> ParseHandOver(std::string_view text);

}  // namespace korimba

#endif  // KORIMBA_HOST_REDIS_LOCK_SCRIPTS_H_

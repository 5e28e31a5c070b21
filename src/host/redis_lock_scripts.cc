#include "host/redis_lock_scripts.h"

#include <charconv>

namespace korimba {
namespace {

// Shared openings. `bring` reads what a new holder reads first; `live_head`
// drops the nodes at the head of the queue that stopped waiting (died or
// gave up: their waiting record expired or went), so `head` is the first
// live one, or false.
constexpr std::string_view kCommon =
    "local me = ARGV[3] "
    "local function bring(field, session) "
    "  local value = false "
    "  if field ~= '' then value = redis.call('hget', KEYS[3], field) end "
    "  local fields = {} "
    "  if session ~= '' then fields = redis.call('hgetall', session) end "
    "  return {value, fields} "
    "end "
    "local function live_head() "
    "  local head = redis.call('lindex', KEYS[2], 0) "
    "  while head and head ~= me and redis.call('exists', ARGV[1] .. head) == 0 do "
    "    redis.call('lpop', KEYS[2]) head = redis.call('lindex', KEYS[2], 0) "
    "  end "
    "  return head "
    "end ";

constexpr std::string_view kTake =
    // Handed over by a release while this node was not looking.
    "if redis.call('get', KEYS[1]) == ARGV[4] then "
    "  redis.call('del', ARGV[1] .. me, ARGV[2] .. me) "
    "  return bring(ARGV[7], ARGV[8]) "
    "end "
    "local head = live_head() "
    "if (head and head ~= me) or "
    "    not redis.call('set', KEYS[1], ARGV[4], 'NX', 'PX', ARGV[5]) then "
    "  redis.call('hset', ARGV[1] .. me, 'token', ARGV[4], 'field', ARGV[7], 'session', ARGV[8]) "
    "  redis.call('pexpire', ARGV[1] .. me, ARGV[6]) "
    "  if not redis.call('lpos', KEYS[2], me) then redis.call('rpush', KEYS[2], me) end "
    "  return false "
    "end "
    "if head == me then redis.call('lpop', KEYS[2]) end "
    "redis.call('del', ARGV[1] .. me, ARGV[2] .. me) "
    "return bring(ARGV[7], ARGV[8])";

// The hand-over pushed to a waiting node: its token, whether the field was
// stored, the field's value and the session's names and values, each as
// "<bytes>:<text>".
constexpr std::string_view kRelease =
    "if redis.call('get', KEYS[1]) ~= ARGV[4] then return {'lost'} end "
    "for i = 9, #ARGV, 2 do redis.call('hset', KEYS[3], ARGV[i], ARGV[i + 1]) end "
    "local head = live_head() "
    "if head and head ~= me then "
    "  local waiting = ARGV[1] .. head "
    "  local token = redis.call('hget', waiting, 'token') "
    "  local got = bring(redis.call('hget', waiting, 'field') or '', "
    "                    redis.call('hget', waiting, 'session') or '') "
    "  redis.call('set', KEYS[1], token, 'PX', ARGV[5]) "
    "  redis.call('lpop', KEYS[2]) "
    "  redis.call('del', waiting) "
    "  local items = {token, got[1] and '1' or '0', got[1] or ''} "
    "  for _, item in ipairs(got[2]) do items[#items + 1] = item end "
    "  local out = {} "
    "  for _, item in ipairs(items) do out[#out + 1] = #item .. ':' .. item end "
    "  local wake = ARGV[2] .. head "
    "  redis.call('del', wake) "
    "  redis.call('rpush', wake, table.concat(out)) "
    "  redis.call('pexpire', wake, 2000) "
    "  return {'handed'} "
    "end "
    "if ARGV[6] == '1' then "
    "  redis.call('pexpire', KEYS[1], ARGV[5]) "
    "  local got = bring(ARGV[7], ARGV[8]) "
    "  return {'kept', got[1], got[2]} "
    "end "
    "redis.call('del', KEYS[1]) "
    "return {'released'}";

constexpr std::string_view kLeave =
    "if redis.call('get', KEYS[1]) == ARGV[4] then "
    "  redis.call('del', ARGV[1] .. me, ARGV[2] .. me) "
    "  return bring(ARGV[5], ARGV[6]) "
    "end "
    "redis.call('lrem', KEYS[2], 0, me) "
    "redis.call('del', ARGV[1] .. me, ARGV[2] .. me) "
    "return false";

}  // namespace

const std::string& TakeLockScript() {
  static const std::string script = std::string(kCommon) + std::string(kTake);
  return script;
}

const std::string& ReleaseLockScript() {
  static const std::string script = std::string(kCommon) + std::string(kRelease);
  return script;
}

const std::string& LeaveQueueScript() {
  static const std::string script = std::string(kCommon) + std::string(kLeave);
  return script;
}

LockBrought BroughtFromReply(const RedisReply& reply) {
  LockBrought brought;
  if (!reply.elements.empty() && !reply.elements[0].is_nil()) {
    brought.value = reply.elements[0].text;
  }
  if (reply.elements.size() > 1) brought.session = reply.elements[1];
  brought.session.kind = RedisReply::Kind::kArray;
  return brought;
}

std::optional<std::pair<std::string, LockBrought>> ParseHandOver(std::string_view text) {
  std::vector<std::string> items;
  while (!text.empty()) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    size_t length = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + colon, length);
    if (ec != std::errc() || end != text.data() + colon || colon == 0 ||
        length > text.size() - colon - 1) {
      return std::nullopt;
    }
    items.emplace_back(text.substr(colon + 1, length));
    text.remove_prefix(colon + 1 + length);
  }
  if (items.size() < 3 || items[0].empty() || (items[1] != "0" && items[1] != "1") ||
      (items.size() - 3) % 2 != 0) {
    return std::nullopt;
  }
  LockBrought brought;
  if (items[1] == "1") brought.value = std::move(items[2]);
  brought.session.kind = RedisReply::Kind::kArray;
  for (size_t i = 3; i < items.size(); ++i) {
    RedisReply item;
    item.kind = RedisReply::Kind::kText;
    item.text = std::move(items[i]);
    brought.session.elements.push_back(std::move(item));
  }
  return std::make_pair(std::move(items[0]), std::move(brought));
}

}  // namespace korimba

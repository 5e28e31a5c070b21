// FeedKeys gives each person the secret part of their calendar subscription
// address: an HMAC (libsodium's crypto_auth, HMAC-SHA512-256) of the person
// id and the person's renewal count under the office's feed key. The key and
// the renewal counts live in one small file (mode 0600) beside the database,
// created with a random key on first use; nodes that share the file hand out
// the same addresses. Renewing a person's address bumps their count, so the
// old address stops matching. The file is read again whenever it changed on
// disk (another node may have renewed an address); a renewal rewrites it
// whole under an exclusive lock on "<file>.lock". Thread-safe.
#ifndef KORIMBA_WEB_FEED_KEYS_H_
#define KORIMBA_WEB_FEED_KEYS_H_

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korimba::web {

// The subscription address: this path with ?person=ID&key=TOKEN. The token
// travels in the query, which the access log leaves out.
inline constexpr std::string_view kFeedPath = "/calendar/feed.ics";

// The key file cannot be read, created or written; the message names the
// file and the reason.
class FeedKeyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FeedKeys {
 public:
  explicit FeedKeys(std::string path);
  FeedKeys(const FeedKeys&) = delete;
  FeedKeys& operator=(const FeedKeys&) = delete;

  const std::string& path() const { return path_; }
  // The person's current token: 64 lowercase hex digits.
  std::string TokenFor(int32_t person);
  // Whether `token` is the person's current token (compared in constant time).
  bool Matches(int32_t person, std::string_view token);
  // Makes a new token for the person and returns it; the old one stops
  // matching, on every node that shares the file.
  std::string Renew(int32_t person);
  // 16 hex digits naming this office's key (not the key): a calendar
  // entry's UID carries it so that two offices' plans never share one.
  std::string OfficeId();

 private:
  struct State {
    std::string key;  // crypto_auth_KEYBYTES raw bytes
    std::map<int32_t, int64_t> renewals;
  };
  // The current state, read from the file when it changed (created when
  // missing). Called with mu_ held.
  const State& Current();
  std::string Token(const State& state, int32_t person) const;

  std::string path_;
  std::mutex mu_;
  State state_;
  bool loaded_ = false;
  ino_t inode_ = 0;
  int64_t mtime_ns_ = 0;
  off_t size_ = 0;
};

// Where the key file goes when no file is named: beside a "sqlite:PATH"
// database ("PATH.feed-key"), else "feed.key" in the working directory.
std::string DefaultFeedKeyPath(std::string_view database);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_FEED_KEYS_H_

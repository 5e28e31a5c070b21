#include "web/feed_keys.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace korimba::web {
namespace {

constexpr std::string_view kHeader =
    "# Korimba calendar subscription key. Keep it secret: whoever has it can read every\n"
    "# person's plans. Nodes that share it hand out the same addresses.\n";

// A file descriptor closed when it goes.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw FeedKeyError("the calendar key file " + path + " " + what + ": " + std::strerror(error));
}

std::string Hex(const unsigned char* bytes, size_t size) {
  std::string hex(size * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), bytes, size);
  hex.pop_back();
  return hex;
}

std::string Serialize(const std::string& key, const std::map<int32_t, int64_t>& renewals) {
  std::string text(kHeader);
  text += "key " + Hex(reinterpret_cast<const unsigned char*>(key.data()), key.size()) + "\n";
  for (const auto& [person, count] : renewals) {
    text += "renewed " + std::to_string(person) + " " + std::to_string(count) + "\n";
  }
  return text;
}

// Writes `text` to a new file beside `path` (mode 0600) and syncs it; returns
// its name.
std::string WriteTemporary(const std::string& path, const std::string& text) {
  std::string temp = path + ".tmp-";
  unsigned char random[6];
  randombytes_buf(random, sizeof random);
  temp += Hex(random, sizeof random);
  Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (fd.get() < 0) Fail("cannot be written", temp, errno);
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      ::unlink(temp.c_str());
      Fail("cannot be written", temp, error);
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd.get()) != 0) {
    int error = errno;
    ::unlink(temp.c_str());
    Fail("cannot be written", temp, error);
  }
  return temp;
}

bool ReadWhole(const std::string& path, std::string* text, struct stat* info) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return false;
    Fail("cannot be read", path, errno);
  }
  if (::fstat(fd.get(), info) != 0) Fail("cannot be read", path, errno);
  text->clear();
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("cannot be read", path, errno);
    if (n == 0) break;
    text->append(buffer, static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

FeedKeys::FeedKeys(std::string path) : path_(std::move(path)) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium could not start");
}

const FeedKeys::State& FeedKeys::Current() {
  struct stat info {};
  if (loaded_ && ::stat(path_.c_str(), &info) == 0 && info.st_ino == inode_ &&
      info.st_size == size_ &&
      static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec == mtime_ns_) {
    return state_;
  }
  std::string text;
  if (!ReadWhole(path_, &text, &info)) {
    // A first use: a random key, put in place only if no other process put
    // one there first (link fails on an existing name), so every node ends
    // up with the same key.
    std::string key(crypto_auth_KEYBYTES, '\0');
    crypto_auth_keygen(reinterpret_cast<unsigned char*>(key.data()));
    std::string temp = WriteTemporary(path_, Serialize(key, {}));
    int linked = ::link(temp.c_str(), path_.c_str());
    int error = errno;
    ::unlink(temp.c_str());
    if (linked != 0 && error != EEXIST) Fail("cannot be created", path_, error);
    if (!ReadWhole(path_, &text, &info)) Fail("cannot be read", path_, ENOENT);
  }
  State state;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line.front() == '#') continue;
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word == "key") {
      std::string hex;
      words >> hex;
      state.key.assign(crypto_auth_KEYBYTES, '\0');
      size_t size = 0;
      if (sodium_hex2bin(reinterpret_cast<unsigned char*>(state.key.data()), state.key.size(),
                         hex.data(), hex.size(), nullptr, &size, nullptr) != 0 ||
          size != crypto_auth_KEYBYTES) {
        state.key.clear();
      }
    } else if (word == "renewed") {
      int32_t person = 0;
      int64_t count = 0;
      if (words >> person >> count) state.renewals[person] = count;
    }
  }
  // A damaged file is never replaced: that would change every address.
  if (state.key.empty()) {
    throw FeedKeyError("the calendar key file " + path_ + " holds no valid key line");
  }
  state_ = std::move(state);
  loaded_ = true;
  inode_ = info.st_ino;
  size_ = info.st_size;
  mtime_ns_ = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return state_;
}

std::string FeedKeys::Token(const State& state, int32_t person) const {
  auto it = state.renewals.find(person);
  const std::string message = "plans feed " + std::to_string(person) + " " +
                              std::to_string(it == state.renewals.end() ? 0 : it->second);
  unsigned char tag[crypto_auth_BYTES];
  crypto_auth(tag, reinterpret_cast<const unsigned char*>(message.data()), message.size(),
              reinterpret_cast<const unsigned char*>(state.key.data()));
  return Hex(tag, sizeof tag);
}

std::string FeedKeys::TokenFor(int32_t person) {
  std::lock_guard lock(mu_);
  return Token(Current(), person);
}

bool FeedKeys::Matches(int32_t person, std::string_view token) {
  std::lock_guard lock(mu_);
  const std::string expected = Token(Current(), person);
  return token.size() == expected.size() &&
         sodium_memcmp(token.data(), expected.data(), expected.size()) == 0;
}

std::string FeedKeys::Renew(int32_t person) {
  std::lock_guard lock(mu_);
  const std::string lock_path = path_ + ".lock";
  Fd lock_fd(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock_fd.get() < 0) Fail("cannot be locked", lock_path, errno);
  while (::flock(lock_fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) Fail("cannot be locked", lock_path, errno);
  }
  // Read again under the lock: another node may have renewed meanwhile.
  loaded_ = false;
  State state = Current();
  ++state.renewals[person];
  std::string temp = WriteTemporary(path_, Serialize(state.key, state.renewals));
  if (::rename(temp.c_str(), path_.c_str()) != 0) {
    int error = errno;
    ::unlink(temp.c_str());
    Fail("cannot be replaced", path_, error);
  }
  loaded_ = false;
  return Token(Current(), person);
}

std::string FeedKeys::OfficeId() {
  std::lock_guard lock(mu_);
  const State& state = Current();
  unsigned char digest[8];
  crypto_generichash(digest, sizeof digest,
                     reinterpret_cast<const unsigned char*>(state.key.data()), state.key.size(),
                     nullptr, 0);
  return Hex(digest, sizeof digest);
}

std::string DefaultFeedKeyPath(std::string_view database) {
  constexpr std::string_view kSqlite = "sqlite:";
  if (database.starts_with(kSqlite) && database != "sqlite::memory:" &&
      database.size() > kSqlite.size()) {
    return std::string(database.substr(kSqlite.size())) + ".feed-key";
  }
  return "feed.key";
}

}  // namespace korimba::web

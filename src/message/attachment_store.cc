#include "message/attachment_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <thread>

#include "frame/error.h"

namespace korimba {
namespace {

[[noreturn]] void ThrowFileError(int32_t number, const char* what, const std::string& path,
                                 int err) {
  std::string description = what;
  description += ": " + path;
  if (err != 0) description += ": " + std::string(std::strerror(err));
  throw AutomationError(number, std::move(description));
}

[[noreturn]] void ThrowOpenError(const std::string& path, int err) {
  ThrowFileError(kErrPathAccess, "Path/File access error", path, err);
}

[[noreturn]] void ThrowIoError(const std::string& path, int err) {
  ThrowFileError(kErrFileIo, "Device I/O error", path, err);
}

// A file descriptor that is closed when it goes out of scope; Close() lets
// the writer see the error a close can report.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Returns 0 or the errno of a failed close.
  int Close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// Removes the temporary file unless the rename has taken it.
class TempFileGuard {
 public:
  explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  ~TempFileGuard() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

void PutLe(std::string& out, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint32_t GetLe(std::string_view data, size_t offset, int size) {
  uint32_t value = 0;
  for (int i = 0; i < size; ++i) {
    value |= static_cast<uint32_t>(static_cast<uint8_t>(data[offset + i])) << (8 * i);
  }
  return value;
}

// A name no other writer uses at the same time: the target's name with the
// process, the thread and a counter appended.
std::string TempNameFor(const std::string& path) {
  static std::atomic<uint64_t> counter{0};
  size_t thread_hash = std::hash<std::thread::id>{}(std::this_thread::get_id());
  return path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(thread_hash % 100000) +
         "-" + std::to_string(counter.fetch_add(1));
}

}  // namespace

std::string AttachmentStore::PathOf(std::string_view message_number) const {
  return directory_ + std::string(message_number);
}

std::string AttachmentStore::EncodeRecord(const ByteArray& bytes) {
  std::string out;
  out.reserve(kHeaderSize + bytes.bytes.size());
  PutLe(out, kByteArrayTag, 2);
  PutLe(out, 1, 2);
  PutLe(out, static_cast<uint32_t>(bytes.bytes.size()), 4);
  PutLe(out, static_cast<uint32_t>(bytes.lbound), 4);
  out.append(reinterpret_cast<const char*>(bytes.bytes.data()), bytes.bytes.size());
  return out;
}

std::optional<ByteArray> AttachmentStore::DecodeRecord(std::string_view data,
                                                       const std::string& path) {
  if (data.empty()) return std::nullopt;
  if (data.size() < kHeaderSize || GetLe(data, 0, 2) != kByteArrayTag || GetLe(data, 2, 2) != 1) {
    ThrowFileError(kErrFileIo, "Device I/O error: not an attachment record", path, 0);
  }
  uint32_t length = GetLe(data, 4, 4);
  if (length > data.size() - kHeaderSize) {
    ThrowFileError(kErrFileIo, "Device I/O error: attachment record is cut short", path, 0);
  }
  ByteArray out;
  out.lbound = static_cast<int32_t>(GetLe(data, 8, 4));
  const auto* first = reinterpret_cast<const uint8_t*>(data.data()) + kHeaderSize;
  out.bytes.assign(first, first + length);
  return out;
}

void AttachmentStore::Write(std::string_view message_number, const ByteArray& bytes) const {
  const std::string path = PathOf(message_number);
  const std::string record = EncodeRecord(bytes);

  std::string temp_path;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp_path = TempNameFor(path);
    fd = ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt > 100)) ThrowOpenError(path, errno);
  }
  FileHandle file(fd);
  TempFileGuard guard(temp_path);

  size_t written = 0;
  while (written < record.size()) {
    ssize_t n = ::write(file.get(), record.data() + written, record.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(path, errno);
    }
    written += static_cast<size_t>(n);
  }
  if (int err = file.Close(); err != 0) ThrowIoError(path, err);
  if (::rename(temp_path.c_str(), path.c_str()) != 0) ThrowOpenError(path, errno);
  guard.Release();
}

std::optional<ByteArray> AttachmentStore::Read(std::string_view message_number) const {
  const std::string path = PathOf(message_number);
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    ThrowOpenError(path, errno);
  }
  FileHandle file(fd);
  std::string data;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(path, errno);
    }
    if (n == 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  return DecodeRecord(data, path);
}

}  // namespace korimba

#include "message/attachment_store.h"

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

// A unique part for a temporary file's name: the process, the thread and a
// counter.
std::string UniqueSuffix() {
  static std::atomic<uint64_t> counter{0};
  size_t thread_hash = std::hash<std::thread::id>{}(std::this_thread::get_id());
  return std::to_string(::getpid()) + "-" + std::to_string(thread_hash % 100000) + "-" +
         std::to_string(counter.fetch_add(1)) + ".tmp";
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

PendingAttachment AttachmentStore::Prepare(const ByteArray& bytes,
                                           const std::string& shown_path) const {
  const std::string record = EncodeRecord(bytes);
  for (int attempt = 0;; ++attempt) {
    std::string temp_path = directory_ + std::string(kTempMarker) + UniqueSuffix();
    FileSystem::CreateResult created = files_->CreateFile(temp_path, record);
    if (created.error == 0) return PendingAttachment(files_, std::move(temp_path));
    if (created.error == EEXIST && attempt < 100) continue;
    const std::string& shown = shown_path.empty() ? temp_path : shown_path;
    if (created.opened) ThrowIoError(shown, created.error);
    ThrowOpenError(shown, created.error);
  }
}

void AttachmentStore::Place(PendingAttachment& pending, std::string_view message_number) const {
  const std::string path = PathOf(message_number);
  if (int err = files_->Rename(pending.temp_path_, path); err != 0) ThrowOpenError(path, err);
  pending.temp_path_.clear();
}

void AttachmentStore::Write(std::string_view message_number, const ByteArray& bytes) const {
  PendingAttachment pending = Prepare(bytes, PathOf(message_number));
  Place(pending, message_number);
}

std::optional<ByteArray> AttachmentStore::Read(std::string_view message_number) const {
  const std::string path = PathOf(message_number);
  std::string data;
  if (int err = files_->ReadFile(path, &data); err != 0) {
    if (err == ENOENT) return std::nullopt;
    ThrowOpenError(path, err);
  }
  return DecodeRecord(data, path);
}

bool AttachmentStore::Remove(std::string_view message_number) const {
  const std::string path = PathOf(message_number);
  int err = files_->Remove(path);
  if (err == ENOENT) return false;
  if (err != 0) ThrowOpenError(path, err);
  return true;
}

}  // namespace korimba

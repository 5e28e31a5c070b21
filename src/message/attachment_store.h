// AttachmentStore keeps message attachments as files: one file per message,
// named by the store's directory prefix (the object's WorkPath, used exactly
// as given, no separator added) followed by the message number. A file holds
// one self-describing record of a byte array, little-endian:
//   offset 0  2 bytes  type tag 0x2011 (array of bytes)
//   offset 2  2 bytes  number of dimensions, 1
//   offset 4  4 bytes  number of bytes n
//   offset 8  4 bytes  lower bound of the array
//   offset 12 n bytes  the bytes
// A file is first written whole as a temporary file under the same prefix
// (PendingAttachment) and then renamed into place, so readers see the old
// file or the new one whole, never a partial one, and a post can write its
// file before it knows its message number. Every file handle is closed on
// every path. File errors are AutomationErrors naming the path. The file
// operations go through a FileSystem (the real one unless a test injects
// another). A plain value; any thread (distinct messages' files are
// independent, and a rename replaces a file atomically).
#ifndef KORIMBA_MESSAGE_ATTACHMENT_STORE_H_
#define KORIMBA_MESSAGE_ATTACHMENT_STORE_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "frame/variant.h"
#include "message/file_system.h"

namespace korimba {

// An attachment written to its temporary file and not yet in place; the
// temporary file is removed when this goes away unplaced.
class PendingAttachment {
 public:
  PendingAttachment(std::shared_ptr<FileSystem> files, std::string temp_path)
      : files_(std::move(files)), temp_path_(std::move(temp_path)) {}
  PendingAttachment(PendingAttachment&& other) noexcept
      : files_(std::move(other.files_)), temp_path_(std::exchange(other.temp_path_, "")) {}
  PendingAttachment& operator=(PendingAttachment&&) = delete;
  PendingAttachment(const PendingAttachment&) = delete;
  ~PendingAttachment() {
    if (!temp_path_.empty()) files_->Remove(temp_path_);
  }
  const std::string& temp_path() const { return temp_path_; }

 private:
  friend class AttachmentStore;
  std::shared_ptr<FileSystem> files_;
  std::string temp_path_;
};

class AttachmentStore {
 public:
  static constexpr size_t kHeaderSize = 12;
  static constexpr uint16_t kByteArrayTag = 0x2011;
  // Temporary files are named by the prefix followed by this, then a
  // unique part; no message number starts so.
  static constexpr std::string_view kTempMarker = "upload-";

  explicit AttachmentStore(std::string directory,
                           std::shared_ptr<FileSystem> files = SystemFileSystem())
      : directory_(std::move(directory)), files_(std::move(files)) {}

  // The directory prefix followed by the message number.
  std::string PathOf(std::string_view message_number) const;

  // Writes `bytes` as a record into a new temporary file. Errors name
  // `shown_path` when given (the file it is meant to become).
  PendingAttachment Prepare(const ByteArray& bytes, const std::string& shown_path = "") const;
  // Renames the pending file into place as the message's file, replacing an
  // old file whole. On failure the pending file is still pending.
  void Place(PendingAttachment& pending, std::string_view message_number) const;
  // Prepare and Place in one.
  void Write(std::string_view message_number, const ByteArray& bytes) const;
  // The message's byte array; nullopt when the file does not exist or is
  // empty (holds no record). Creates nothing. A file that is not a record
  // fails with a file error.
  std::optional<ByteArray> Read(std::string_view message_number) const;
  // Removes the message's file; true when there was one.
  bool Remove(std::string_view message_number) const;

  // The record format on its own.
  static std::string EncodeRecord(const ByteArray& bytes);
  // nullopt for an empty input; a file error for anything but one whole
  // record at the start (bytes after the record are ignored).
  static std::optional<ByteArray> DecodeRecord(std::string_view data, const std::string& path);

 private:
  std::string directory_;
  std::shared_ptr<FileSystem> files_;
};

}  // namespace korimba

#endif  // KORIMBA_MESSAGE_ATTACHMENT_STORE_H_

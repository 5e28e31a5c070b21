// AttachmentStore keeps message attachments as files: one file per message,
// named by the store's directory prefix (the object's WorkPath, used exactly
// as given, no separator added) followed by the message number. A file holds
// one self-describing record of a byte array, little-endian:
//   offset 0  2 bytes  type tag 0x2011 (array of bytes)
//   offset 2  2 bytes  number of dimensions, 1
//   offset 4  4 bytes  number of bytes n
//   offset 8  4 bytes  lower bound of the array
//   offset 12 n bytes  the bytes
// Writes go to a temporary file in the same directory that is then renamed
// into place, so readers see the old file or the new one whole, never a
// partial one; every file handle is closed on every path. File errors are
// AutomationErrors naming the path. A plain value; any thread (distinct
// messages' files are independent, and a rename replaces a file atomically).
#ifndef KORIMBA_MESSAGE_ATTACHMENT_STORE_H_
#define KORIMBA_MESSAGE_ATTACHMENT_STORE_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "frame/variant.h"

namespace korimba {

class AttachmentStore {
 public:
  static constexpr size_t kHeaderSize = 12;
  static constexpr uint16_t kByteArrayTag = 0x2011;

  explicit AttachmentStore(std::string directory) : directory_(std::move(directory)) {}

  // The directory prefix followed by the message number.
  std::string PathOf(std::string_view message_number) const;

  // Stores `bytes` as the message's file, replacing an old file whole.
  void Write(std::string_view message_number, const ByteArray& bytes) const;
  // The message's byte array; nullopt when the file does not exist or is
  // empty (holds no record). Creates nothing. A file that is not a record
  // fails with a file error.
  std::optional<ByteArray> Read(std::string_view message_number) const;

  // The record format on its own.
  static std::string EncodeRecord(const ByteArray& bytes);
  // nullopt for an empty input; a file error for anything but one whole
  // record at the start (bytes after the record are ignored).
  static std::optional<ByteArray> DecodeRecord(std::string_view data, const std::string& path);

 private:
  std::string directory_;
};

}  // namespace korimba

#endif  // KORIMBA_MESSAGE_ATTACHMENT_STORE_H_

// Message is the class behind ProgID "Korimba.Message" (interface _Message):
// internal messages between staff. It adds the write-only property WorkPath
// (the prefix of attachment file names) to the shared frame state. Its method
// table in message.cc lists every method in call-table order.
// Apartment-threaded: created and called on one thread.
#ifndef KORIMBA_MESSAGE_MESSAGE_H_
#define KORIMBA_MESSAGE_MESSAGE_H_

#include <string>
#include <string_view>

#include "frame/component.h"

namespace korimba {

class Message final : public Component {
 public:
  static constexpr std::string_view kProgId = "Korimba.Message";
  static constexpr std::string_view kClassId = "{6B1E0C52-3A7D-4F08-9C2E-81D4A5F7B301}";
  static constexpr std::string_view kInterfaceId = "{6B1E0C52-3A7D-4F08-9C2E-81D4A5F7B302}";

  Message() = default;

  std::string_view KindName() const override { return "Message"; }
  const InterfaceInfo& Interface() const override;

  void SetWorkPath(std::string path) { work_path_ = std::move(path); }

 private:
  std::string work_path_;
};

}  // namespace korimba

#endif  // KORIMBA_MESSAGE_MESSAGE_H_

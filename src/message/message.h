// Message is the class behind ProgID "Korimba.Message" (interface _Message):
// internal messages between staff. It adds the write-only property WorkPath
// (the prefix of attachment file names) to the shared frame state. Its method
// table in message.cc lists every method in call-table order; the typed
// member functions below are what the table's thunks call, grouped by the
// file that implements them. Every method builds all of its statements before
// it runs the first one, so a refused value stores nothing.
// Apartment-threaded: created and called on one thread.
#ifndef KORIMBA_MESSAGE_MESSAGE_H_
#define KORIMBA_MESSAGE_MESSAGE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "frame/component.h"
#include "frame/variant.h"

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

  // Posting and retention (posting.cc). Each returns true once every
  // statement has run. AddData and dptAddData refuse an Empty or Null
  // recipient or sender before anything runs.
  bool dptAddData(const Variant& person_id, const Variant& content, const Variant& from_person_id,
                  const Variant& title, const Variant& file_name, const Variant& file_attach,
                  const Variant& flg);
  bool AddData(const Variant& person_id, const Variant& content, const Variant& from_person_id,
               const Variant& title);
  bool DelData(const Variant& id);
  bool UpdateData(const Variant& id, const Variant& person_id, const Variant& content,
                  const Variant& from_person_id, const Variant& title);

  // Attachments (attachments.cc): the byte array stored for message
  // `id`, or Empty when it has no attachment name or no file.
  Variant GetFileData(int32_t id);

  // Inbox and read state (inbox.cc). GetAllData and noread read the current
  // person from the session value "personid".
  Variant GetAllData(int32_t a);
  int32_t noread();
  Variant MsgRead(int32_t id);
  Variant noread1(const Variant& id);
  int32_t noread2(const Variant& id);
  Variant repairFlg(int32_t id);

  // People and presence (presence.cc, friends.cc).
  Variant GetOnlineList();
  std::string GetPersonName(const Variant& id);
  Variant GetFriendList();

  // History and group-message tracking (history.cc).
  Variant InceptMsg(int32_t person_id);
  Variant trackMsg(int32_t person_id);
  Variant track(const Variant& xx);

 private:
  // The private attachment writer: stores `file_attach` (a byte array) as
  // the file named `directory` + `message_number`, replacing any old one
  // whole.
  void WriteAttachment(const std::string& message_number, const std::string& directory,
                       const Variant& file_attach);

  std::string work_path_;
};

}  // namespace korimba

#endif  // KORIMBA_MESSAGE_MESSAGE_H_

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
#include <memory>
#include <string>
#include <string_view>

#include "frame/component.h"
#include "frame/variant.h"
#include "message/file_system.h"

namespace korimba {

// The column numbers of the grids Message returns, named once for the methods
// that build them, their tests and the pages. A built grid is indexed (row,
// column); a row set (column, row). Where a method copies its statement's
// fields in order, the numbers follow the statement's SELECT list (for
// "SELECT *", the tables' column order as the schema creates them).

// GetAllData: a built grid, one row per message, newest first, and one last
// row left Empty.
struct ConversationColumn {
  static constexpr int32_t kSenderName = 0;
  static constexpr int32_t kCreated = 1;
  static constexpr int32_t kContent = 2;
  static constexpr int32_t kFlag = 3;  // msgFlag: 0 unread, 1 read
  static constexpr int32_t kSenderId = 4;
  static constexpr int32_t kFileName = 5;
  static constexpr int32_t kMsgId = 6;
  static constexpr int32_t kColumns = 7;
};

// MsgRead and noread1: a built grid whose row 1 holds the message, row 0 left
// Empty; the columns of DATA_Msg, then those of the sender's HR_Person row.
struct MessageColumn {
  static constexpr int32_t kMsgId = 0;
  static constexpr int32_t kRecipientId = 1;  // DATA_Msg.PersonID
  static constexpr int32_t kSenderId = 2;     // MsgFromPersonID
  static constexpr int32_t kTitle = 3;
  static constexpr int32_t kContent = 4;
  static constexpr int32_t kFileName = 5;
  static constexpr int32_t kFlag = 6;
  static constexpr int32_t kCreated = 7;
  static constexpr int32_t kPersonId = 8;  // HR_Person.PersonID, the sender again
  static constexpr int32_t kSenderName = 9;
  static constexpr int32_t kColumns = 10;
};

// InceptMsg: a built grid whose row 0 holds the column names, then one row per
// received message, newest first.
struct ReceivedColumn {
  static constexpr int32_t kSenderName = 0;  // "姓名"
  static constexpr int32_t kContent = 1;     // "内容"
  static constexpr int32_t kSent = 2;        // "发送时间"
  static constexpr int32_t kMsgId = 3;
  static constexpr int32_t kFlag = 4;  // "阅读标志"
  static constexpr int32_t kFileName = 5;
  static constexpr int32_t kColumns = 6;
};

// trackMsg: a row set, one entry per group message content and minute.
struct GroupMessageColumn {
  static constexpr int32_t kContent = 0;
  static constexpr int32_t kMinute = 1;  // "yyyy-mm-dd hh:mi"
  static constexpr int32_t kColumns = 2;
};

// track: a row set, one entry per copy of the minute's group messages.
struct GroupCopyColumn {
  static constexpr int32_t kRecipientName = 0;
  static constexpr int32_t kContent = 1;
  static constexpr int32_t kMinute = 2;
  static constexpr int32_t kMsgId = 3;
  static constexpr int32_t kFlag = 4;
  static constexpr int32_t kColumns = 5;
};

// GetFriendList: a built grid, one row per person written to, most first.
struct FriendColumn {
  static constexpr int32_t kPersonId = 0;
  static constexpr int32_t kName = 1;
  static constexpr int32_t kMessages = 2;  // messages sent to the person
  static constexpr int32_t kColumns = 3;
};

// GetOnlineList: a built grid, one row per live entry of the on-line list and
// one last row left Empty; the list's own slot columns.
struct OnlineColumn {
  static constexpr int32_t kPersonId = 0;
  static constexpr int32_t kName = 1;
  static constexpr int32_t kRenewed = 2;  // seconds since midnight, single precision
  static constexpr int32_t kEntryDate = 3;
  static constexpr int32_t kEntryPage = 4;
  // Columns 5 to 8 are carried through untouched.
  static constexpr int32_t kColumns = 9;
};

class Message final : public Component {
 public:
  static constexpr std::string_view kProgId = "Korimba.Message";
  static constexpr std::string_view kClassId = "{6B1E0C52-3A7D-4F08-9C2E-81D4A5F7B301}";
  static constexpr std::string_view kInterfaceId = "{6B1E0C52-3A7D-4F08-9C2E-81D4A5F7B302}";

  Message() = default;

  std::string_view KindName() const override { return "Message"; }
  const InterfaceInfo& Interface() const override;

  void SetWorkPath(std::string path) { work_path_ = std::move(path); }
  // The file operations behind the attachment files (tests inject failures).
  void SetFileSystem(std::shared_ptr<FileSystem> files) { files_ = std::move(files); }

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
  std::string work_path_;
  std::shared_ptr<FileSystem> files_ = SystemFileSystem();
};

}  // namespace korimba

#endif  // KORIMBA_MESSAGE_MESSAGE_H_

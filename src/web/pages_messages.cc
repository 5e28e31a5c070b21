// Messages: the conversation with one person (write, change, delete), a group
// message to several persons, opening one message and downloading its
// attachment. Every message id that comes in a request is first read with
// MsgRead, which changes nothing, and acted on only when the signed-in person
// sent or received that message.
#include <algorithm>
#include <iostream>

#include "frame/value_ops.h"
#include "message/attachment_store.h"
#include "message/message.h"
#include "web/form_checks.h"
#include "web/group_message.h"
#include "web/html.h"
#include "web/site.h"
#include "web/values.h"

namespace korimba::web {
namespace {

constexpr int32_t kMaxPersonId = 32767;
// Persons one group message may go to: each copy costs a row and, with an
// attachment, a file of up to 10 MiB.
constexpr size_t kMaxGroupRecipients = 200;

struct MessageRecord {
  int32_t id = 0;
  int32_t recipient = 0;
  int32_t sender = 0;
  Variant title, content, file_name, flag, created, sender_name;
};

// Reads row 1 of a MsgRead / noread1 grid; nullopt when the message is not
// there.
std::optional<MessageRecord> RecordFrom(const Variant& grid_value) {
  GridView grid(grid_value);
  if (grid.first_count() < 2) return std::nullopt;
  auto cell = [&](int32_t column) { return grid.CellOrEmpty(1, column); };
  if (!cell(MessageColumn::kMsgId).is_number()) return std::nullopt;
  auto number = [&](int32_t column) { return cell(column).is_number() ? ToI4(cell(column)) : 0; };
  MessageRecord record;
  record.id = ToI4(cell(MessageColumn::kMsgId));
  record.recipient = number(MessageColumn::kRecipientId);
  record.sender = number(MessageColumn::kSenderId);
  record.title = cell(MessageColumn::kTitle);
  record.content = cell(MessageColumn::kContent);
  record.file_name = cell(MessageColumn::kFileName);
  record.flag = cell(MessageColumn::kFlag);
  record.created = cell(MessageColumn::kCreated);
  record.sender_name = cell(MessageColumn::kSenderName);
  return record;
}

// The message of the request's "id", when the signed-in person sent or
// received it; NotFound otherwise (also for messages of others).
MessageRecord VisibleMessage(PageRequest& page) {
  int32_t id = page.IdParam("id", "message number");
  auto record = RecordFrom(page.run().Message("MsgRead", {Variant::I4(id)}));
  if (!record || (record->sender != page.person_id() && record->recipient != page.person_id())) {
    throw NotFound("error.no_message", {std::to_string(id)});
  }
  return *record;
}

MessageRecord OwnMessage(PageRequest& page) {
  MessageRecord record = VisibleMessage(page);
  if (record.sender != page.person_id()) {
    throw NotFound("error.only_sender", {std::to_string(record.id)});
  }
  return record;
}

struct KnownId {
  int32_t id;
  std::string name;
};

// A person id from the request that names an existing person, with the
// person's name.
KnownId KnownPerson(PageRequest& page, const std::string& field) {
  int32_t id = page.IdParam(field, "person number");
  if (id > kMaxPersonId) throw BadInput("error.no_person", {std::to_string(id)});
  std::string name = TextForm(page.run().Message("GetPersonName", {Variant::I4(id)}));
  if (name.empty()) throw NotFound("error.no_person", {std::to_string(id)});
  return {id, std::move(name)};
}

// Posts one message, with the uploaded file when there is one.
void Post(PageRequest& page, int32_t to, const std::string& title, const std::string& content) {
  CheckLength(page, title, kTitleChars, "title");
  Variant recipient = Variant::I4(to);
  if (page.req.has_file("file") && !page.req.get_file_value("file").filename.empty()) {
    const httplib::MultipartFormData file = page.req.get_file_value("file");
    CheckLength(page, file.filename, kFileNameChars, "file's name");
    if (file.content.size() > kMaxUploadBytes) {
      throw BadInput("error.file_too_large", {file.filename});
    }
    ByteArray bytes{std::vector<uint8_t>(file.content.begin(), file.content.end()), 0};
    page.run().Message("dptAddData",
                       {recipient, Variant::Text(content), page.person(), Variant::Text(title),
                        Variant::Text(file.filename), Variant::Bytes(std::move(bytes)), Variant()});
  } else {
    page.run().Message("AddData",
                       {recipient, Variant::Text(content), page.person(), Variant::Text(title)});
  }
}

std::string RequiredText(PageRequest& page, const std::string& field, std::string_view what) {
  std::string text = page.Param(field);
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    throw BadInput("error.please_write", {page.FieldName(what)});
  }
  return text;
}

void ConversationPage(PageRequest& page) {
  const auto [with, name] = KnownPerson(page, "with");
  PageRun& run = page.run();
  GridView grid(run.Message("GetAllData", {Variant::I4(with)}));
  // Each row's fields are moved into place: copies of mstch maps (and of
  // the list holding them) would be most of the page's cost.
  const std::string me = std::to_string(page.person_id());
  mstch::array messages;
  if (grid.second_count() >= ConversationColumn::kColumns) messages.reserve(grid.first_count());
  for (int32_t row = 0;
       row < grid.first_count() && grid.second_count() >= ConversationColumn::kColumns; ++row) {
    auto cell = [&](int32_t column) -> const Variant& { return grid.at(row, column); };
    if (cell(ConversationColumn::kMsgId).is_empty()) continue;
    const Variant& file = cell(ConversationColumn::kFileName);
    mstch::map item;
    item.emplace("id", DisplayText(cell(ConversationColumn::kMsgId)));
    item.emplace("sender", DisplayText(cell(ConversationColumn::kSenderName)));
    item.emplace("created", DisplayText(cell(ConversationColumn::kCreated)));
    item.emplace("content", DisplayText(cell(ConversationColumn::kContent)));
    item.emplace("unread", DisplayText(cell(ConversationColumn::kFlag)) == "0");
    item.emplace("mine", DisplayText(cell(ConversationColumn::kSenderId)) == me);
    item.emplace("has_file", !file.is_null() && !file.is_empty());
    item.emplace("file_name", DisplayText(file));
    messages.emplace_back(std::move(item));
  }
  mstch::map context;
  context.emplace("with_id", std::to_string(with));
  context.emplace("with_name", name);
  context.emplace("none", messages.empty());
  context.emplace("messages", std::move(messages));
  page.Page(page.catalog().Format("title.conversation", {name}), "conversation",
            std::move(context));
}

void Send(PageRequest& page) {
  const int32_t to = KnownPerson(page, "to").id;
  try {
    Post(page, to, page.Param("title"), RequiredText(page, "content", "message"));
  } catch (const AutomationError& e) {
    // A post whose file fails stores nothing (the row is never inserted, or
    // deleted again); other failures may come after the row was stored.
    if (e.number() != kErrPathAccess && e.number() != kErrFileIo) throw;
    throw NotDone("error.not_sent", {VisitorDescription(e)});
  }
  page.Redirect(WithNotice("/messages?with=" + std::to_string(to), "sent"));
}

void GroupPage(PageRequest& page) {
  mstch::map context;
  context.emplace("persons", PersonOptions(page, page.person_id()));
  page.Page(page.Text("title.group"), "compose_group", std::move(context));
}

void SendGroup(PageRequest& page) {
  std::vector<int32_t> recipients;
  for (size_t i = 0; i < page.req.get_param_value_count("to"); ++i) {
    auto id = ParsePositiveInt(page.req.get_param_value("to", i));
    if (!id) throw BadInput("error.bad_recipient", {});
    recipients.push_back(*id);
  }
  auto files = page.req.files.equal_range("to");
  for (auto it = files.first; it != files.second; ++it) {
    auto id = ParsePositiveInt(it->second.content);
    if (!id) throw BadInput("error.bad_recipient", {});
    recipients.push_back(*id);
  }
  // Each person gets one copy, however often the form names them.
  std::vector<int32_t> unique;
  for (int32_t id : recipients) {
    if (std::find(unique.begin(), unique.end(), id) == unique.end()) unique.push_back(id);
  }
  if (unique.empty()) throw BadInput("error.no_recipient", {});
  if (unique.size() > kMaxGroupRecipients) {
    throw BadInput("error.too_many_recipients",
                   {std::to_string(kMaxGroupRecipients), std::to_string(unique.size())});
  }
  std::string content = std::string(kGroupMarker) + RequiredText(page, "content", "message");
  std::string title = page.Param("title");
  std::vector<std::string> names;
  for (int32_t to : unique) {
    std::string name =
        to > kMaxPersonId ? "" : TextForm(page.run().Message("GetPersonName", {Variant::I4(to)}));
    if (name.empty()) {
      throw BadInput("error.no_person", {std::to_string(to)});
    }
    names.push_back(std::move(name));
  }
  for (size_t i = 0; i < unique.size(); ++i) {
    try {
      Post(page, unique[i], title, content);
    } catch (const AutomationError& e) {
      // Each copy is posted whole or not at all; say which ones went.
      std::string sent;
      for (size_t j = 0; j < i; ++j) sent += (j > 0 ? ", " : "") + names[j];
      if (i == 0) throw NotDone("error.group_sent_none", {names[i], VisitorDescription(e)});
      throw NotDone("error.group_sent_some", {sent, names[i], VisitorDescription(e)});
    }
  }
  page.Redirect(WithNotice("/tracking", "sent"));
}

void OpenPage(PageRequest& page) {
  MessageRecord record = VisibleMessage(page);
  // The recipient opening a message marks it read (noread1); the sender
  // looking at what was sent leaves the read state alone.
  if (record.recipient == page.person_id()) {
    if (auto opened = RecordFrom(page.run().Message("noread1", {Variant::I4(record.id)}))) {
      record = *opened;
    }
  }
  int32_t other = record.sender == page.person_id() ? record.recipient : record.sender;
  bool has_file = !record.file_name.is_null() && !record.file_name.is_empty();
  page.Page(page.Text("title.message"), "message",
            mstch::map{
                {"id", std::to_string(record.id)},
                {"title", DisplayText(record.title)},
                {"content", DisplayText(record.content)},
                {"sender", DisplayText(record.sender_name)},
                {"recipient",
                 TextForm(page.run().Message("GetPersonName", {Variant::I4(record.recipient)}))},
                {"created", DisplayText(record.created)},
                {"was_unread", DisplayText(record.flag) == "0"},
                {"mine", record.sender == page.person_id()},
                {"other_id", std::to_string(other)},
                {"has_file", has_file},
                {"file_name", DisplayText(record.file_name)},
            });
}

void EditPage(PageRequest& page) {
  MessageRecord record = OwnMessage(page);
  // A copy of a group message keeps its marker outside the edit box.
  const std::string content = DisplayText(record.content);
  page.Page(page.Text("title.message_edit"), "message_edit",
            mstch::map{{"id", std::to_string(record.id)},
                       {"title", DisplayText(record.title)},
                       {"group_marker", content.starts_with(kGroupMarker)},
                       {"marker", std::string(kGroupMarker)},
                       {"content", std::string(WithoutGroupMarker(content))}});
}

void Update(PageRequest& page) {
  MessageRecord record = OwnMessage(page);
  std::string content = RequiredText(page, "content", "message");
  if (TextForm(record.content).starts_with(kGroupMarker)) content = WithGroupMarker(content);
  CheckLength(page, page.Param("title"), kTitleChars, "title");
  page.run().Message("UpdateData",
                     {Variant::I4(record.id), Variant::I4(record.recipient), Variant::Text(content),
                      page.person(), Variant::Text(page.Param("title"))});
  page.Redirect(WithNotice("/messages/open?id=" + std::to_string(record.id), "saved"));
}

void Delete(PageRequest& page) {
  MessageRecord record = OwnMessage(page);
  Variant id = Variant::I4(record.id);
  page.run().Message("DelData", {id});
  // The component leaves the file in place; the page removes it with its
  // message. A file that will not go is left to `korimba attachments sweep`.
  try {
    AttachmentStore(page.site.work_path()).Remove(std::to_string(record.id));
  } catch (const AutomationError& e) {
    std::cerr << "korimba serve: " << e.description() << std::endl;
  }
  page.Redirect(WithNotice("/messages?with=" + std::to_string(record.recipient), "deleted"));
}

void Download(PageRequest& page) {
  MessageRecord record = VisibleMessage(page);
  if (record.file_name.is_null() || record.file_name.is_empty()) {
    throw NotFound("error.no_attachment", {std::to_string(record.id)});
  }
  Variant data = page.run().Message("GetFileData", {Variant::I4(record.id)});
  const ByteArray* bytes = data.bytes();
  if (bytes == nullptr) {
    throw NotFound("error.attachment_gone", {std::to_string(record.id)});
  }
  std::string name = TextForm(record.file_name);
  page.res.set_header("Content-Disposition", "attachment; filename=\"" + AsciiFileName(name) +
                                                 "\"; filename*=UTF-8''" + PercentEncode(name));
  page.res.set_header("X-Content-Type-Options", "nosniff");
  page.res.set_content(std::string(bytes->bytes.begin(), bytes->bytes.end()),
                       "application/octet-stream");
}

}  // namespace

void RegisterMessagePages(httplib::Server& server, Site& site) {
  Route(server, site, "GET", "/messages", Access::kSignedIn, ConversationPage);
  Route(server, site, "POST", "/messages/send", Access::kSignedIn, Send);
  Route(server, site, "GET", "/messages/group", Access::kSignedIn, GroupPage);
  Route(server, site, "POST", "/messages/group", Access::kSignedIn, SendGroup);
  Route(server, site, "GET", "/messages/open", Access::kSignedIn, OpenPage);
  Route(server, site, "GET", "/messages/edit", Access::kSignedIn, EditPage);
  Route(server, site, "POST", "/messages/update", Access::kSignedIn, Update);
  Route(server, site, "POST", "/messages/delete", Access::kSignedIn, Delete);
  Route(server, site, "GET", "/messages/attachment", Access::kSignedIn, Download);
}

}  // namespace korimba::web

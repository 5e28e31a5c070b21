// A group message as a whole, reached from the tracking page: its copies
// (found as tracking finds them, by minute and content) opened together,
// changed together and deleted together. The marker stays outside the edit
// box and is put back on save, so that a change never turns the copies into
// ordinary messages or drops them from tracking; the read flags and creation
// times stay, so tracking still counts who has read it.
#include <iostream>
#include <regex>

#include "frame/value_ops.h"
#include "message/attachment_store.h"
#include "web/form_checks.h"
#include "web/group_message.h"
#include "web/html.h"
#include "web/site.h"
#include "web/values.h"

namespace korimba::web {
namespace {

struct Group {
  std::string minute;
  std::string key;
  std::vector<GroupCopy> copies;
};

// The group message the request's "m" (minute) and "k" (GroupKey) name,
// among the signed-in person's own; NotFound when none is left.
Group RequestedGroup(PageRequest& page) {
  Group group{page.Param("m"), page.Param("k"), {}};
  static const std::regex kMinute(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2})");
  if (!std::regex_match(group.minute, kMinute)) {
    throw BadInput("error.not_a_minute", {group.minute});
  }
  group.copies = FindGroupCopies(page.run(), page.person_id(), group.minute, group.key);
  if (group.copies.empty()) throw NotFound("error.no_group", {group.minute});
  return group;
}

std::string TrackAddress(const Group& group) {
  return "/tracking/minute?m=" + PercentEncode(group.minute);
}

void EditPage(PageRequest& page) {
  Group group = RequestedGroup(page);
  mstch::array recipients;
  recipients.reserve(group.copies.size());
  int read = 0;
  for (const GroupCopy& copy : group.copies) {
    if (copy.read) ++read;
    mstch::map recipient;
    recipient.emplace("name", copy.recipient_name);
    recipient.emplace("read", copy.read);
    recipients.emplace_back(std::move(recipient));
  }
  const GroupCopy& first = group.copies.front();
  const std::string count = std::to_string(group.copies.size());
  mstch::map context;
  context.emplace("minute", group.minute);
  context.emplace("minute_param", PercentEncode(group.minute));
  context.emplace("key", group.key);
  context.emplace("marker", std::string(kGroupMarker));
  context.emplace("title", DisplayText(first.title));
  context.emplace("content", std::string(WithoutGroupMarker(first.content)));
  context.emplace("recipients", std::move(recipients));
  context.emplace("read_count", std::to_string(read));
  context.emplace("total", count);
  context.emplace("confirm", page.catalog().Format("confirm.delete_group", {count}));
  page.Page(page.Text("title.group_edit"), "group_edit", std::move(context));
}

void Update(PageRequest& page) {
  Group group = RequestedGroup(page);
  const std::string text = page.Param("content");
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    throw BadInput("error.please_write", {page.FieldName("message")});
  }
  const std::string title = page.Param("title");
  CheckLength(page, title, kTitleChars, "title");
  const Variant content = Variant::Text(WithGroupMarker(text));
  for (size_t i = 0; i < group.copies.size(); ++i) {
    const GroupCopy& copy = group.copies[i];
    try {
      page.run().Message("UpdateData", {Variant::I4(copy.id), Variant::I4(copy.recipient), content,
                                        page.person(), Variant::Text(title)});
    } catch (const AutomationError& e) {
      // Each copy changes whole or not at all; say how far the change got.
      throw NotDone(
          "error.group_partly_changed",
          {std::to_string(i), std::to_string(group.copies.size()), VisitorDescription(e)});
    }
  }
  page.Redirect(WithNotice(TrackAddress(group), "saved"));
}

void Delete(PageRequest& page) {
  Group group = RequestedGroup(page);
  AttachmentStore files(page.site.work_path());
  for (size_t i = 0; i < group.copies.size(); ++i) {
    const GroupCopy& copy = group.copies[i];
    try {
      page.run().Message("DelData", {Variant::I4(copy.id)});
    } catch (const AutomationError& e) {
      throw NotDone(
          "error.group_partly_deleted",
          {std::to_string(i), std::to_string(group.copies.size()), VisitorDescription(e)});
    }
    // The component leaves a copy's file in place; a file that will not go
    // is left to `korimba attachments sweep`.
    if (copy.file_name.is_null() || copy.file_name.is_empty()) continue;
    try {
      files.Remove(std::to_string(copy.id));
    } catch (const AutomationError& e) {
      std::cerr << "korimba serve: " << e.description() << std::endl;
    }
  }
  page.Redirect(WithNotice("/tracking", "deleted"));
}

}  // namespace

void RegisterGroupPages(httplib::Server& server, Site& site) {
  Route(server, site, "GET", "/messages/group/edit", Access::kSignedIn, EditPage);
  Route(server, site, "POST", "/messages/group/update", Access::kSignedIn, Update);
  Route(server, site, "POST", "/messages/group/delete", Access::kSignedIn, Delete);
}

}  // namespace korimba::web

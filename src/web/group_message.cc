#include "web/group_message.h"

#include <sodium.h>

#include <stdexcept>

#include "frame/value_ops.h"
#include "web/page_queries.h"
#include "web/values.h"

namespace korimba::web {

std::string_view WithoutGroupMarker(std::string_view content) {
  if (content.starts_with(kGroupMarker)) content.remove_prefix(kGroupMarker.size());
  return content;
}

std::string WithGroupMarker(std::string_view text) {
  return std::string(kGroupMarker) + std::string(WithoutGroupMarker(text));
}

std::string GroupKey(std::string_view content) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium could not start");
  unsigned char digest[16];
  crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(content.data()),
                     content.size(), nullptr, 0);
  char hex[sizeof digest * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}

std::vector<GroupCopy> FindGroupCopies(PageRun& run, int32_t sender, const std::string& minute,
                                       std::string_view key) {
  // The sender's copies of the minute come whole from one statement; of
  // those, the ones of this content.
  const ResultTable found = ReadSentGroupCopies(run.connection(), sender, minute);
  std::vector<GroupCopy> copies;
  for (size_t r = 0; r < found.row_count(); ++r) {
    auto cell = [&](size_t col) -> const Variant& { return found.at(r, col); };
    const Variant& id = cell(GroupCopyRowColumn::kMsgId);
    const Variant& to = cell(GroupCopyRowColumn::kRecipientId);
    if (!id.is_number() || !to.is_number()) continue;
    std::string content = TextForm(cell(GroupCopyRowColumn::kContent));
    if (GroupKey(content) != key) continue;
    GroupCopy copy;
    copy.id = ToI4(id);
    copy.recipient = ToI4(to);
    copy.recipient_name = DisplayText(cell(GroupCopyRowColumn::kRecipientName));
    copy.title = cell(GroupCopyRowColumn::kTitle);
    copy.content = std::move(content);
    copy.file_name = cell(GroupCopyRowColumn::kFileName);
    copy.read = DisplayText(cell(GroupCopyRowColumn::kFlag)) == "1";
    copies.push_back(std::move(copy));
  }
  return copies;
}

}  // namespace korimba::web

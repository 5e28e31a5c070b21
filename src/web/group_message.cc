#include "web/group_message.h"

#include <sodium.h>

#include <stdexcept>

#include "frame/value_ops.h"
#include "message/message.h"
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
  std::vector<GroupCopy> copies;
  GridView grid(run.Message("track", {Variant::Text(minute)}));
  if (grid.IsNoRows() || grid.first_count() < GroupCopyColumn::kColumns) return copies;
  for (int32_t r = 0; r < grid.second_count(); ++r) {
    std::string content = TextForm(grid.at(GroupCopyColumn::kContent, r));
    const Variant& id = grid.at(GroupCopyColumn::kMsgId, r);
    if (!id.is_number() || GroupKey(content) != key) continue;
    // track lists every sender's copies of the minute: MsgRead names the
    // sender, the recipient and what track leaves out.
    GridView one(run.Message("MsgRead", {id}));
    if (one.first_count() < 2) continue;
    const Variant from = one.CellOrEmpty(1, MessageColumn::kSenderId);
    const Variant to = one.CellOrEmpty(1, MessageColumn::kRecipientId);
    if (!from.is_number() || ToI4(from) != sender || !to.is_number()) continue;
    GroupCopy copy;
    copy.id = ToI4(id);
    copy.recipient = ToI4(to);
    copy.recipient_name = DisplayText(grid.at(GroupCopyColumn::kRecipientName, r));
    copy.title = one.CellOrEmpty(1, MessageColumn::kTitle);
    copy.content = std::move(content);
    copy.file_name = one.CellOrEmpty(1, MessageColumn::kFileName);
    copy.read = DisplayText(grid.at(GroupCopyColumn::kFlag, r)) == "1";
    copies.push_back(std::move(copy));
  }
  return copies;
}

}  // namespace korimba::web

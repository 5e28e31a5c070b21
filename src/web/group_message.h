// A group message is one text sent to several persons: a DATA_Msg row per
// recipient, each with the same content beginning with the marker 【群发消息】,
// created within the same minute. The pages treat its copies as one message,
// found again as tracking finds them: `track` lists every group row of a
// minute, and the copies are those of the same content that the signed-in
// person sent. A link names the content by GroupKey, a short digest, so that a
// long text never has to travel in an address. Free functions; the copies are
// read on the request's thread through its PageRun.
#ifndef KORIMBA_WEB_GROUP_MESSAGE_H_
#define KORIMBA_WEB_GROUP_MESSAGE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/variant.h"
#include "web/page_runner.h"

namespace korimba::web {

// Starts the content of every copy: the tracking pages find group messages
// by it.
inline constexpr std::string_view kGroupMarker = "【群发消息】";

// The text a person wrote: the content without its leading marker (the
// content unchanged when it has none).
std::string_view WithoutGroupMarker(std::string_view content);
// The content stored for `text`: the marker, then the text without a marker
// of its own, so that saving twice never doubles it.
std::string WithGroupMarker(std::string_view text);

// 32 hex digits naming one content (keyed BLAKE2b without a key: a digest).
std::string GroupKey(std::string_view content);

struct GroupCopy {
  int32_t id = 0;
  int32_t recipient = 0;
  std::string recipient_name;
  Variant title;
  std::string content;
  Variant file_name;
  bool read = false;
};

// The copies of the group message that `sender` sent in `minute`
// ("yyyy-mm-dd hh:mi") whose content GroupKey names `key`, newest first; empty
// when there is none.
std::vector<GroupCopy> FindGroupCopies(PageRun& run, int32_t sender, const std::string& minute,
                                       std::string_view key);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_GROUP_MESSAGE_H_

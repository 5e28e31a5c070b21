// The demo office that `korimba init-db --demo` adds to an empty database: a
// dozen persons, conversations, group messages (content containing
// "群发消息", one row per recipient in the same minute), broadcasts (content
// beginning "(广播"), read and unread messages, and plans over the month of
// `now` and the next one (some over several days, one across the month end).
// Messages and plans go in through the component itself (Message.AddData and
// Plan.AddData by name); persons and read marks by plain statements. While
// posting, the component clock is set to each message's time and put back
// afterwards, so the caller must not run other component work concurrently.
#ifndef KORIMBA_DEMO_DEMO_DATA_H_
#define KORIMBA_DEMO_DEMO_DATA_H_

#include <memory>
#include <string_view>
#include <vector>

#include "frame/connection.h"
#include "frame/date.h"

namespace korimba::cli {

struct DemoSummary {
  int persons = 0;
  int messages = 0;  // rows, one per recipient
  int group_messages = 0;
  int broadcasts = 0;
  int unread = 0;
  int plans = 0;
};

// The sign-in login of each demo person, and the one password init-db gives
// them all: the demo office is for trying the pages, never for real data.
struct DemoAccount {
  int32_t person_id;
  std::string_view login;
};
std::vector<DemoAccount> DemoAccounts();
inline constexpr std::string_view kDemoPassword = "demo-office";

// Adds the demo office; messages fall in the days before `now`.
DemoSummary AddDemoData(const std::shared_ptr<Connection>& conn, Date now);

}  // namespace korimba::cli

#endif  // KORIMBA_DEMO_DEMO_DATA_H_

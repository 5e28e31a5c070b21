// Seeded, reproducible data for the Message benchmarks: the conversation
// database of db_data.h (every conversation at the retention limit of 25)
// with group messages and broadcasts laid over it, so that every Message
// method has rows to find. Group message g rewrites 10 consecutive messages
// of one minute into copies of "通知<g> 群发消息" from one sender; every 50th
// message becomes a broadcast ("(广播)" prefix). The row count stays that of
// the base file. Cached beside the base file and reused by later runs.
// One thread at a time per file.
#ifndef KORIMBA_BENCH_SUPPORT_MESSAGE_DATA_H_
#define KORIMBA_BENCH_SUPPORT_MESSAGE_DATA_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korimba::bench {

struct MessageDataParams {
  int32_t messages = 1000000;  // a multiple of 25
  int32_t persons = 2000;
  uint32_t seed = 20240301;
};

struct GroupMessage {
  int32_t sender = 0;
  std::string minute;  // "yyyy-mm-dd hh:mi", as trackMsg returns it
};

struct MessageData {
  std::string path;
  int32_t messages = 0;
  // The conversation pairs (see db_data.h), in seeded order.
  std::vector<std::pair<int32_t, int32_t>> pairs;
  std::vector<GroupMessage> groups;
};

// The database for `params` under `directory`, generated when missing.
MessageData MessageBenchData(const MessageDataParams& params, const std::string& directory);

}  // namespace korimba::bench

#endif  // KORIMBA_BENCH_SUPPORT_MESSAGE_DATA_H_

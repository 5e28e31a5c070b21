// Seeded, reproducible message data for the database benchmarks: an embedded
// database file whose DATA_Msg holds `conversations` conversations of
// kMessagesPerConversation messages each (1,000,000 rows by default) among
// `persons` persons, every person with a row in HR_Person. Every
// conversation is already at the retention limit, as a live table would be,
// so a post plus its retention delete keeps the table size. The file is made
// once per params and reused by later runs. One thread at a time per file.
#ifndef KORIMBA_BENCH_SUPPORT_DB_DATA_H_
#define KORIMBA_BENCH_SUPPORT_DB_DATA_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korimba::bench {

inline constexpr int32_t kMessagesPerConversation = 25;

struct DbDataParams {
  int32_t persons = 2000;
  int32_t conversations = 40000;  // x 25 = 1,000,000 messages
  uint32_t seed = 20240301;
};

struct DbData {
  std::string path;
  // The two persons of each conversation (smaller id first), in a seeded
  // order; benchmarks walk this list so every run touches the same rows.
  std::vector<std::pair<int32_t, int32_t>> pairs;
  int32_t messages = 0;
};

// The database for `params` under `directory` (created when missing),
// generated first when the file does not exist yet.
DbData DbBenchData(const DbDataParams& params, const std::string& directory);

}  // namespace korimba::bench

#endif  // KORIMBA_BENCH_SUPPORT_DB_DATA_H_

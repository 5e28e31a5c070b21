#include "bench/support/db_data.h"

#include <sqlite3.h>

#include <filesystem>
#include <random>
#include <string_view>
#include <unordered_set>

#include "bench/support/bench_dir.h"
#include "bench/support/raw_sqlite.h"
#include "db/open.h"
#include "db/translator.h"
#include "frame/date.h"

namespace korimba::bench {
namespace {

namespace fs = std::filesystem;

// The conversation pairs of a params: distinct, seeded, smaller id first.
std::vector<std::pair<int32_t, int32_t>> MakePairs(const DbDataParams& params, std::mt19937& rng) {
  std::uniform_int_distribution<int32_t> person(1, params.persons);
  std::unordered_set<int64_t> seen;
  std::vector<std::pair<int32_t, int32_t>> pairs;
  pairs.reserve(params.conversations);
  while (static_cast<int32_t>(pairs.size()) < params.conversations) {
    int32_t a = person(rng), b = person(rng);
    if (a == b) continue;
    if (a > b) std::swap(a, b);
    if (seen.insert(int64_t{a} << 32 | b).second) pairs.emplace_back(a, b);
  }
  return pairs;
}

void Generate(const DbDataParams& params, const std::vector<std::pair<int32_t, int32_t>>& pairs,
              std::mt19937& rng, const std::string& path) {
  // The provider creates the schema, so the file has exactly its tables,
  // column order and indexes; the rows then go in through one transaction.
  OpenConnection("sqlite:" + path);
  const RawDatabase raw(path, kPlainOpen);
  sqlite3* db = raw.handle();
  auto exec = [&raw](const char* sql) { raw.Exec(sql); };
  exec("PRAGMA synchronous=OFF");
  exec("PRAGMA cache_size=-262144");
  exec("BEGIN");

  sqlite3_stmt* person = nullptr;
  CheckSqlite(sqlite3_prepare_v2(db, "INSERT INTO HR_Person(PersonID, PersonName) VALUES (?1, ?2)",
                                 -1, &person, nullptr),
              db, "prepare person");
  for (int32_t id = 1; id <= params.persons; ++id) {
    const std::string name = "员工" + std::to_string(id);
    sqlite3_bind_int(person, 1, id);
    sqlite3_bind_text(person, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    CheckSqlite(sqlite3_step(person), db, "insert person");
    sqlite3_reset(person);
  }
  sqlite3_finalize(person);

  sqlite3_stmt* msg = nullptr;
  CheckSqlite(
      sqlite3_prepare_v2(db,
                         "INSERT INTO DATA_Msg(PersonID, MsgFromPersonID, MsgTitle, MsgContent, "
                         "MsgFileName, msgFlag, msgCreatetime) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                         -1, &msg, nullptr),
      db, "prepare message");
  // Messages go round the conversations 25 times, one every 2 seconds from
  // 1 January 2024, so ids and creation times rise together.
  const double start = MakeDate({.year = 2024, .month = 1, .day = 1})->serial;
  std::uniform_int_distribution<int> coin(0, 1), length(4, 40), file(1, 20);
  int64_t k = 0;
  for (int32_t round = 0; round < kMessagesPerConversation; ++round) {
    for (const auto& [a, b] : pairs) {
      const bool a_sends = coin(rng) == 1;
      std::string content;
      for (int n = length(rng); n > 0; --n) content += (n % 5 == 0) ? "，" : "消息内容";
      const std::string title = "标题" + std::to_string(k);
      const std::string when = sql::CanonicalDateText(Date{start + 2.0 * k / 86400.0});
      sqlite3_bind_int(msg, 1, a_sends ? b : a);
      sqlite3_bind_int(msg, 2, a_sends ? a : b);
      sqlite3_bind_text(msg, 3, title.data(), static_cast<int>(title.size()), SQLITE_TRANSIENT);
      sqlite3_bind_text(msg, 4, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
      if (file(rng) == 1) {
        const std::string name = "附件" + std::to_string(k) + ".doc";
        sqlite3_bind_text(msg, 5, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_null(msg, 5);
      }
      sqlite3_bind_int(msg, 6, round < kMessagesPerConversation - 3 ? 1 : 0);
      sqlite3_bind_text(msg, 7, when.data(), static_cast<int>(when.size()), SQLITE_TRANSIENT);
      CheckSqlite(sqlite3_step(msg), db, "insert message");
      sqlite3_reset(msg);
      ++k;
    }
  }
  sqlite3_finalize(msg);
  exec("COMMIT");
  exec("ANALYZE");
}

}  // namespace

DbData DbBenchData(const DbDataParams& params, const std::string& directory) {
  fs::create_directories(directory);
  DbData data;
  data.path = directory + "/messages-" + std::to_string(params.conversations) + "x" +
              std::to_string(kMessagesPerConversation) + "-" + std::to_string(params.persons) +
              "-" + std::to_string(params.seed) + BenchDataTag() + ".db";
  data.messages = params.conversations * kMessagesPerConversation;
  std::mt19937 rng(params.seed);
  data.pairs = MakePairs(params, rng);
  if (!fs::exists(data.path)) {
    // Made under a temporary name so that an interrupted run leaves no
    // half-made file behind to be reused.
    const std::string partial = data.path + ".partial";
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(partial + suffix);
    Generate(params, data.pairs, rng, partial);
    fs::rename(partial, data.path);
  }
  return data;
}

}  // namespace korimba::bench

#include "bench/support/message_data.h"

#include <sqlite3.h>

#include <filesystem>
#include <random>
#include <set>
#include <stdexcept>

#include "bench/support/db_data.h"
#include "bench/support/raw_sqlite.h"
#include "db/open.h"
#include "db/translator.h"
#include "frame/connection.h"
#include "frame/date.h"

namespace korimba::bench {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kCopiesPerGroup = 10;
constexpr int32_t kMessagesPerMinute = 30;  // the base file posts one every 2 s
constexpr int32_t kBroadcastEvery = 50;

struct GroupPlacement {
  int64_t first_message;  // 0-based index k of the first copy: MsgID k+1
  GroupMessage group;
};

// Group g takes the 10 messages from a seeded minute boundary on; the base
// file's message k was created 2k seconds after 1 January 2024.
std::vector<GroupPlacement> PlaceGroups(const MessageDataParams& params) {
  const int32_t count = std::max(4, params.messages / 2000);
  const int64_t minutes = params.messages / kMessagesPerMinute;
  std::mt19937 rng(params.seed ^ 0x9e3779b9u);
  std::uniform_int_distribution<int64_t> minute(0, minutes - 1);
  std::uniform_int_distribution<int32_t> person(1, params.persons);
  const double start = MakeDate({.year = 2024, .month = 1, .day = 1})->serial;
  std::set<int64_t> taken;
  std::vector<GroupPlacement> out;
  while (static_cast<int32_t>(out.size()) < count) {
    const int64_t m = minute(rng);
    if (!taken.insert(m).second) continue;
    GroupPlacement p;
    p.first_message = m * kMessagesPerMinute;
    p.group.sender = person(rng);
    p.group.minute = sql::CanonicalDateText(Date{start + m / 1440.0}).substr(0, 16);
    out.push_back(std::move(p));
  }
  return out;
}

void LayOver(const std::vector<GroupPlacement>& groups, const std::string& path) {
  const RawDatabase raw(path, kPlainOpen);
  sqlite3* db = raw.handle();
  auto exec = [&raw](const std::string& sql) { raw.Exec(sql); };
  exec("BEGIN");
  exec("UPDATE DATA_Msg SET MsgContent = '(广播)' || MsgContent WHERE MsgID % " +
       std::to_string(kBroadcastEvery) + " = 0");
  sqlite3_stmt* update = nullptr;
  CheckSqlite(sqlite3_prepare_v2(db,
                                 "UPDATE DATA_Msg SET MsgFromPersonID = ?1, MsgContent = ?2 "
                                 "WHERE MsgID BETWEEN ?3 AND ?4",
                                 -1, &update, nullptr),
              db, "prepare");
  for (size_t g = 0; g < groups.size(); ++g) {
    const std::string content = "通知" + std::to_string(g) + " 群发消息";
    sqlite3_bind_int(update, 1, groups[g].group.sender);
    sqlite3_bind_text(update, 2, content.data(), static_cast<int>(content.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_int64(update, 3, groups[g].first_message + 1);
    sqlite3_bind_int64(update, 4, groups[g].first_message + kCopiesPerGroup);
    CheckSqlite(sqlite3_step(update), db, "group");
    sqlite3_reset(update);
  }
  sqlite3_finalize(update);
  exec("COMMIT");
  exec("ANALYZE");
}

}  // namespace

MessageData MessageBenchData(const MessageDataParams& params, const std::string& directory) {
  if (params.messages % kMessagesPerConversation != 0) {
    throw std::invalid_argument("message count must be a multiple of 25");
  }
  const DbData base = DbBenchData({.persons = params.persons,
                                   .conversations = params.messages / kMessagesPerConversation,
                                   .seed = params.seed},
                                  directory);
  const std::vector<GroupPlacement> placed = PlaceGroups(params);

  MessageData data;
  data.path = fs::path(base.path).replace_extension().string() + "-groups.db";
  data.messages = base.messages;
  data.pairs = base.pairs;
  for (const GroupPlacement& p : placed) data.groups.push_back(p.group);
  if (!fs::exists(data.path)) {
    const std::string partial = data.path + ".partial";
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(partial + suffix);
    fs::copy_file(base.path, partial);
    LayOver(placed, partial);
    fs::rename(partial, data.path);
  } else {
    // A file made before a schema change gets what is new (indexes), as any
    // existing database does.
    std::shared_ptr<Connection> conn = OpenConnection("sqlite:" + data.path);
    if (!EnsureSchema(*conn).empty()) RawDatabase(data.path, kPlainOpen).Exec("ANALYZE");
  }
  return data;
}

}  // namespace korimba::bench

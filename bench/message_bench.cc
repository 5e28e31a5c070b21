// Message benchmarks: every method through the whole path (a call by name on
// an object made and connected once per page of kCallsPerPage calls,
// OnStartPage where the method reads the page, statement
// text, embedded provider, grid) on generated databases of 10,000 messages
// (and 1,000,000 with KORIMBA_BENCH_LARGE=1) among 2,000 persons, each next
// to raw SQLite running the same translated statements (prepared
// beforehand, values bound, every row built into cells) on an identical
// file, with the same attachment file system calls done by hand. InceptMsg,
// GetFriendList, trackMsg and track also run as "best": the hand-written
// SQLite query for the same rows over the index that suits it best (partial
// indexes the schema does not have), on a copy that has them.
// GetOnlineList uses no database; it runs with 1 and with 8 threads.
//
// Pairing: each side works on its own scratch copy of the cached database,
// made once per run. Reads come first and see both copies as generated;
// every write runs a fixed number of iterations on each side, the rounds
// carrying on from one repetition to the next, so the two sides write the
// same rows and start each repetition from identical files.
//
// Databases are cached under BenchDir() (bench_dir.h).
// Run: build/bench/message_bench --benchmark_filter=noread
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/support/bench_dir.h"
#include "bench/support/bench_rounds.h"
#include "bench/support/message_data.h"
#include "bench/support/plan_data.h"
#include "bench/support/raw_files.h"
#include "bench/support/raw_sqlite.h"
#include "classes/registry.h"
#include "db/open.h"
#include "db/translator.h"
#include "frame/connection.h"
#include "frame/value_ops.h"
#include "host/page_host.h"
#include "message/attachment_store.h"

namespace korimba::bench {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kPersons = 2000;
// Reads cycle through this many argument rounds, the same on both sides.
constexpr size_t kRounds = 256;
// Writes run exactly this many calls per repetition on each side.
constexpr int64_t kWriteIterations = 400;
constexpr int32_t kSmall = 10000;
constexpr int32_t kLarge = 1000000;

const MessageData& Data(int32_t messages) {
  static std::map<int32_t, MessageData> cache;
  auto it = cache.find(messages);
  if (it == cache.end()) {
    it = cache
             .emplace(messages,
                      MessageBenchData({.messages = messages, .persons = kPersons}, BenchDir()))
             .first;
  }
  return it->second;
}

// One call's arguments, and the person the page's session names.
struct CallArgs {
  std::vector<Variant> args;
  int32_t person = 0;
};
using ArgsOf = CallArgs (*)(size_t r, const MessageData& data);

Variant I(int64_t v) { return Variant::I4(static_cast<int32_t>(v)); }
Variant T(std::string v) { return Variant::Text(std::move(v)); }

const std::pair<int32_t, int32_t>& PairOf(size_t r, const MessageData& d) {
  return d.pairs[(r * 7919) % d.pairs.size()];
}
int32_t IdOf(size_t r, const MessageData& d) {
  return static_cast<int32_t>(1 + (r * 104729) % static_cast<size_t>(d.messages));
}
// Ids from the top half for deletes, the bottom half for everything else,
// so that a delete run cannot empty what later reads look for.
int32_t DeleteIdOf(size_t r, const MessageData& d) {
  return d.messages / 2 + static_cast<int32_t>((r * 7) % static_cast<size_t>(d.messages / 2));
}
int32_t ReadIdOf(size_t r, const MessageData& d) { return 1 + (IdOf(r, d) - 1) % (d.messages / 2); }

Variant Attachment() {
  ByteArray bytes;
  bytes.bytes.assign(1024, 0x5A);
  return Variant::Bytes(std::move(bytes));
}

struct Method {
  const char* name;
  ArgsOf args_of;
  bool writes;
};

// Reads first, writes after them (see the pairing note at the top); among
// the writes, deletes go last because they shrink the table.
const Method kMethods[] = {
    {"GetFileData", [](size_t r, const MessageData& d) { return CallArgs{{I(ReadIdOf(r, d))}}; },
     false},
    {"GetAllData",
     [](size_t r, const MessageData& d) {
       auto [a, b] = PairOf(r, d);
       return CallArgs{{I(b)}, a};
     },
     false},
    {"noread",
     [](size_t r, const MessageData& d) {
       return CallArgs{{}, PairOf(r, d).first};
     },
     false},
    {"MsgRead", [](size_t r, const MessageData& d) { return CallArgs{{I(ReadIdOf(r, d))}}; },
     false},
    {"noread2", [](size_t r, const MessageData& d) { return CallArgs{{I(ReadIdOf(r, d))}}; },
     false},
    {"GetPersonName",
     [](size_t r, const MessageData& d) { return CallArgs{{I(PairOf(r, d).first)}}; }, false},
    {"GetFriendList",
     [](size_t r, const MessageData& d) {
       return CallArgs{{}, PairOf(r, d).first};
     },
     false},
    {"InceptMsg", [](size_t r, const MessageData& d) { return CallArgs{{I(PairOf(r, d).first)}}; },
     false},
    {"trackMsg",
     [](size_t r, const MessageData& d) {
       return CallArgs{{I(d.groups[r % d.groups.size()].sender)}};
     },
     false},
    {"track",
     [](size_t r, const MessageData& d) {
       return CallArgs{{T(d.groups[r % d.groups.size()].minute)}};
     },
     false},
    {"AddData",
     [](size_t r, const MessageData& d) {
       auto [a, b] = PairOf(r, d);
       return CallArgs{{I(b), T("bench message"), I(a), T("title")}};
     },
     true},
    {"dptAddData",
     [](size_t r, const MessageData& d) {
       auto [a, b] = PairOf(r, d);
       return CallArgs{
           {I(b), T("bench message"), I(a), T("title"), T("file.bin"), Attachment(), Variant()}};
     },
     true},
    {"UpdateData",
     [](size_t r, const MessageData& d) {
       auto [a, b] = PairOf(r, d);
       return CallArgs{{I(ReadIdOf(r, d)), I(b), T("changed"), I(a), T("title")}};
     },
     true},
    {"noread1", [](size_t r, const MessageData& d) { return CallArgs{{I(ReadIdOf(r, d))}}; }, true},
    {"repairFlg", [](size_t r, const MessageData& d) { return CallArgs{{I(ReadIdOf(r, d))}}; },
     true},
    {"DelData", [](size_t r, const MessageData& d) { return CallArgs{{I(DeleteIdOf(r, d))}}; },
     true},
};

// A page creates its Message, connects it and gives it its WorkPath once
// per request, then calls it a few times (the home page counts the unread
// messages and lists the persons one writes to, a conversation reads and
// marks): the object is made anew every kCallsPerPage calls, so its making
// is measured at the share a page pays for it.
constexpr int kCallsPerPage = 4;

// Calls Message objects by name as pages do; for the methods that read the
// session, each call starts the page of the person it runs for (one session
// per person, made on first use).
class Caller {
 public:
  Caller(std::shared_ptr<Connection> conn, std::string work_path)
      : conn_(std::move(conn)), work_path_(std::move(work_path)) {}

  Variant Call(std::string_view method, const CallArgs& call) {
    if (calls_++ % kCallsPerPage == 0) {
      object_ = CreateObject("Korimba.Message");
      const Variant conn = Variant::Object(conn_);
      object_->Call("SetConn", std::span(&conn, 1));
      object_->Put("WorkPath", Variant::Text(work_path_));
    }
    if (call.person != 0) {
      object_->Call("OnStartPage", std::vector<Variant>{Variant::Object(PageOf(call.person))});
    }
    return object_->Call(method, call.args);
  }

 private:
  std::shared_ptr<ScriptingContextObject> PageOf(int32_t person) {
    std::unique_ptr<Page>& page = pages_[person];
    if (page == nullptr) {
      auto session = std::make_shared<InMemorySession>();
      session->SetValue("PersonID", Variant::I4(person));
      page =
          std::make_unique<Page>(app_, session, std::map<std::string, std::string>{{"url", "/"}});
    }
    return page->context();
  }

  std::shared_ptr<Connection> conn_;
  std::string work_path_;
  std::shared_ptr<InMemoryApplication> app_ = std::make_shared<InMemoryApplication>();
  std::shared_ptr<DispatchObject> object_;
  std::map<int32_t, std::unique_ptr<Page>> pages_;
  int64_t calls_ = 0;
};

// Records the statements a call sends; answers the new-id lookup with an id
// and everything else with an empty result.
class StatementRecorder final : public Connection {
 public:
  ResultTable Execute(std::string_view statement) override {
    texts.emplace_back(statement);
    if (statement.find("@@IDENTITY") != std::string_view::npos) return {{""}, {Variant::I4(1)}};
    return {};
  }
  std::vector<std::string> texts;
};

// The ids GetFileData reads, as a list for IN (...).
std::string ReadIds(const MessageData& data) {
  std::string ids;
  for (size_t r = 0; r < kRounds; ++r) ids += (r ? "," : "") + std::to_string(ReadIdOf(r, data));
  return ids;
}

// A scratch copy per size and side, with a directory for attachment files
// holding a 1 KB attachment for every message GetFileData reads.
struct Scratch {
  std::string db_path;
  std::string work_path;
};
const Scratch& ScratchFor(int32_t messages, const std::string& side) {
  static std::map<std::string, Scratch> cache;
  const std::string key = side + "-" + std::to_string(messages);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  const MessageData& data = Data(messages);
  Scratch s;
  s.db_path = ScratchCopy(data.path, "message-" + key);
  s.work_path = BenchDir() + "/attachments-" + key + "/";
  fs::remove_all(s.work_path);
  fs::create_directories(s.work_path);
  AttachmentStore store(s.work_path);
  ByteArray bytes;
  bytes.bytes.assign(1024, 0x5A);
  for (size_t r = 0; r < kRounds; ++r) store.Write(std::to_string(ReadIdOf(r, data)), bytes);
  {
    RawDatabase db(s.db_path);  // every read id has an attachment name
    db.Exec("UPDATE DATA_Msg SET MsgFileName='bench.bin' WHERE MsgID IN (" + ReadIds(data) + ")");
  }
  return cache.emplace(key, std::move(s)).first->second;
}

// Where each write benchmark's rounds carry on from in its next repetition:
// per method, size and side, so both sides run the same rounds.
size_t& NextRound(const Method& method, int32_t messages, const char* side) {
  static std::map<std::string, size_t> next;
  return next[std::string(method.name) + "/" + side + "/" + std::to_string(messages)];
}

void ThroughMessage(benchmark::State& state, const Method& method) {
  const int32_t messages = static_cast<int32_t>(state.range(0));
  const MessageData& data = Data(messages);
  const Scratch& scratch = ScratchFor(messages, "component");
  Caller caller(OpenConnection("sqlite:" + scratch.db_path), scratch.work_path);
  size_t& first = NextRound(method, messages, "component");
  const size_t count = method.writes ? static_cast<size_t>(state.max_iterations) : kRounds;
  std::vector<CallArgs> rounds;
  for (size_t r = 0; r < count; ++r) rounds.push_back(method.args_of(first + r, data));
  size_t r = 0;
  for (auto _ : state) benchmark::DoNotOptimize(caller.Call(method.name, rounds[r++ % count]));
  if (method.writes) first += count;
}

void RawSqlite(benchmark::State& state, const Method& method) {
  const int32_t messages = static_cast<int32_t>(state.range(0));
  const MessageData& data = Data(messages);
  const Scratch& scratch = ScratchFor(messages, "raw");
  RawDatabase db(scratch.db_path);
  size_t& first = NextRound(method, messages, "raw");
  const size_t count = method.writes ? static_cast<size_t>(state.max_iterations) : kRounds;
  std::vector<RawCall> rounds;
  {
    // The statements are recorded in a directory of their own, since
    // dptAddData writes its file even when the connection only records.
    const std::string record_dir = BenchDir() + "/record-raw/";
    fs::create_directories(record_dir);
    for (size_t r = 0; r < count; ++r) {
      auto recorder = std::make_shared<StatementRecorder>();
      Caller(recorder, record_dir).Call(method.name, method.args_of(first + r, data));
      // GetAllData's grid names its columns in row 0, so its raw side
      // reads the names too.
      rounds.emplace_back(db.handle(), recorder->texts,
                          std::string_view(method.name) == "GetAllData");
    }
  }
  if (std::getenv("KORIMBA_BENCH_PLANS") != nullptr && state.thread_index() == 0) {
    std::fprintf(stderr, "%s:\n%s", method.name, rounds.front().Describe().c_str());
  }
  // The attachment file work the component does around its statements,
  // done by hand: a new file written and renamed into place, a file read
  // whole. DelData removes no file, as the component's does not.
  const std::string method_name = method.name;
  const bool writes_file = method_name == "dptAddData";
  const bool reads_file = method_name == "GetFileData";
  const std::string record = AttachmentStore::EncodeRecord(*Attachment().bytes());
  const std::string temp = scratch.work_path + "upload-raw.tmp";
  size_t r = 0;
  for (auto _ : state) {
    const size_t round = r++ % count;
    int64_t sum = rounds[round].Run();
    if (writes_file) {
      RawPlaceFile(temp, scratch.work_path + std::to_string(sqlite3_last_insert_rowid(db.handle())),
                   record);
    } else if (reads_file) {
      sum += static_cast<int64_t>(
          RawReadRecord(scratch.work_path + std::to_string(ReadIdOf(round, data))).size());
    }
    benchmark::DoNotOptimize(sum);
  }
  if (method.writes) first += count;
}

// The hand-written queries for the rows of the four history and people
// methods, each with the index that serves it best; the indexes are added to
// a copy of the read side's database (the schema's own indexes stay).
struct BestQuery {
  const char* method;
  const char* index;  // CREATE INDEX ..., or "" when the schema's is the best
  const char* sql;    // ?1: the person or the minute
  const char* uses;   // the index EXPLAIN QUERY PLAN must name
};

const BestQuery kBest[] = {
    {"InceptMsg", "",
     "SELECT (SELECT PersonName FROM HR_Person WHERE PersonID = m.MsgFromPersonID), m.MsgContent, "
     "m.msgCreatetime, m.MsgID, m.msgFlag, m.MsgFileName FROM DATA_Msg AS m WHERE m.PersonID = ?1 "
     "ORDER BY m.msgCreatetime DESC",
     "IX_DATA_Msg_InboxCover"},
    // A partial index leaving out the broadcasts would not hold the content
    // its condition reads, and SQLite (3.40) would visit the table for it;
    // the schema's covering index is the best there is.
    {"GetFriendList", "",
     "SELECT m.PersonID, p.PersonName, count(*) FROM DATA_Msg AS m JOIN HR_Person AS p "
     "ON p.PersonID = m.PersonID WHERE m.MsgFromPersonID = ?1 "
     "AND substr(m.MsgContent, 1, 3) <> '(广播' GROUP BY m.PersonID ORDER BY count(*) DESC LIMIT "
     "20",
     "IX_DATA_Msg_Sent"},
    {"trackMsg",
     "CREATE INDEX IX_Best_Group ON DATA_Msg (MsgFromPersonID, MsgContent, msgCreatetime) "
     "WHERE MsgContent LIKE '%群发消息%'",
     "SELECT MsgContent, substr(msgCreatetime, 1, 16) FROM DATA_Msg INDEXED BY IX_Best_Group "
     "WHERE MsgFromPersonID = ?1 "
     "AND MsgContent LIKE '%群发消息%' GROUP BY MsgContent, substr(msgCreatetime, 1, 16)",
     "IX_Best_Group"},
    {"track",
     "CREATE INDEX IX_Best_GroupMinute ON DATA_Msg (substr(msgCreatetime, 1, 16), "
     "msgCreatetime DESC, PersonID, MsgContent, MsgID, msgFlag) WHERE MsgContent LIKE '%群发消息%'",
     "SELECT (SELECT PersonName FROM HR_Person WHERE PersonID = m.PersonID), m.MsgContent, "
     "substr(m.msgCreatetime, 1, 16), m.MsgID, m.msgFlag FROM DATA_Msg AS m "
     "INDEXED BY IX_Best_GroupMinute "
     "WHERE substr(m.msgCreatetime, 1, 16) = ?1 AND m.MsgContent LIKE '%群发消息%' "
     "ORDER BY m.msgCreatetime DESC",
     "IX_Best_GroupMinute"},
};

// The read side's database with every best index, cached beside the
// generated file (the indexes take a while at a million rows).
const std::string& BestDatabase(int32_t messages) {
  static std::map<int32_t, std::string> paths;
  if (auto it = paths.find(messages); it != paths.end()) return it->second;
  const MessageData& data = Data(messages);
  const std::string path = fs::path(data.path).replace_extension().string() + "-best.db";
  if (!fs::exists(path)) {
    const std::string partial = path + ".partial";
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(partial + suffix);
    fs::copy_file(data.path, partial);
    {
      const RawDatabase db(partial, kPlainOpen);
      db.Exec("UPDATE DATA_Msg SET MsgFileName='bench.bin' WHERE MsgID IN (" + ReadIds(data) + ")");
      for (const BestQuery& q : kBest) {
        if (*q.index) db.Exec(q.index);
      }
      db.Exec("ANALYZE");
    }
    fs::rename(partial, path);
  }
  return paths[messages] = path;
}

// Fails unless SQLite's plan for `sql` reads `index` alone (INDEXED BY in
// the query makes SQLite refuse a partial index whose condition it does not
// imply; this also shows that the table itself is not visited).
void RequirePlan(sqlite3* db, const std::string& sql, const std::string& index) {
  sqlite3_stmt* stmt = nullptr;
  CheckSqlite(sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &stmt, nullptr), db,
              "explain");
  std::string plan;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
    plan += "; ";
  }
  sqlite3_finalize(stmt);
  if (plan.find("COVERING INDEX " + index) == std::string::npos) {
    throw std::runtime_error("the best query does not use " + index + ": " + plan);
  }
}

void RawBest(benchmark::State& state, const BestQuery& best) {
  const int32_t messages = static_cast<int32_t>(state.range(0));
  const MessageData& data = Data(messages);
  RawDatabase db(BestDatabase(messages));
  RequirePlan(db.handle(), best.sql, best.uses);
  sqlite3_stmt* stmt = nullptr;
  CheckSqlite(
      sqlite3_prepare_v3(db.handle(), best.sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr),
      db.handle(), best.sql);
  // The same arguments as the component's rounds: a person, or a minute.
  const Method* method = nullptr;
  for (const Method& m : kMethods) {
    if (std::string_view(m.name) == best.method) method = &m;
  }
  std::vector<Variant> args;
  for (size_t r = 0; r < kRounds; ++r) {
    CallArgs call = method->args_of(r, data);
    args.push_back(call.args.empty() ? Variant::I4(call.person) : call.args[0]);
  }
  size_t r = 0;
  for (auto _ : state) {
    const Variant& arg = args[r++ % kRounds];
    if (const std::string* text = arg.text()) {
      sqlite3_bind_text(stmt, 1, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
    } else {
      sqlite3_bind_int64(stmt, 1, *arg.i4());
    }
    benchmark::DoNotOptimize(StepAndReadAll(db.handle(), stmt));
  }
  sqlite3_finalize(stmt);
}

// Every thread is its own visitor with its own session and page, on one
// shared Application.
void OnlineList(benchmark::State& state) {
  static std::shared_ptr<InMemoryApplication> app;
  if (state.thread_index() == 0) app = std::make_shared<InMemoryApplication>();
  auto session = std::make_shared<InMemorySession>();
  session->SetValue("PersonID", Variant::I4(static_cast<int32_t>(state.thread_index() + 1)));
  session->SetValue("PersonName", Variant::Text("visitor"));
  for (auto _ : state) {
    Page page(app, session, {{"url", "/online.asp"}});
    std::shared_ptr<DispatchObject> object = CreateObject("Korimba.Message");
    object->Call("OnStartPage", std::vector<Variant>{Variant::Object(page.context())});
    benchmark::DoNotOptimize(object->Call("GetOnlineList", std::vector<Variant>{}));
  }
}

}  // namespace
}  // namespace korimba::bench

int main(int argc, char** argv) {
  using namespace korimba::bench;
  std::vector<int32_t> sizes = {kSmall};
  if (LargeSizes()) sizes.push_back(kLarge);
  std::vector<BenchGroup> groups;
  for (const Method& m : kMethods) {
    for (int32_t size : sizes) {
      const std::string arg = "/" + std::to_string(size);
      BenchGroup group{
          {std::string(m.name) + "/component" + arg, std::string(m.name) + "/raw" + arg}, m.writes};
      for (const BestQuery& best : kBest) {
        if (std::string_view(best.method) == m.name)
          group.names.push_back(std::string(m.name) + "/best" + arg);
      }
      groups.push_back(std::move(group));
    }
    std::vector<benchmark::internal::Benchmark*> sides = {
        benchmark::RegisterBenchmark((std::string(m.name) + "/component").c_str(), ThroughMessage,
                                     m),
        benchmark::RegisterBenchmark((std::string(m.name) + "/raw").c_str(), RawSqlite, m)};
    for (const BestQuery& best : kBest) {
      if (std::string_view(best.method) == m.name) {
        sides.push_back(
            benchmark::RegisterBenchmark((std::string(m.name) + "/best").c_str(), RawBest, best));
      }
    }
    for (benchmark::internal::Benchmark* side : sides) {
      for (int32_t size : sizes) side->Arg(size);
      side->Unit(benchmark::kMicrosecond);
      if (m.writes) side->Iterations(kWriteIterations);
    }
  }
  benchmark::RegisterBenchmark("GetOnlineList", OnlineList)
      ->Threads(1)
      ->Threads(8)
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);
  groups.push_back({{"GetOnlineList"}});
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // KORIMBA_BENCH_ROUNDS runs each method's sides back to back, round after
  // round (bench_rounds.h), writing KORIMBA_BENCH_CSV.
  if (const int rounds = RoundsFromEnvironment(); rounds > 0) {
    const char* csv = std::getenv("KORIMBA_BENCH_CSV");
    return RunInRounds(groups, rounds, csv != nullptr ? csv : "message_bench.csv");
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

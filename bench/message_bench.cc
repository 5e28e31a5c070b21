// Message benchmarks: every method through the whole path (a call by name on
// a connected object, OnStartPage where the method reads the page, statement
// text, embedded provider, grid) on generated databases of 10,000
// and 1,000,000 messages among 2,000 persons, each next to raw SQLite running
// the same translated statements (prepared beforehand, values bound, every
// row built into cells) on the same file, with the same attachment file
// reads, writes and removals done by hand. GetOnlineList uses no
// database; it runs with 1 and with 8 threads calling at once.
//
// Databases are cached under $KORIMBA_BENCH_DIR (default /tmp/korimba-bench);
// every benchmark works on a scratch copy per size and side, so writes never
// reach the cache. Run: build/bench/message_bench --benchmark_filter=noread
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/bench_dir.h"
#include "bench/support/message_data.h"
#include "bench/support/plan_data.h"
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
constexpr size_t kRounds = 256;
constexpr int32_t kSizes[] = {10000, 1000000};

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

const Method kMethods[] = {
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
    {"GetFileData", [](size_t r, const MessageData& d) { return CallArgs{{I(ReadIdOf(r, d))}}; },
     false},
    {"UpdateData",
     [](size_t r, const MessageData& d) {
       auto [a, b] = PairOf(r, d);
       return CallArgs{{I(ReadIdOf(r, d)), I(b), T("changed"), I(a), T("title")}};
     },
     true},
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
    {"noread1", [](size_t r, const MessageData& d) { return CallArgs{{I(ReadIdOf(r, d))}}; }, true},
    {"noread2", [](size_t r, const MessageData& d) { return CallArgs{{I(ReadIdOf(r, d))}}; },
     false},
    {"repairFlg", [](size_t r, const MessageData& d) { return CallArgs{{I(ReadIdOf(r, d))}}; },
     true},
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
    // Last: deletes shrink the scratch copy.
    {"DelData", [](size_t r, const MessageData& d) { return CallArgs{{I(DeleteIdOf(r, d))}}; },
     true},
};

// Calls one Message object by name, as a page script that calls it many
// times does: the object is created, connected and given its WorkPath once;
// for the methods that read the session, each call starts the page of the
// person it runs for (one session per person, made on first use).
class Caller {
 public:
  Caller(std::shared_ptr<Connection> conn, std::string work_path)
      : object_(CreateObject("Korimba.Message")) {
    object_->Call("SetConn", std::vector<Variant>{Variant::Object(std::move(conn))});
    object_->Put("WorkPath", Variant::Text(std::move(work_path)));
  }

  Variant Call(std::string_view method, const CallArgs& call) {
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

  std::shared_ptr<InMemoryApplication> app_ = std::make_shared<InMemoryApplication>();
  std::shared_ptr<DispatchObject> object_;
  std::map<int32_t, std::unique_ptr<Page>> pages_;
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
  std::string ids;
  for (size_t r = 0; r < kRounds; ++r) {
    store.Write(std::to_string(ReadIdOf(r, data)), bytes);
    ids += (r ? "," : "") + std::to_string(ReadIdOf(r, data));
  }
  {
    RawDatabase db(s.db_path);  // every read id has an attachment name
    db.Exec("UPDATE DATA_Msg SET MsgFileName='bench.bin' WHERE MsgID IN (" + ids + ")");
  }
  return cache.emplace(key, std::move(s)).first->second;
}

void ThroughMessage(benchmark::State& state, const Method& method) {
  const int32_t messages = static_cast<int32_t>(state.range(0));
  const MessageData& data = Data(messages);
  const Scratch& scratch = ScratchFor(messages, "component");
  Caller caller(OpenConnection("sqlite:" + scratch.db_path), scratch.work_path);
  std::vector<CallArgs> rounds;
  for (size_t r = 0; r < kRounds; ++r) rounds.push_back(method.args_of(r, data));
  size_t r = 0;
  for (auto _ : state) benchmark::DoNotOptimize(caller.Call(method.name, rounds[r++ % kRounds]));
}

void RawSqlite(benchmark::State& state, const Method& method) {
  const int32_t messages = static_cast<int32_t>(state.range(0));
  const MessageData& data = Data(messages);
  const Scratch& scratch = ScratchFor(messages, "raw");
  RawDatabase db(scratch.db_path);
  std::vector<RawCall> rounds;
  for (size_t r = 0; r < kRounds; ++r) {
    auto recorder = std::make_shared<StatementRecorder>();
    Caller(recorder, scratch.work_path).Call(method.name, method.args_of(r, data));
    rounds.emplace_back(db.handle(), recorder->texts);
  }
  // The attachment file work the component does around its statements,
  // done by hand: a new file written and renamed into place, a file read
  // whole, a file removed.
  const std::string method_name = method.name;
  const bool writes_file = method_name == "dptAddData";
  const bool reads_file = method_name == "GetFileData";
  const bool removes_file = method_name == "DelData";
  const std::string record = AttachmentStore::EncodeRecord(*Attachment().bytes());
  size_t r = 0;
  for (auto _ : state) {
    const size_t round = r++ % kRounds;
    int64_t sum = rounds[round].Run();
    if (writes_file) {
      const std::string path =
          scratch.work_path + std::to_string(sqlite3_last_insert_rowid(db.handle()));
      const std::string temp = scratch.work_path + "upload-raw";
      std::ofstream(temp, std::ios::binary).write(record.data(), std::streamsize(record.size()));
      fs::rename(temp, path);
    } else if (reads_file) {
      std::ifstream in(scratch.work_path + std::to_string(ReadIdOf(round, data)), std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      sum += static_cast<int64_t>(bytes.size());
    } else if (removes_file) {
      std::error_code ignored;
      fs::remove(scratch.work_path + std::to_string(DeleteIdOf(round, data)), ignored);
    }
    benchmark::DoNotOptimize(sum);
  }
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
  for (const Method& m : kMethods) {
    auto* component = benchmark::RegisterBenchmark((std::string(m.name) + "/component").c_str(),
                                                   ThroughMessage, m);
    auto* raw = benchmark::RegisterBenchmark((std::string(m.name) + "/raw").c_str(), RawSqlite, m);
    for (int32_t size : kSizes) {
      component->Arg(size);
      raw->Arg(size);
    }
    component->Unit(benchmark::kMicrosecond);
    raw->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("GetOnlineList", OnlineList)
      ->Threads(1)
      ->Threads(8)
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

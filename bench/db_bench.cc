// Database benchmarks on a DATA_Msg of 1,000,000 rows among 2,000 persons:
// the embedded provider (OpenConnection + RecordSet / Connection::Execute,
// statement text in, Variants out) next to raw SQLite running the same
// translated statements (prepared once, values bound, every column of every
// row read), side by side in one run:
//   Conversation   the conversation of two persons (25 rows, with the
//                  sender's name), newest first
//   PointLookup    one message by MsgID
//   PostAndRetain  a post followed by the retention delete of its pair
// and the translator's cost on a statement-cache miss next to a hit.
//
// The database is cached under $KORIMBA_BENCH_DIR (default
// /tmp/korimba-bench); writes run on scratch copies, one per side.
// Run: build/bench/db_bench [--benchmark_filter=Conversation]
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/support/bench_dir.h"
#include "bench/support/db_data.h"
#include "bench/support/raw_sqlite.h"
#include "db/open.h"
#include "db/translator.h"
#include "frame/connection.h"
#include "frame/record_set.h"
#include "frame/statement.h"

namespace korimba::bench {
namespace {

namespace fs = std::filesystem;

// Arguments cycle through this many pairs / ids, the same on both sides.
constexpr size_t kRounds = 1024;

// Raw SQLite is opened as the embedded provider opens its files: no
// per-call locking, the provider's journal and sync settings.
constexpr RawOpenOptions kRawOpen{};

const DbData& Data() {
  static const DbData data = DbBenchData({}, BenchDir());
  return data;
}

// A private copy of the database for one side's writes, made once per run
// and removed at exit (the copies are as large as the database).
std::string ScratchCopy(const std::string& name) {
  struct Copies {
    std::unordered_map<std::string, std::string> paths;
    ~Copies() {
      std::error_code ignored;
      for (const auto& [name, path] : paths) {
        for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path + suffix, ignored);
      }
    }
  };
  static Copies copies;
  if (auto it = copies.paths.find(name); it != copies.paths.end()) return it->second;
  const std::string copy = BenchDir() + "/scratch-db-" + name + ".db";
  for (const char* suffix : {"-wal", "-shm"}) fs::remove(copy + suffix);
  fs::copy_file(Data().path, copy, fs::copy_options::overwrite_existing);
  return copies.paths[name] = copy;
}

// The statements, as the component builds them.
std::string ConversationText(int32_t me, int32_t other) {
  StatementBuilder b;
  b << Lit{"Select HR_person.PersonName,msgCreatetime,MsgContent,msgFlag,MsgFromPersonid,"
           "MsgFileName,MsgID from DATA_Msg,HR_Person where ((data_msg.PersonID="}
    << Int{me} << Lit{" and MsgFromPersonid="} << Int{other} << Lit{") or (data_msg.personid="}
    << Int{other} << Lit{" and MsgFromPersonID="} << Int{me}
    << Lit{")) and Data_Msg.MsgFromPersonid=HR_Person.PersonID  order by msgCreatetime desc"};
  return b.text();
}

std::string LookupText(int32_t id) {
  StatementBuilder b;
  b << Lit{"Select top 1 * from DATA_Msg where MsgID="} << Int{id};
  return b.text();
}

std::string PostText(int32_t to, int32_t from) {
  const Variant content = Variant::Text("明天上午九点在三楼会议室开会，请准时参加。");
  const Variant title = Variant::Text("会议通知");
  StatementBuilder b;
  b << Lit{"Insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle) values ("} << Int{to}
    << Lit{",'"} << Quoted{content} << Lit{"',"} << Int{from} << Lit{",'"} << Quoted{title}
    << Lit{"') "};
  return b.InsertText();
}

std::string RetentionText(int32_t p, int32_t f) {
  StatementBuilder b;
  b << Lit{"delete from Data_Msg where ((data_msg.PersonID="} << Int{p}
    << Lit{" and MsgFromPersonid="} << Int{f} << Lit{") or (data_msg.personid="} << Int{f}
    << Lit{" and MsgFromPersonID="} << Int{p} << Lit{")) "}
    << Lit{" and msgID not in ( Select top 25 msgID from DATA_Msg where ((data_msg.PersonID="}
    << Int{p} << Lit{" and MsgFromPersonid="} << Int{f} << Lit{") or (data_msg.personid="} << Int{f}
    << Lit{" and MsgFromPersonID="} << Int{p} << Lit{"))  order by msgCreatetime desc)"};
  return b.text();
}

// Round r's pair, recipient first; and round r's message id.
std::pair<int32_t, int32_t> PairOf(size_t r) {
  const auto& pairs = Data().pairs;
  const auto& [a, b] = pairs[(r * 7919) % pairs.size()];
  return r % 2 ? std::pair{a, b} : std::pair{b, a};
}
int32_t IdOf(size_t r) { return static_cast<int32_t>(1 + (r * 104729) % Data().messages); }

std::vector<std::string> Texts(std::string (*make)(size_t)) {
  std::vector<std::string> texts;
  for (size_t r = 0; r < kRounds; ++r) texts.push_back(make(r));
  return texts;
}
std::string ConversationOf(size_t r) { return ConversationText(PairOf(r).first, PairOf(r).second); }
std::string LookupOf(size_t r) { return LookupText(IdOf(r)); }
std::string PostOf(size_t r) { return PostText(PairOf(r).first, PairOf(r).second); }
std::string RetentionOf(size_t r) { return RetentionText(PairOf(r).first, PairOf(r).second); }

// Opens a result set on a query and reads every field of every record, as
// the component's grid-building methods do.
int64_t ReadAll(Connection& conn, const std::string& text) {
  RecordSet rs;
  rs.Open(text, conn, 3, -1, -1);
  int64_t count = rs.RecordCount();
  const int32_t fields = rs.FieldCount();
  for (; !rs.Eof(); rs.MoveNext()) {
    for (int32_t f = 0; f < fields; ++f) {
      Variant v = rs.Value(f);
      benchmark::DoNotOptimize(v);
    }
  }
  rs.Close();
  return count;
}

void ProviderQuery(benchmark::State& state, std::string (*make)(size_t)) {
  std::shared_ptr<Connection> conn = OpenConnection("sqlite:" + Data().path);
  const std::vector<std::string> texts = Texts(make);
  size_t r = 0;
  for (auto _ : state) benchmark::DoNotOptimize(ReadAll(*conn, texts[r++ % kRounds]));
}

void RawQuery(benchmark::State& state, std::string (*make)(size_t)) {
  RawDatabase db(Data().path, kRawOpen);
  RawStatement raw(db.handle(), Texts(make), {}, SQLITE_PREPARE_PERSISTENT);
  size_t r = 0;
  for (auto _ : state) benchmark::DoNotOptimize(raw.Run(r++));
}

void BM_Conversation_Provider(benchmark::State& state) { ProviderQuery(state, ConversationOf); }
void BM_Conversation_Raw(benchmark::State& state) { RawQuery(state, ConversationOf); }
void BM_PointLookup_Provider(benchmark::State& state) { ProviderQuery(state, LookupOf); }
void BM_PointLookup_Raw(benchmark::State& state) { RawQuery(state, LookupOf); }

void BM_PostAndRetain_Provider(benchmark::State& state) {
  std::shared_ptr<Connection> conn = OpenConnection("sqlite:" + ScratchCopy("provider"));
  const std::vector<std::string> posts = Texts(PostOf), retentions = Texts(RetentionOf);
  size_t r = 0;
  for (auto _ : state) {
    conn->Execute(posts[r % kRounds]);
    conn->Execute(retentions[r % kRounds]);
    ++r;
  }
}

void BM_PostAndRetain_Raw(benchmark::State& state) {
  RawDatabase db(ScratchCopy("raw"), kRawOpen);
  RawStatement post(db.handle(), Texts(PostOf), {}, SQLITE_PREPARE_PERSISTENT);
  RawStatement retention(db.handle(), Texts(RetentionOf), {}, SQLITE_PREPARE_PERSISTENT);
  size_t r = 0;
  for (auto _ : state) {
    post.Run(r);
    retention.Run(r);
    ++r;
  }
}

// The translator alone: a miss shapes and translates the statement; a hit
// shapes it and finds the translation by its shape key.
void BM_Translate_Miss(benchmark::State& state) {
  const std::string text = ConversationOf(0);
  sql::ShapedStatement shape;
  for (auto _ : state) {
    sql::ShapeStatement(text, shape);
    benchmark::DoNotOptimize(sql::Translate(shape));
  }
}

void BM_Translate_Hit(benchmark::State& state) {
  const std::vector<std::string> texts = Texts(ConversationOf);
  sql::ShapedStatement shape;
  std::unordered_map<std::string, sql::Translation> cache;
  sql::ShapeStatement(texts[0], shape);
  cache.emplace(shape.key, sql::Translate(shape));
  size_t r = 0;
  for (auto _ : state) {
    sql::ShapeStatement(texts[r++ % kRounds], shape);
    auto it = cache.find(shape.key);
    if (it == cache.end() || !it->second.Matches(shape)) state.SkipWithError("cache miss");
    benchmark::DoNotOptimize(it);
  }
}

BENCHMARK(BM_Conversation_Provider)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Conversation_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PointLookup_Provider)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PointLookup_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PostAndRetain_Provider)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PostAndRetain_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Translate_Miss)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Translate_Hit)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace korimba::bench

BENCHMARK_MAIN();

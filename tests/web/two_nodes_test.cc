// Several `korimba serve` nodes on one embedded database file and one Redis,
// as an office behind a load balancer runs them: a visitor's cookie works on
// every node, persons on different nodes see each other on line and can
// talk, a lock left by a node that died holds nobody up beyond its expiry,
// and the on-line list stays whole while every node updates it at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "db/open.h"
#include "host/redis_client.h"
#include "host/session_keeper.h"
#include "tests/support/redis_server.h"

namespace korimba::web {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kPersons = 32;

// One `korimba serve` child process, stopped with SIGTERM when destroyed.
class Node {
 public:
  Node(const fs::path& dir, const std::string& db, const std::string& state, int number) {
    const fs::path log = dir / ("node" + std::to_string(number) + ".log");
    const std::string program = std::string(KORIMBA_TEST_BINARY_DIR) + "/korimba";
    pid_ = fork();
    if (pid_ == 0) {
      const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(out, 1);
      dup2(out, 2);
      const std::string files = (dir / "files").string();
      execl(program.c_str(), program.c_str(), "serve", "--db", db.c_str(), "--listen",
            "127.0.0.1:0", "--auth", "pick", "--state", state.c_str(), "--attachments",
            files.c_str(), "--access-log", "/dev/null", static_cast<char*>(nullptr));
      _exit(127);
    }
    // It says where it listens once it is ready (a slow build: up to 20 s).
    static const std::regex kAt(R"(pages at http://127\.0\.0\.1:(\d+)/)");
    for (int i = 0; i < 2000 && port_ == 0; ++i) {
      std::ifstream in(log);
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::smatch match;
      if (std::regex_search(text, match, kAt)) port_ = std::stoi(match[1]);
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        ADD_FAILURE() << "node " << number << " ended: " << text;
        return;
      }
      if (port_ == 0) std::this_thread::sleep_for(10ms);
    }
  }
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  ~Node() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// One browser: its cookie and the form token of its last page, sent to
// whichever node the request goes to.
class Browser {
 public:
  httplib::Result Get(const Node& node, const std::string& path) {
    return Keep(Client(node).Get(path, Headers()));
  }
  httplib::Result Post(const Node& node, const std::string& path, httplib::Params params) {
    params.emplace("token", token_);
    return Keep(Client(node).Post(path, Headers(), params));
  }
  void SignIn(const Node& node, int person) {
    Get(node, "/signin");
    Post(node, "/signin", {{"person", std::to_string(person)}});
  }
  const std::string& cookie() const { return cookie_; }

 private:
  static httplib::Client Client(const Node& node) {
    httplib::Client client("127.0.0.1", node.port());
    client.set_read_timeout(20, 0);
    return client;
  }
  httplib::Headers Headers() const {
    httplib::Headers headers{{"Accept-Language", "en"}};
    if (!cookie_.empty()) headers.emplace("Cookie", cookie_);
    return headers;
  }
  httplib::Result Keep(httplib::Result result) {
    if (!result) return result;
    std::string set = result->get_header_value("Set-Cookie");
    if (!set.empty()) cookie_ = set.substr(0, set.find(';'));
    static const std::regex kToken(R"re(name="token" value="([0-9a-f]+)")re");
    std::smatch match;
    if (std::regex_search(result->body, match, kToken)) token_ = match[1];
    return result;
  }
  std::string cookie_;
  std::string token_;
};

// How many times each person is listed on an /online answer.
std::map<int, int> Listed(const std::string& body) {
  static const std::regex kEntry(R"re(data-person="(\d+)")re");
  std::map<int, int> count;
  for (std::sregex_iterator it(body.begin(), body.end(), kEntry), end; it != end; ++it) {
    ++count[std::stoi((*it)[1])];
  }
  return count;
}

class TwoNodesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!redis_.available()) GTEST_SKIP() << redis_.why();
    dir_ = fs::temp_directory_path() / ("korimba_nodes_" + RandomHexId().substr(0, 12));
    fs::create_directories(dir_ / "files");
    db_ = "sqlite:" + (dir_ / "office.db").string();
    auto conn = OpenConnection(db_);
    EnsureSchema(*conn);
    for (int id = 1; id <= kPersons; ++id) {
      conn->Execute("insert into HR_Person (PersonID, PersonName) values (" + std::to_string(id) +
                    ", 'Person " + std::to_string(id) + "')");
    }
  }
  void TearDown() override {
    nodes_.clear();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  const Node& StartNode() {
    nodes_.push_back(
        std::make_unique<Node>(dir_, db_, redis_.url(), static_cast<int>(nodes_.size()) + 1));
    return *nodes_.back();
  }

  korimba::testing::RedisServer redis_;
  fs::path dir_;
  std::string db_;
  std::vector<std::unique_ptr<Node>> nodes_;
};

TEST_F(TwoNodesTest, ACookieFromOneNodeWorksOnTheOther) {
  const Node& one = StartNode();
  const Node& two = StartNode();
  ASSERT_NE(two.port(), 0);
  Browser ann;
  ann.SignIn(one, 3);
  auto home = ann.Get(two, "/");
  ASSERT_TRUE(home);
  EXPECT_EQ(home->status, 200);
  EXPECT_NE(home->body.find("Person 3"), std::string::npos) << "not signed in on node 2";
  // The form token came with the session: a post on node 2 is accepted.
  auto signed_out = ann.Post(two, "/signout", {});
  ASSERT_TRUE(signed_out);
  EXPECT_EQ(signed_out->status, 303);
  EXPECT_EQ(ann.Get(one, "/online")->status, 303) << "still signed in on node 1";
}

TEST_F(TwoNodesTest, PersonsOnDifferentNodesSeeEachOtherAndTalk) {
  const Node& one = StartNode();
  const Node& two = StartNode();
  ASSERT_NE(two.port(), 0);
  Browser ann, bob;
  ann.SignIn(one, 1);
  bob.SignIn(two, 2);
  ann.Get(one, "/online");
  auto seen_by_bob = bob.Get(two, "/online");
  auto seen_by_ann = ann.Get(one, "/online");
  ASSERT_TRUE(seen_by_bob && seen_by_ann);
  EXPECT_EQ(Listed(seen_by_bob->body), (std::map<int, int>{{1, 1}, {2, 1}}));
  EXPECT_EQ(Listed(seen_by_ann->body), (std::map<int, int>{{1, 1}, {2, 1}}));

  ann.Get(one, "/messages?with=2");
  auto sent = ann.Post(one, "/messages/send", {{"to", "2"}, {"content", "lunch at noon?"}});
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->status, 303);
  auto read = bob.Get(two, "/messages?with=1");
  ASSERT_TRUE(read);
  EXPECT_NE(read->body.find("lunch at noon?"), std::string::npos);
}

TEST_F(TwoNodesTest, ALockLeftByADeadNodeHoldsNobodyUpBeyondItsExpiry) {
  const Node& node = StartNode();
  ASSERT_NE(node.port(), 0);
  Browser ann;
  ann.SignIn(node, 1);
  // What a node killed while holding the lock leaves behind: the key under
  // its token, expiring.
  RedisClient redis(*ParseRedisAddress(redis_.url(), nullptr));
  redis.Run({"SET", "korimba:lock", "token-of-a-dead-node", "PX", "1500"});
  const auto start = std::chrono::steady_clock::now();
  auto online = ann.Get(node, "/online");
  const auto waited = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(online);
  EXPECT_EQ(online->status, 200);
  EXPECT_EQ(Listed(online->body), (std::map<int, int>{{1, 1}}));
  EXPECT_GE(waited, 1s) << "the dead node's lock was ignored";
  EXPECT_LT(waited, 8s);
}

TEST_F(TwoNodesTest, RedisGoneGivesAReadablePageAndComingBackNeedsNoRestart) {
  const Node& node = StartNode();
  ASSERT_NE(node.port(), 0);
  Browser ann;
  ann.SignIn(node, 1);
  redis_.Stop();
  auto down = ann.Get(node, "/online");
  ASSERT_TRUE(down);
  EXPECT_EQ(down->status, 503);
  EXPECT_NE(down->body.find("shared session store"), std::string::npos) << down->body;
  httplib::Client probe("127.0.0.1", node.port());
  auto health = probe.Get("/healthz");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 503);
  EXPECT_NE(health->body.find("sessions:"), std::string::npos) << health->body;

  redis_.Start();  // empty again: the visitor signs in anew
  ASSERT_TRUE(redis_.available());
  EXPECT_EQ(probe.Get("/healthz")->status, 200);
  ann.SignIn(node, 1);
  EXPECT_EQ(ann.Get(node, "/online")->status, 200);
}

// Four nodes, eight persons on each, every one polling /online as fast as
// it can: every answer lists each person at most once, and once all have
// entered, each exactly once.
TEST_F(TwoNodesTest, TheOnLineListStaysWholeWhileFourNodesUpdateItAtOnce) {
  for (int i = 0; i < 4; ++i) ASSERT_NE(StartNode().port(), 0);
  std::atomic<int> doubled{0}, failed{0};
  std::vector<Browser> browsers(kPersons + 1);
  std::vector<std::thread> persons;
  const auto until = std::chrono::steady_clock::now() + 3s;
  for (int id = 1; id <= kPersons; ++id) {
    persons.emplace_back([&, id] {
      const Node& node = *nodes_[id % 4];
      Browser& person = browsers[id];
      person.SignIn(node, id);
      do {
        auto online = person.Get(node, "/online");
        if (!online || online->status != 200) {
          ++failed;
          continue;
        }
        for (auto [who, times] : Listed(online->body)) {
          if (times != 1) ++doubled;
        }
      } while (std::chrono::steady_clock::now() < until);
    });
  }
  for (auto& person : persons) person.join();
  EXPECT_EQ(doubled, 0);
  EXPECT_EQ(failed, 0);
  std::map<int, int> everyone;
  for (int id = 1; id <= kPersons; ++id) everyone[id] = 1;
  EXPECT_EQ(Listed(browsers[4].Get(*nodes_[0], "/online")->body), everyone);
}

}  // namespace
}  // namespace korimba::web

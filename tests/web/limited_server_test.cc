// The server's request limits and worker model, driven over loopback by a
// raw socket client: heads and bodies over the limits get a readable answer
// and cost no unbounded memory, slow and idle clients hold no worker, and a
// request that does not arrive in time is answered 408. Every wait here is
// bounded by a poll timeout.
#include "web/limited_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace korimba::web {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

class RawClient {
 public:
  explicit RawClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;
  ~RawClient() { ::close(fd_); }

  bool connected() const { return connected_; }
  // False once the server has closed (or reset) the connection.
  bool Send(const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
      ssize_t n = ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }
  // Whether an answer's first bytes are waiting, without blocking.
  bool AnswerWaiting() {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  }
  // One whole response (head and Content-Length body), or what arrived
  // before the connection closed or `timeout` passed.
  std::string ReadAnswer(milliseconds timeout = milliseconds(5000)) {
    const auto deadline = steady_clock::now() + timeout;
    for (;;) {
      size_t head_end = buffer_.find("\r\n\r\n");
      if (head_end != std::string::npos) {
        size_t length = 0;
        size_t at = buffer_.find("Content-Length: ");
        if (at != std::string::npos && at < head_end) length = std::stoul(buffer_.substr(at + 16));
        if (buffer_.size() >= head_end + 4 + length) {
          std::string answer = buffer_.substr(0, head_end + 4 + length);
          buffer_.erase(0, answer.size());
          return answer;
        }
      }
      auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char chunk[4096];
      ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
    std::string rest;
    rest.swap(buffer_);
    return rest;
  }
  // True when the server closes the connection within `timeout`.
  bool ClosedWithin(milliseconds timeout) {
    const auto deadline = steady_clock::now() + timeout;
    for (;;) {
      auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      char chunk[4096];
      if (::recv(fd_, chunk, sizeof chunk, 0) <= 0) return true;
    }
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  std::string buffer_;
};

int StatusOf(const std::string& answer) {
  return answer.size() > 12 && answer.starts_with("HTTP/1.") ? std::stoi(answer.substr(9, 3)) : 0;
}

// Small limits, so that every case is quick to reach.
HttpLimits TestLimits() {
  HttpLimits limits;
  limits.max_request_line = 256;
  limits.max_header_count = 10;
  limits.max_header_bytes = 1024;
  limits.max_body_bytes = 64 * 1024;
  limits.prefetch_body_bytes = 4 * 1024;
  limits.request_deadline_seconds = 2;
  limits.keep_alive_seconds = 2;
  limits.workers = 2;
  return limits;
}

class LimitedServerTest : public ::testing::Test {
 protected:
  void Start(HttpLimits limits = TestLimits()) {
    server_ = std::make_unique<LimitedServer>(limits);
    server_->Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("ok", "text/plain");
    });
    server_->Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content("got " + std::to_string(req.body.size()), "text/plain");
    });
    server_->set_error_handler([](const httplib::Request&, httplib::Response& res) {
      if (auto hit = CurrentLimitHit()) {
        res.status = hit->status;
        res.set_content(hit->In(Catalog::For(Language::kEnglish)), "text/plain");
      }
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    ASSERT_GT(port_, 0);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::sleep_for(milliseconds(1));
  }
  void TearDown() override {
    if (server_) server_->stop();
    if (thread_.joinable()) thread_.join();
  }

  // A plain GET on a connection of its own answers within `timeout`.
  bool AnswersPromptly(milliseconds timeout) {
    RawClient client(port_);
    client.Send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string answer = client.ReadAnswer(timeout);
    return StatusOf(answer) == 200 && answer.ends_with("ok");
  }

  std::unique_ptr<LimitedServer> server_;
  std::thread thread_;
  int port_ = 0;
};

TEST_F(LimitedServerTest, HeadsOverTheLimitsAreRefusedReadably) {
  Start();
  struct Case {
    const char* what;
    std::string request;
    int status;
    const char* says;
  };
  std::string many_headers = "GET / HTTP/1.1\r\nAccept-Language: en\r\n";
  for (int i = 0; i < 11; ++i) many_headers += "X-H" + std::to_string(i) + ": v\r\n";
  const std::vector<Case> cases = {
      {"long request line",
       "GET /" + std::string(300, 'a') + " HTTP/1.1\r\nAccept-Language: en\r\n\r\n", 414,
       "request lines of at most 256 B"},
      {"too many header lines", many_headers + "\r\n", 431, "at most 10 header lines"},
      {"one huge header",
       "GET / HTTP/1.1\r\nAccept-Language: en\r\nX-Big: " + std::string(2000, 'b') + "\r\n\r\n",
       431, "1 KiB in all"},
      // Refused from the head alone: the body is never sent.
      {"declared body too large",
       "POST /echo HTTP/1.1\r\nAccept-Language: en\r\nContent-Length: 70000\r\n\r\n", 413,
       "at most 64 KiB"},
      {"length that is no number",
       "POST /echo HTTP/1.1\r\nAccept-Language: en\r\nContent-Length: 1x\r\n\r\n", 400,
       "Content-Length is not a number"},
      // The visitor's language, as the pages choose it: Chinese unless
      // English ranks first.
      {"Chinese visitor", "POST /echo HTTP/1.1\r\nContent-Length: 70000\r\n\r\n", 413,
       "请求太大：本服务器每个请求最多接受 64 KiB"},
      {"Chinese first",
       "GET / HTTP/1.1\r\naccept-language: zh-CN,en;q=0.5\r\nX-Big: " + std::string(2000, 'b') +
           "\r\n\r\n",
       431, "<html lang=\"zh-CN\">"},
  };
  for (const Case& c : cases) {
    RawClient client(port_);
    ASSERT_TRUE(client.connected());
    client.Send(c.request);
    std::string answer = client.ReadAnswer();
    EXPECT_EQ(StatusOf(answer), c.status) << c.what << ": " << answer;
    EXPECT_NE(answer.find(c.says), std::string::npos) << c.what << ": " << answer;
    EXPECT_TRUE(client.ClosedWithin(milliseconds(3000))) << c.what;
  }
  EXPECT_TRUE(AnswersPromptly(milliseconds(2000)));
}

// A body over the limit is refused whatever its framing, while the client
// is still sending; the answer reaches the client.
TEST_F(LimitedServerTest, BodiesOverTheLimitAreRefusedInEveryEncoding) {
  Start();
  const std::string chunk(8192, 'z');
  char size_line[32];
  std::snprintf(size_line, sizeof size_line, "%zx\r\n", chunk.size());
  struct Case {
    const char* what;
    std::string head;
    std::string piece;
  };
  const std::vector<Case> cases = {
      {"chunked", "POST /echo HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
       size_line + chunk + "\r\n"},
      {"no length at all", "POST /echo HTTP/1.1\r\n\r\n", chunk},
  };
  for (const Case& c : cases) {
    RawClient client(port_);
    client.Send(c.head);
    // Up to 16 times the limit; the server must answer long before.
    for (int i = 0; i < 128 && !client.AnswerWaiting(); ++i) {
      if (!client.Send(c.piece)) break;
    }
    std::string answer = client.ReadAnswer();
    EXPECT_EQ(StatusOf(answer), 413) << c.what << ": " << answer;
    EXPECT_NE(answer.find("at most 64 KiB"), std::string::npos) << c.what << ": " << answer;
  }
  // A body within the limit still gets through, chunked too.
  RawClient client(port_);
  client.Send("POST /echo HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(size_line) +
              chunk + "\r\n0\r\n\r\n");
  std::string answer = client.ReadAnswer();
  EXPECT_EQ(StatusOf(answer), 200) << answer;
  EXPECT_TRUE(answer.ends_with("got 8192")) << answer;
}

// Two workers; far more slow and idle clients than that. Each kind alone
// would have held every worker.
TEST_F(LimitedServerTest, SlowAndIdleClientsHoldNoWorker) {
  Start();
  std::vector<std::unique_ptr<RawClient>> slow, idle;
  for (int i = 0; i < 6; ++i) {
    // A head that trickles in, and a small form body that never comes.
    slow.push_back(std::make_unique<RawClient>(port_));
    slow.back()->Send("GET / HT");
    slow.push_back(std::make_unique<RawClient>(port_));
    slow.back()->Send("POST /echo HTTP/1.1\r\nContent-Length: 100\r\n\r\nab");
    // Kept alive after one answer.
    idle.push_back(std::make_unique<RawClient>(port_));
    idle.back()->Send("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(StatusOf(idle.back()->ReadAnswer()), 200);
  }
  EXPECT_TRUE(AnswersPromptly(milliseconds(1000)));
  // An idle connection still serves its next request.
  idle.front()->Send("GET / HTTP/1.1\r\n\r\n");
  EXPECT_EQ(StatusOf(idle.front()->ReadAnswer(milliseconds(1000))), 200);
}

// Uploads whose body a worker must read (chunked, unframed, or larger than
// what is received ahead) share the workers but two; requests that have
// arrived whole still get answered while they trickle.
TEST_F(LimitedServerTest, SlowUploadsCannotTakeEveryWorker) {
  HttpLimits limits = TestLimits();
  limits.workers = 3;
  Start(limits);
  std::vector<std::unique_ptr<RawClient>> chunked, sized;
  for (int i = 0; i < 3; ++i) {
    chunked.push_back(std::make_unique<RawClient>(port_));
    chunked.back()->Send("POST /echo HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n");
    sized.push_back(std::make_unique<RawClient>(port_));
    sized.back()->Send("POST /echo HTTP/1.1\r\nContent-Length: 50000\r\n\r\nabc");
  }
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_TRUE(AnswersPromptly(milliseconds(1000)));
  EXPECT_TRUE(AnswersPromptly(milliseconds(1000)));
  // Each waiting upload is read in its turn once the others end.
  sized.clear();
  for (auto& upload : chunked) upload->Send("0\r\n\r\n");
  for (auto& upload : chunked)
    EXPECT_TRUE(upload->ReadAnswer(milliseconds(1500)).ends_with("got 1"));
}

// The deadline covers the whole request, however steadily it trickles.
TEST_F(LimitedServerTest, RequestThatDoesNotArriveInTimeIsAnswered408) {
  Start();
  RawClient head(port_), body(port_);
  head.Send("GET / HTTP/1.1\r\nX-Slow: ");
  body.Send("POST /echo HTTP/1.1\r\nContent-Length: 20000\r\n\r\n" + std::string(5000, 'x'));
  const auto start = steady_clock::now();
  for (int i = 0; i < 40 && !head.AnswerWaiting(); ++i) {
    head.Send("y");
    std::this_thread::sleep_for(milliseconds(100));
  }
  std::string answer = head.ReadAnswer();
  EXPECT_EQ(StatusOf(answer), 408) << answer;
  EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(4));
  answer = body.ReadAnswer();
  EXPECT_EQ(StatusOf(answer), 408) << answer;
  EXPECT_NE(answer.find("at most 2 seconds"), std::string::npos) << answer;
}

// Requests sent back to back on one connection are each answered once,
// with small bodies that arrive in pieces.
TEST_F(LimitedServerTest, PipelinedRequestsShareAConnection) {
  Start();
  RawClient client(port_);
  client.Send("POST /echo HTTP/1.1\r\nContent-Length: 5\r\n\r\nab");
  std::this_thread::sleep_for(milliseconds(50));
  client.Send("cdeGET / HTTP/1.1\r\n\r\nPOST /echo HTTP/1.1\r\nContent-Length: 1\r\n\r\nq");
  EXPECT_TRUE(client.ReadAnswer().ends_with("got 5"));
  EXPECT_TRUE(client.ReadAnswer().ends_with("ok"));
  EXPECT_TRUE(client.ReadAnswer().ends_with("got 1"));
}

TEST_F(LimitedServerTest, ConnectionsOverTheCapAreRefused503) {
  HttpLimits limits = TestLimits();
  limits.max_connections = 3;
  Start(limits);
  std::vector<std::unique_ptr<RawClient>> held;
  for (int i = 0; i < 3; ++i) {
    held.push_back(std::make_unique<RawClient>(port_));
    held.back()->Send("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(StatusOf(held.back()->ReadAnswer()), 200);
  }
  RawClient extra(port_);
  EXPECT_EQ(StatusOf(extra.ReadAnswer()), 503);
  held.clear();
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_TRUE(AnswersPromptly(milliseconds(2000)));
}

}  // namespace
}  // namespace korimba::web

#include "web/limited_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace korimba::web {
namespace {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;

constexpr size_t kReadChunk = 16 * 1024;
constexpr int kWriteTimeoutMs = 10'000;
// How long a refused client gets to stop sending before the socket closes.
constexpr auto kLingerTime = std::chrono::seconds(2);

int MillisUntil(TimePoint deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 60'000));
}

void AddressOf(int fd, bool peer, std::string& ip, int& port) {
  sockaddr_storage addr{};
  socklen_t length = sizeof addr;
  int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &length)
                : ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
  if (rc != 0) return;
  char text[INET6_ADDRSTRLEN] = {};
  if (addr.ss_family == AF_INET) {
    auto* in = reinterpret_cast<sockaddr_in*>(&addr);
    ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    port = ntohs(in->sin_port);
  } else if (addr.ss_family == AF_INET6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&addr);
    ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    port = ntohs(in6->sin6_port);
  }
  ip = text;
}

}  // namespace

// One accepted socket and the bytes received on it that no request has
// consumed yet. Closing it counts it off the server's open connections.
struct LimitedServer::ClientConnection {
  ClientConnection(int fd, std::atomic<size_t>& open) : fd(fd), open(open) { open.fetch_add(1); }
  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;
  ~ClientConnection() {
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
    open.fetch_sub(1);
  }

  // Best effort for short answers the watcher gives itself: never blocks.
  void SendNow(const std::string& data) const {
    size_t sent = 0;
    while (sent < data.size()) {
      ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  int fd;
  std::atomic<size_t>& open;
  std::string buffer;
  size_t requests = 0;
  // When the connection began to wait with nothing received (idle), and
  // when the first byte of the current request arrived.
  TimePoint idle_since = SteadyClock::now();
  std::optional<TimePoint> request_started;
  HeadScan scan;
  // Set once refused: the answer is sent, what the client still sends is
  // read off until this moment, then the socket closes.
  std::optional<TimePoint> closing_until;
  // A request whose body a worker must read waits for one of the workers
  // kept for that, so that slow uploads cannot take every worker.
  bool awaiting_slot = false;
  bool holds_slot = false;
};

namespace {

using ClientConnection = LimitedServer::ClientConnection;

// The stream httplib reads one request from and writes its answer to: it
// serves the bytes the watcher received first, then reads the socket, never
// past the request's deadline nor past the body limit.
class RequestStream final : public httplib::Stream {
 public:
  RequestStream(ClientConnection& conn, const HttpLimits& limits, TimePoint deadline)
      : conn_(conn), limits_(limits), deadline_(deadline) {}

  bool is_readable() const override {
    if (offset_ < conn_.buffer.size()) return true;
    pollfd p{conn_.fd, POLLIN, 0};
    return ::poll(&p, 1, MillisUntil(deadline_)) > 0;
  }
  bool is_writable() const override {
    pollfd p{conn_.fd, POLLOUT, 0};
    return ::poll(&p, 1, kWriteTimeoutMs) > 0;
  }

  ssize_t read(char* ptr, size_t size) override {
    const uint64_t allowed_end = conn_.scan.head_bytes + limits_.max_body_bytes;
    const uint64_t consumed = base_ + offset_;
    if (consumed >= allowed_end) {
      failed_ = true;
      SetCurrentLimitHit(BodyTooLarge(limits_));
      return -1;
    }
    size = static_cast<size_t>(std::min<uint64_t>(size, allowed_end - consumed));
    if (offset_ == conn_.buffer.size()) {
      base_ += offset_;
      conn_.buffer.clear();
      offset_ = 0;
      if (!Receive()) return -1;
    }
    size_t n = std::min(size, conn_.buffer.size() - offset_);
    std::copy_n(conn_.buffer.data() + offset_, n, ptr);
    offset_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!is_writable()) return -1;
    return ::send(conn_.fd, ptr, size, MSG_NOSIGNAL);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    AddressOf(conn_.fd, true, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    AddressOf(conn_.fd, false, ip, port);
  }
  socket_t socket() const override { return conn_.fd; }

  // Whether reading stopped at a limit or an error; the connection is then
  // not reused.
  bool failed() const { return failed_; }
  // Drops the bytes this request consumed; what stays is the next request.
  void KeepRest() { conn_.buffer.erase(0, offset_); }

 private:
  bool Receive() {
    pollfd p{conn_.fd, POLLIN, 0};
    int ready = ::poll(&p, 1, MillisUntil(deadline_));
    if (ready <= 0) {
      failed_ = true;
      SetCurrentLimitHit(
          LimitAnswer{408, "limit.too_slow", {std::to_string(limits_.request_deadline_seconds)}});
      return false;
    }
    char chunk[kReadChunk];
    ssize_t n = ::recv(conn_.fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n <= 0) {
      failed_ = true;
      return false;
    }
    conn_.buffer.append(chunk, static_cast<size_t>(n));
    return true;
  }

  ClientConnection& conn_;
  const HttpLimits& limits_;
  TimePoint deadline_;
  uint64_t base_ = 0;  // bytes of this request consumed before the buffer
  size_t offset_ = 0;
  bool failed_ = false;
};

}  // namespace

// The task queue httplib runs accepted sockets on, plus the watcher thread
// that holds every waiting connection. httplib shuts it down when the
// server stops: the watcher stops first (closing what waits), so nothing is
// queued after the pool has gone.
class LimitedServer::Workers final : public httplib::TaskQueue {
 public:
  Workers(LimitedServer& server, int threads)
      : server_(server), pool_(static_cast<size_t>(std::max(threads, 1))) {
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    watcher_ = std::thread([this] { Watch(); });
  }
  ~Workers() override {
    StopWatcher();
    if (wake_ >= 0) ::close(wake_);
  }

  void enqueue(std::function<void()> fn) override { pool_.enqueue(std::move(fn)); }
  void shutdown() override {
    StopWatcher();
    server_.workers_.store(nullptr);
    pool_.shutdown();
  }

  // Any thread: the connection waits with the watcher from now on (or is
  // closed, once the server stops).
  // Any thread: a body-reading worker is free again.
  void ReleaseSlot() {
    body_slots_.fetch_add(1);
    Wake();
  }

  void Park(std::unique_ptr<ClientConnection> conn) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
      arriving_.push_back(std::move(conn));
    }
    Wake();
  }

 private:
  void Wake() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
  }

  void StopWatcher() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_ && !watcher_.joinable()) return;
      stopping_ = true;
    }
    Wake();
    if (watcher_.joinable()) watcher_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    arriving_.clear();
  }

  // Looks at what a connection has received: hands a whole request to a
  // worker, refuses one over the limits, or keeps it waiting. Returns true
  // when the connection has left the watcher's list.
  bool Judge(std::unique_ptr<ClientConnection>& conn) {
    const HttpLimits& limits = server_.limits_;
    if (conn->closing_until) return false;
    if (conn->buffer.empty()) return false;
    if (!conn->request_started) conn->request_started = SteadyClock::now();
    conn->scan = ScanHead(conn->buffer, limits);
    switch (conn->scan.state) {
      case HeadScan::State::kIncomplete:
        return false;
      case HeadScan::State::kRefused:
        Refuse(*conn, conn->scan.answer);
        return false;
      case HeadScan::State::kComplete:
        break;
    }
    const HeadScan& scan = conn->scan;
    if (!scan.chunked && !scan.expect_continue && scan.content_length &&
        *scan.content_length <= static_cast<uint64_t>(limits.prefetch_body_bytes) &&
        conn->buffer.size() < scan.head_bytes + *scan.content_length) {
      return false;  // a small body still arriving
    }
    const bool reads_body =
        scan.chunked || scan.expect_continue || scan.body_until_close ||
        (scan.content_length && conn->buffer.size() < scan.head_bytes + *scan.content_length);
    if (reads_body && !conn->holds_slot) {
      int free = body_slots_.load();
      while (free > 0 && !body_slots_.compare_exchange_weak(free, free - 1)) {
      }
      conn->awaiting_slot = free <= 0;
      if (conn->awaiting_slot) return false;
      conn->holds_slot = true;
    }
    auto* raw = conn.release();
    pool_.enqueue([this, raw] { server_.Answer(std::unique_ptr<ClientConnection>(raw)); });
    return true;
  }

  void Refuse(ClientConnection& conn, const LimitAnswer& answer) {
    conn.awaiting_slot = false;
    conn.SendNow(LimitResponse(answer, HeadLanguage(conn.buffer)));
    ::shutdown(conn.fd, SHUT_WR);
    conn.buffer.clear();
    conn.closing_until = SteadyClock::now() + kLingerTime;
  }

  // Reads what is there; false when the connection is done (closed by the
  // client, or failed).
  bool Receive(ClientConnection& conn) {
    char chunk[kReadChunk];
    ssize_t n = ::recv(conn.fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (n == 0) return false;
    if (!conn.closing_until) conn.buffer.append(chunk, static_cast<size_t>(n));
    return true;
  }

  // Past its time: an idle connection closes, a request that has not
  // arrived in time is answered and closed, a refused one closes.
  bool Expired(ClientConnection& conn, TimePoint now) {
    const HttpLimits& limits = server_.limits_;
    if (conn.closing_until) return now >= *conn.closing_until;
    if (!conn.request_started) {
      return now >= conn.idle_since + std::chrono::seconds(limits.keep_alive_seconds);
    }
    if (now >= *conn.request_started + std::chrono::seconds(limits.request_deadline_seconds)) {
      Refuse(conn,
             LimitAnswer{408, "limit.too_slow", {std::to_string(limits.request_deadline_seconds)}});
    }
    return false;
  }

  TimePoint NextDeadline(const ClientConnection& conn) const {
    const HttpLimits& limits = server_.limits_;
    if (conn.closing_until) return *conn.closing_until;
    if (conn.request_started) {
      return *conn.request_started + std::chrono::seconds(limits.request_deadline_seconds);
    }
    return conn.idle_since + std::chrono::seconds(limits.keep_alive_seconds);
  }

  void Watch() {
    std::list<std::unique_ptr<ClientConnection>> waiting;
    std::vector<pollfd> fds;
    for (;;) {
      std::vector<std::unique_ptr<ClientConnection>> arrived;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) break;
        arrived.swap(arriving_);
      }
      // A connection given back may hold its next request already.
      for (auto& conn : arrived) {
        if (!Judge(conn)) waiting.push_back(std::move(conn));
      }
      TimePoint next = SteadyClock::now() + std::chrono::seconds(1);
      fds.assign(1, pollfd{wake_, POLLIN, 0});
      // Requests waiting for a body-reading worker get one once it is free.
      for (auto it = waiting.begin(); it != waiting.end();) {
        it = (*it)->awaiting_slot && Judge(*it) ? waiting.erase(it) : ++it;
      }
      for (const auto& conn : waiting) {
        // Waiting for a worker, a request is not read further; a hang-up
        // still shows.
        fds.push_back(pollfd{conn->fd, static_cast<short>(conn->awaiting_slot ? 0 : POLLIN), 0});
        next = std::min(next, NextDeadline(*conn));
      }
      ::poll(fds.data(), fds.size(), MillisUntil(next) + 1);
      if (fds[0].revents != 0) {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t n = ::read(wake_, &count, sizeof count);
      }
      const TimePoint now = SteadyClock::now();
      size_t index = 1;
      for (auto it = waiting.begin(); it != waiting.end(); ++index) {
        std::unique_ptr<ClientConnection>& conn = *it;
        bool gone = false;
        if (index < fds.size() && fds[index].revents != 0) {
          if (!Receive(*conn)) {
            gone = true;  // closed by the client: dropped with the pointer
          } else if (Judge(conn)) {
            gone = true;
          }
        }
        if (!gone && Expired(*conn, now)) gone = true;
        it = gone ? waiting.erase(it) : ++it;
      }
    }
  }

  LimitedServer& server_;
  httplib::ThreadPool pool_;
  int wake_ = -1;
  std::thread watcher_;
  std::mutex mutex_;
  bool stopping_ = false;
  std::vector<std::unique_ptr<ClientConnection>> arriving_;
  // Workers that may read request bodies at once: all but two, which stay
  // for requests that have arrived whole.
  std::atomic<int> body_slots_{std::max(server_.limits_.workers - 2, 1)};
};

LimitedServer::LimitedServer(HttpLimits limits) : limits_(WithDefaults(limits)) {
  set_keep_alive_timeout(limits_.keep_alive_seconds);
  set_keep_alive_max_count(static_cast<size_t>(limits_.keep_alive_requests));
  set_payload_max_length(static_cast<size_t>(limits_.max_body_bytes));
  new_task_queue = [this] {
    auto* workers = new Workers(*this, limits_.workers);
    workers_.store(workers);
    return workers;
  };
}

LimitedServer::~LimitedServer() = default;

bool LimitedServer::process_and_close_socket(socket_t sock) {
  auto conn = std::make_unique<ClientConnection>(sock, open_);
  if (open_.load() > static_cast<size_t>(limits_.max_connections)) {
    // Nothing of the request has been read: the pages' default language.
    conn->SendNow(LimitResponse({503, "limit.connections"}, HeadLanguage("")));
    return false;
  }
  Workers* workers = workers_.load();
  if (workers == nullptr) return false;
  workers->Park(std::move(conn));
  return true;
}

void LimitedServer::Answer(std::unique_ptr<ClientConnection> conn) {
  struct SlotGuard {
    ~SlotGuard() {
      if (!held) return;
      if (Workers* workers = server.workers_.load()) workers->ReleaseSlot();
    }
    LimitedServer& server;
    bool held;
  } slot{*this, std::exchange(conn->holds_slot, false)};
  const TimePoint started = conn->request_started.value_or(SteadyClock::now());
  RequestStream stream(*conn, limits_,
                       started + std::chrono::seconds(limits_.request_deadline_seconds));
  const bool last = ++conn->requests >= static_cast<size_t>(limits_.keep_alive_requests);
  bool closed_by_client = false;
  SetCurrentLimitHit(std::nullopt);
  bool ok = process_request(stream, last, closed_by_client, nullptr);
  const bool refused = CurrentLimitHit().has_value();
  SetCurrentLimitHit(std::nullopt);
  Workers* workers = workers_.load();
  if (workers == nullptr || !is_running()) return;
  if (refused) {
    // The client may still be sending; let the watcher read that off so
    // that the answer is not lost to a reset.
    ::shutdown(conn->fd, SHUT_WR);
    conn->buffer.clear();
    conn->closing_until = SteadyClock::now() + kLingerTime;
    workers->Park(std::move(conn));
    return;
  }
  if (!ok || stream.failed() || last || closed_by_client) return;
  stream.KeepRest();
  conn->scan = HeadScan{};
  conn->request_started.reset();
  conn->idle_since = SteadyClock::now();
  workers->Park(std::move(conn));
}

}  // namespace korimba::web

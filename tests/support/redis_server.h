// RedisServer starts a private redis-server for one test: on a free loopback
// port, without persistence (--save '' --appendonly no), and stops it again
// (SIGTERM, then SIGKILL) when destroyed. Where no redis-server is installed,
// available() is false and why() says so, for GTEST_SKIP. Stop() and Start()
// again on the same port let a test take Redis away and bring it back. One
// thread.
#ifndef KORIMBA_TESTS_SUPPORT_REDIS_SERVER_H_
#define KORIMBA_TESTS_SUPPORT_REDIS_SERVER_H_

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace korimba::testing {

class RedisServer {
 public:
  RedisServer() {
    for (const char* candidate : {"/usr/bin/redis-server", "/usr/local/bin/redis-server"}) {
      if (access(candidate, X_OK) == 0) program_ = candidate;
    }
    if (program_.empty()) {
      why_ = "redis-server is not installed (scripts/setup.sh installs it)";
      return;
    }
    port_ = FreePort();
    Start();
  }
  RedisServer(const RedisServer&) = delete;
  RedisServer& operator=(const RedisServer&) = delete;
  ~RedisServer() { Stop(); }

  bool available() const { return pid_ > 0; }
  const std::string& why() const { return why_; }
  int port() const { return port_; }
  std::string url() const { return "redis://127.0.0.1:" + std::to_string(port_); }

  void Start() {
    if (pid_ > 0 || program_.empty()) return;
    const std::string port = std::to_string(port_);
    pid_ = fork();
    if (pid_ == 0) {
      // Its start-up banner and warnings would drown the test's own output.
      // (dup2, not freopen: that would flush the test's buffered output a
      // second time from this copy of the process.)
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execl(program_.c_str(), program_.c_str(), "--port", port.c_str(), "--bind", "127.0.0.1",
            "--save", "", "--appendonly", "no", "--loglevel", "warning", "--daemonize", "no",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    // Ready once it accepts a connection (a slow machine: up to 10 s).
    for (int i = 0; i < 1000; ++i) {
      if (Accepts()) return;
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    why_ = "redis-server did not start on port " + port;
    Stop();
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 300; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  static int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
  }

  bool Accepts() const {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port_));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
  }

  std::string program_;
  std::string why_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_SUPPORT_REDIS_SERVER_H_

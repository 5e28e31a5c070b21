// `korimba serve` as an administrator starts it: a second server on an
// address already in use fails at once, naming the address, instead of
// sharing the port and taking half of the first one's visitors.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/cli/run_korimba.h"

namespace korimba::testing {
namespace {

class ServeProgramTest : public ProgramTest {
 protected:
  // Runs a shell command line; its output with stderr joined, and its status.
  static std::string Shell(const std::string& command, int* status) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return "popen failed";
    std::string out;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    *status = pclose(pipe);
    return out;
  }
  std::string Serve(const std::string& listen) const {
    return "timeout 20 " + KorimbaProgram() + " serve --db " + Db() + " --listen " + listen +
           " --attachments '" + (dir_ / "files").string() + "'";
  }
};

TEST_F(ServeProgramTest, ABusyAddressFailsAtOnceWithExitStatusOne) {
  // The holder asks for every kind of sharing a listener can offer, as a
  // server that binds with SO_REUSEPORT would.
  const int holder = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(holder, 0);
  int yes = 1;
  setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  setsockopt(holder, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(holder, 4), 0);
  socklen_t len = sizeof addr;
  getsockname(holder, reinterpret_cast<sockaddr*>(&addr), &len);
  const std::string address = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));

  Run("init-db --db " + Db());
  // `timeout` ends a server that wrongly started after all (status 124).
  int status = 0;
  const std::string out = Shell(Serve(address), &status);
  close(holder);
  ASSERT_TRUE(WIFEXITED(status)) << out;
  EXPECT_EQ(WEXITSTATUS(status), 1) << out;
  EXPECT_NE(out.find("cannot listen on " + address), std::string::npos) << out;
}

// SIGTERM stops the server: it stops accepting, lets what is in flight
// finish and exits 0.
TEST_F(ServeProgramTest, SigtermStopsTheServerWithExitStatusZero) {
  Run("init-db --db " + Db());
  int status = 0;
  // The signal is sent once the server says where it listens (a slow
  // machine or a sanitizer build may take a while to get there).
  const std::string log = (dir_ / "serve.txt").string();
  const std::string out = Shell(
      "(exec " + Serve("127.0.0.1:0") + " > '" + log + "') & pid=$!; for i in $(seq 200); do " +
          "grep -q 'pages at' '" + log + "' && break; sleep 0.1; done; kill -TERM $pid; " +
          "wait $pid; echo status=$?; cat '" + log + "'",
      &status);
  EXPECT_NE(out.find("Korimba pages at http://127.0.0.1:"), std::string::npos) << out;
  EXPECT_NE(out.find("Korimba pages stopped."), std::string::npos) << out;
  EXPECT_NE(out.find("status=0"), std::string::npos) << out;
}

}  // namespace
}  // namespace korimba::testing

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

class ServeProgramTest : public ProgramTest {};

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
  const std::string command = "timeout 20 " + KorimbaProgram() + " serve --db " + Db() +
                              " --listen " + address + " --attachments '" +
                              (dir_ / "files").string() + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  const int status = pclose(pipe);
  close(holder);
  ASSERT_TRUE(WIFEXITED(status)) << out;
  EXPECT_EQ(WEXITSTATUS(status), 1) << out;
  EXPECT_NE(out.find("cannot listen on " + address), std::string::npos) << out;
}

}  // namespace
}  // namespace korimba::testing

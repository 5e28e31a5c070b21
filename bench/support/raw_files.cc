#include "bench/support/raw_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace korimba::bench {
namespace {

constexpr size_t kRecordHeader = 12;

[[noreturn]] void Fail(const char* what, const std::string& path) {
  throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
}

}  // namespace

void RawPlaceFile(const std::string& temp, const std::string& path, std::string_view data) {
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) Fail("cannot create", temp);
  size_t written = 0;
  while (written < data.size()) {
    const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0 && errno != EINTR) Fail("cannot write", temp);
    if (n > 0) written += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) Fail("cannot close", temp);
  if (std::rename(temp.c_str(), path.c_str()) != 0) Fail("cannot rename", temp);
}

std::vector<uint8_t> RawReadRecord(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    Fail("cannot open", path);
  }
  std::string data;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      Fail("cannot read", path);
    }
    if (n == 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  if (data.size() < kRecordHeader) return {};
  return {data.begin() + kRecordHeader, data.end()};
}

}  // namespace korimba::bench

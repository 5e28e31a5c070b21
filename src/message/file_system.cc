#include "message/file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace korimba {
namespace {

// A file descriptor that is closed when it goes out of scope; Close() lets
// the writer see the error a close can report.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Returns 0 or the errno of a failed close.
  int Close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

class SystemFiles final : public FileSystem {
 public:
  CreateResult CreateFile(const std::string& path, std::string_view data) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return {errno, false};
    FileHandle file(fd);
    int err = 0;
    size_t written = 0;
    while (err == 0 && written < data.size()) {
      ssize_t n = ::write(file.get(), data.data() + written, data.size() - written);
      if (n < 0 && errno != EINTR) err = errno;
      if (n > 0) written += static_cast<size_t>(n);
    }
    if (int close_err = file.Close(); err == 0) err = close_err;
    if (err != 0) ::unlink(path.c_str());
    return {err, true};
  }

  int Rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }

  int Remove(const std::string& path) override { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

  int ReadFile(const std::string& path, std::string* data) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    FileHandle file(fd);
    data->clear();
    char buffer[65536];
    for (;;) {
      ssize_t n = ::read(file.get(), buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (n == 0) return 0;
      data->append(buffer, static_cast<size_t>(n));
    }
  }
};

}  // namespace

const std::shared_ptr<FileSystem>& SystemFileSystem() {
  static const std::shared_ptr<FileSystem> files = std::make_shared<SystemFiles>();
  return files;
}

}  // namespace korimba

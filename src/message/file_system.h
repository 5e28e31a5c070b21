// FileSystem is the handful of file operations the attachment store needs,
// behind an interface so that tests can make any one of them fail (the
// tests run as root, where permissions never do). Each operation reports 0
// or the errno of its failure; none throws. SystemFileSystem() is the real
// one, shared and stateless; any thread.
#ifndef KORIMBA_MESSAGE_FILE_SYSTEM_H_
#define KORIMBA_MESSAGE_FILE_SYSTEM_H_

#include <memory>
#include <string>
#include <string_view>

namespace korimba {

class FileSystem {
 public:
  struct CreateResult {
    int error = 0;
    // The file was opened, so the error came from writing or closing it.
    bool opened = false;
  };

  virtual ~FileSystem() = default;

  // Creates `path`, which must not exist yet (EEXIST otherwise), holding
  // `data`, and closes it. On failure no file of that name stays behind.
  virtual CreateResult CreateFile(const std::string& path, std::string_view data) = 0;
  // Renames `from` to `to`, replacing `to` whole.
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  // Removes a file; ENOENT when there is none.
  virtual int Remove(const std::string& path) = 0;
  // The whole content of a file; ENOENT when there is none.
  virtual int ReadFile(const std::string& path, std::string* data) = 0;
};

const std::shared_ptr<FileSystem>& SystemFileSystem();

}  // namespace korimba

#endif  // KORIMBA_MESSAGE_FILE_SYSTEM_H_

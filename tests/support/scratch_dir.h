// ScratchDir is a fresh, empty directory under the system's temporary
// directory for one test: made when the guard is made, removed with all it
// holds when the guard goes, so a failing test leaves nothing behind for the
// next. Listing names what a directory holds, for tests that check which
// files a call created or left. One thread.
#ifndef KORIMBA_TESTS_SUPPORT_SCRATCH_DIR_H_
#define KORIMBA_TESTS_SUPPORT_SCRATCH_DIR_H_

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace korimba::testing {

class ScratchDir {
 public:
  // `stem` starts the directory's name, so a left-over one names its test.
  explicit ScratchDir(const std::string& stem) {
    std::string pattern = (std::filesystem::temp_directory_path() / (stem + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot make a scratch directory " + pattern);
    }
    path_ = pattern;
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The names of the entries directly inside `dir`, sorted.
inline std::vector<std::string> Listing(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_SUPPORT_SCRATCH_DIR_H_

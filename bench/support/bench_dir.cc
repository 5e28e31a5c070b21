#include "bench/support/bench_dir.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace korimba::bench {

std::string BenchDir() {
  const char* dir = std::getenv("KORIMBA_BENCH_DIR");
  if (dir && *dir) return dir;
  // The programs live in <build>/bench; the data goes beside them.
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || !exe.has_parent_path()) return "bench-data";
  return (exe.parent_path().parent_path() / "bench-data").string();
}

std::string BenchDataTag() { return "-v" + std::to_string(kBenchDataVersion); }

bool LargeSizes() {
  const char* value = std::getenv("KORIMBA_BENCH_LARGE");
  return value != nullptr && std::string_view(value) != "" && std::string_view(value) != "0";
}

}  // namespace korimba::bench

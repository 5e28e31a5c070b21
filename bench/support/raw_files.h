// Attachment file work done by hand, for the raw sides of the Message
// benchmarks: the same system calls the component's attachment store makes
// (a new file created exclusively, written, closed and renamed into place;
// a file opened, read whole and its record's bytes copied out), with
// nothing of the component in between. Throws std::runtime_error on a
// failure. Any thread.
#ifndef KORIMBA_BENCH_SUPPORT_RAW_FILES_H_
#define KORIMBA_BENCH_SUPPORT_RAW_FILES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korimba::bench {

// Writes `data` into a new file `temp`, then renames it to `path`.
void RawPlaceFile(const std::string& temp, const std::string& path, std::string_view data);

// The bytes after the 12-byte record header of the file at `path`; empty
// when the file does not exist.
std::vector<uint8_t> RawReadRecord(const std::string& path);

}  // namespace korimba::bench

#endif  // KORIMBA_BENCH_SUPPORT_RAW_FILES_H_

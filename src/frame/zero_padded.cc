#include "frame/zero_padded.h"

namespace korimba {

void AppendZeroPadded(std::string& out, int64_t value, int width) {
  char digits[20];
  int n = 0;
  uint64_t magnitude = value < 0 ? 0u - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) {
    out += '-';
    --width;
  }
  for (int i = n; i < width; ++i) out += '0';
  while (n > 0) out += digits[--n];
}

}  // namespace korimba

// AppendZeroPadded writes a whole number in at least `width` digits, zero
// padded, as printf's "%0Nd" does (a wider value keeps all its digits, a
// negative one its sign within the width). The date texts bound into
// statements and shown on pages are built with it: a formatted print cost
// more than the rest of their conversion. A plain function; any thread.
#ifndef KORIMBA_FRAME_ZERO_PADDED_H_
#define KORIMBA_FRAME_ZERO_PADDED_H_

#include <cstdint>
#include <string>

namespace korimba {

void AppendZeroPadded(std::string& out, int64_t value, int width);

}  // namespace korimba

#endif  // KORIMBA_FRAME_ZERO_PADDED_H_

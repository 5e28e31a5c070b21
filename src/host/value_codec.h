// The one serialized form of a Variant, used wherever a page host keeps a
// value outside the process (the Redis host's sessions and Application) and
// by the host tests, so every host gives back exactly the value it was given.
//
// Form (all numbers little-endian): one version byte 0x01, then one value:
//   'E' Empty      'N' Null       'M' missing argument
//   'h' I2  int16           'i' I4  int32
//   'f' R4  float's 32 bits 'd' R8  double's 64 bits
//   't' Date the serial's 64 bits (times keep every bit, no text round trip)
//   'b' Bool one byte 0 or 1
//   's' Text uint32 length, then the UTF-8 bytes
//   'y' Bytes int32 lower bound, uint32 length, then the bytes
//   'x' "no array" (declared, never created)
//   'a' Array uint8 dimension count (1..60), per dimension int32 lower and
//       int32 upper bound, then every cell as a value in storage order
//       (first index fastest); cells may be arrays again (at most 32 deep)
// Objects live in one process and have no serialized form: encoding one
// fails with a type mismatch. Decoding checks every length against the
// bytes that remain, so damaged or foreign data fails cleanly instead of
// reading past the end or allocating without bound.
// Free functions on plain values; any thread.
#ifndef KORIMBA_HOST_VALUE_CODEC_H_
#define KORIMBA_HOST_VALUE_CODEC_H_

#include <string>
#include <string_view>

#include "frame/variant.h"

namespace korimba {

// The value's serialized form; an AutomationError (type mismatch) when it
// holds an object, anywhere in its cells.
std::string EncodeValue(const Variant& value);

// The value back from its serialized form; an AutomationError (page host)
// naming what is wrong when `data` is not exactly one value in this form.
Variant DecodeValue(std::string_view data);

}  // namespace korimba

#endif  // KORIMBA_HOST_VALUE_CODEC_H_

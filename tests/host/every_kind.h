// Values of every Variant kind, with the corners of each, for the tests of
// everything that keeps values: the stored form and both page hosts.
#ifndef KORIMBA_TESTS_HOST_EVERY_KIND_H_
#define KORIMBA_TESTS_HOST_EVERY_KIND_H_

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "frame/safe_array.h"
#include "frame/variant.h"

namespace korimba {

inline Variant ArrayOf(std::vector<Bound> bounds, std::vector<Variant> cells) {
  return Variant::Array(std::make_shared<SafeArray>(std::move(bounds), std::move(cells)));
}

// The values a session or the Application holds in practice, and the corners
// of every kind: each must come back with its kind, its bits and its bounds.
inline std::vector<Variant> EveryKind() {
  const Date noon_2024 = *MakeDate(CivilDateTime{2024, 3, 5, 12, 0, 0});
  const Date last_moment = *MakeDate(CivilDateTime{9999, 12, 31, 23, 59, 59, 997});
  return {
      Variant(),
      Variant::Null(),
      Variant::Missing(),
      Variant::I2(-32768),
      Variant::I2(7),
      Variant::I4(70000),
      Variant::I4(std::numeric_limits<int32_t>::min()),
      Variant::R4(1.5f),
      Variant::R4(0.1f),  // not widened to the double 0.1
      Variant::R4(-0.0f),
      Variant::R8(0.1),
      Variant::R8(std::numeric_limits<double>::denorm_min()),
      Variant::R8(-std::numeric_limits<double>::infinity()),
      Variant::FromDate(noon_2024),
      Variant::FromDate(last_moment),
      Variant::FromDate(Date{-1.25}),          // before the origin, 06:00
      Variant::FromDate(Date{0.375}),          // a time with no date
      Variant::FromDate(Date{45356.1234567}),  // a time finer than a millisecond
      Variant::Text(""),
      Variant::Text("Ann's list, 王芳"),
      Variant::Text(std::string("nul\0inside", 10)),
      Variant::Bool(true),
      Variant::Bool(false),
      Variant::Bytes(ByteArray{{0, 255, 10, 13}, 1}),
      Variant::Bytes(ByteArray{}),
      Variant::NoArray(),
      ArrayOf({{0, -1}}, {}),
      ArrayOf({{1, 3}}, {Variant::I4(1), Variant::Null(), Variant()}),
      // The on-line list's shape: two rows of a 0-based grid, columns first.
      ArrayOf({{0, 1}, {0, 2}}, {Variant::I4(2), Variant::Text("Wang"), Variant::Text("Li"),
                                 Variant::I4(3), Variant::FromDate(noon_2024), Variant::R4(2.5f)}),
      ArrayOf({{-5, -4}}, {ArrayOf({{10, 10}}, {Variant::Text("inner")}), Variant::NoArray()}),
  };
}

}  // namespace korimba

#endif  // KORIMBA_TESTS_HOST_EVERY_KIND_H_

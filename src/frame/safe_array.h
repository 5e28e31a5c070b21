// SafeArray is an array of Variants with one or more dimensions, each with
// its own lower and upper bound (upper = lower - 1 for an empty dimension).
// Cells start Empty. Indexing outside the bounds raises a subscript error.
// Redim keeps the values of the cells that lie inside both the old and the
// new bounds. Owned through Variant (shared until written); one thread at a
// time.
#ifndef KORIMBA_FRAME_SAFE_ARRAY_H_
#define KORIMBA_FRAME_SAFE_ARRAY_H_

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "frame/variant.h"

namespace korimba {

struct Bound {
  int32_t lower = 0;
  int32_t upper = -1;
  // 64-bit so that extreme bounds (-2^31 .. 2^31-1) cannot overflow.
  int64_t count() const { return int64_t{upper} - lower + 1; }
  friend bool operator==(const Bound&, const Bound&) = default;
};

class SafeArray {
 public:
  explicit SafeArray(std::vector<Bound> bounds);
  // An array that takes over `cells`, already in storage order; there must be
  // exactly as many as the bounds hold.
  SafeArray(std::vector<Bound> bounds, std::vector<Variant> cells);

  int dims() const { return static_cast<int>(bounds_.size()); }
  // Bound of dimension `dim`, counted from 1 as scripts do; a subscript error
  // for a dimension the array does not have.
  Bound bound(int dim) const;
  const std::vector<Bound>& bounds() const { return bounds_; }

  Variant& at(std::span<const int32_t> index);
  const Variant& at(std::span<const int32_t> index) const;
  Variant& at(std::initializer_list<int32_t> index) {
    return at(std::span(index.begin(), index.size()));
  }
  const Variant& at(std::initializer_list<int32_t> index) const {
    return at(std::span(index.begin(), index.size()));
  }

  // Changes the bounds, keeping the values of cells inside both old and new
  // bounds; the number of dimensions must stay the same.
  void Redim(std::vector<Bound> bounds);

  // Cells in storage order: the first index varies fastest.
  const std::vector<Variant>& cells() const { return cells_; }
  std::vector<Variant>& cells() { return cells_; }

  friend bool operator==(const SafeArray&, const SafeArray&) = default;

 private:
  size_t Offset(std::span<const int32_t> index) const;

  std::vector<Bound> bounds_;
  std::vector<Variant> cells_;
};

}  // namespace korimba

#endif  // KORIMBA_FRAME_SAFE_ARRAY_H_

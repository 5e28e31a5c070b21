#include "frame/safe_array.h"

#include <string>

#include "frame/error.h"

namespace korimba {
namespace {

size_t CellCount(const std::vector<Bound>& bounds) {
  size_t n = 1;
  for (const Bound& b : bounds) n *= static_cast<size_t>(b.count() > 0 ? b.count() : 0);
  return n;
}

void CheckBounds(const std::vector<Bound>& bounds) {
  if (bounds.empty()) ThrowSubscript("an array needs at least one dimension");
  for (const Bound& b : bounds) {
    if (b.count() < 0) ThrowSubscript("upper bound below lower bound");
  }
}

}  // namespace

SafeArray::SafeArray(std::vector<Bound> bounds) : bounds_(std::move(bounds)) {
  CheckBounds(bounds_);
  cells_.resize(CellCount(bounds_));
}

SafeArray::SafeArray(std::vector<Bound> bounds, std::vector<Variant> cells)
    : bounds_(std::move(bounds)), cells_(std::move(cells)) {
  CheckBounds(bounds_);
  if (cells_.size() != CellCount(bounds_)) {
    ThrowSubscript(std::to_string(cells_.size()) + " cells for an array of " +
                   std::to_string(CellCount(bounds_)));
  }
}

Bound SafeArray::bound(int dim) const {
  if (dim < 1 || dim > dims()) ThrowSubscript("the array has no dimension " + std::to_string(dim));
  return bounds_[dim - 1];
}

size_t SafeArray::Offset(std::span<const int32_t> index) const {
  // Grids are two-dimensional and filled cell by cell, so that case skips
  // the general loop; anything out of range falls through to it for the
  // error.
  if (index.size() == 2 && bounds_.size() == 2) {
    const Bound& rows = bounds_[0];
    const Bound& cols = bounds_[1];
    const int32_t i = index[0];
    const int32_t j = index[1];
    if (i >= rows.lower && i <= rows.upper && j >= cols.lower && j <= cols.upper) {
      return static_cast<size_t>(int64_t{i} - rows.lower) +
             static_cast<size_t>(int64_t{j} - cols.lower) * static_cast<size_t>(rows.count());
    }
  }
  if (index.size() != bounds_.size()) {
    ThrowSubscript("wrong number of indexes: " + std::to_string(index.size()) + " for " +
                   std::to_string(bounds_.size()) + " dimensions");
  }
  size_t offset = 0;
  size_t stride = 1;
  for (size_t d = 0; d < bounds_.size(); ++d) {
    const Bound& b = bounds_[d];
    if (index[d] < b.lower || index[d] > b.upper) {
      ThrowSubscript("index " + std::to_string(index[d]) + " outside " + std::to_string(b.lower) +
                     " to " + std::to_string(b.upper));
    }
    offset += static_cast<size_t>(index[d] - b.lower) * stride;
    stride *= static_cast<size_t>(b.count());
  }
  return offset;
}

Variant& SafeArray::at(std::span<const int32_t> index) { return cells_[Offset(index)]; }
const Variant& SafeArray::at(std::span<const int32_t> index) const { return cells_[Offset(index)]; }

void SafeArray::Redim(std::vector<Bound> bounds) {
  if (bounds.size() != bounds_.size())
    ThrowSubscript("a resize cannot change the number of dimensions");
  for (const Bound& b : bounds) {
    if (b.upper < b.lower) ThrowSubscript("a resize to an empty dimension");
  }
  SafeArray resized(bounds);
  // Walk every index of the new array and copy cells that the old one has.
  std::vector<int32_t> index(bounds.size());
  for (size_t d = 0; d < bounds.size(); ++d) index[d] = bounds[d].lower;
  for (size_t n = 0; n < resized.cells_.size(); ++n) {
    bool inside = true;
    for (size_t d = 0; d < bounds.size(); ++d) {
      if (index[d] < bounds_[d].lower || index[d] > bounds_[d].upper) inside = false;
    }
    if (inside) resized.cells_[n] = std::move(cells_[Offset(index)]);
    for (size_t d = 0; d < bounds.size(); ++d) {
      if (++index[d] <= bounds[d].upper) break;
      index[d] = bounds[d].lower;
    }
  }
  *this = std::move(resized);
}

}  // namespace korimba

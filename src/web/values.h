// Reading the component's answers for display, and reading form input into
// values the component may be given: the text a page shows for a Variant
// (dates without seconds), a read-only view of a two-dimensional ResultGrid
// (no array and the one-cell Empty grid both read as "no rows"), and strict parsers for ids, page
// numbers and dates typed into forms. Free functions and plain values; any thread.
#ifndef KORIMBA_WEB_VALUES_H_
#define KORIMBA_WEB_VALUES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "frame/date.h"
#include "frame/variant.h"

namespace korimba::web {

// Empty and Null show as "", a date as "2024-03-05 09:07" (or "2024-03-05" at
// midnight), other values in their text form; values without one (arrays,
// objects) as "".
std::string DisplayText(const Variant& value);

// A date as the text of a form field or link: "2024-03-05".
std::string DateParam(Date date);
// A date and time as a datetime-local field value: "2024-03-05T09:07".
std::string DateTimeParam(Date date);

// The server's time zone as shown beside time fields: its abbreviation and
// offset at this moment, "CST (UTC+08:00)"; form times are read in it.
std::string ServerTimeZone();

// A two-dimensional array as the component returns it (the view keeps its
// own reference to the cells). `first` is the first index (rows of a built
// grid, columns of a row set), `second` the other.
class GridView {
 public:
  explicit GridView(Variant grid);
  bool is_grid() const { return array_ != nullptr; }
  int32_t first_count() const { return first_; }
  int32_t second_count() const { return second_; }
  const Variant& at(int32_t i, int32_t j) const;
  // A copy of the cell, or Empty when (i, j) lies outside the grid (as in
  // the one-cell grid of no rows).
  Variant CellOrEmpty(int32_t i, int32_t j) const;
  // True for no array, and for the one-cell grid holding Empty.
  bool IsNoRows() const;

 private:
  Variant grid_;
  const class SafeArray* array_ = nullptr;
  int32_t first_ = 0;
  int32_t second_ = 0;
};

// Whole positive numbers written with digits only, up to 2147483647.
std::optional<int32_t> ParsePositiveInt(std::string_view text);
// "2024-03-05", "2024-03-05T09:07", "2024-03-05 09:07[:ss]" (also without
// leading zeros); nullopt for anything else.
std::optional<Date> ParseFormDate(std::string_view text);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_VALUES_H_

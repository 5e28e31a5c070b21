#include "web/values.h"

#include <cctype>
#include <cstdio>
#include <ctime>

#include "frame/error.h"
#include "frame/safe_array.h"
#include "frame/value_ops.h"
#include "frame/zero_padded.h"

namespace korimba::web {

std::string ServerTimeZone() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  long offset = local.tm_gmtoff / 60;
  char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  char text[64];
  std::snprintf(text, sizeof text, "%s (UTC%c%02ld:%02ld)", local.tm_zone ? local.tm_zone : "",
                sign, offset / 60, offset % 60);
  return text;
}

std::string DisplayText(const Variant& value) {
  if (const Date* date = value.date()) {
    // Every list shows a date or two per row: built by hand, not by printf.
    CivilDateTime p = SplitDate(*date);
    std::string out;
    out.reserve(16);
    AppendZeroPadded(out, p.year, 4);
    out += '-';
    AppendZeroPadded(out, p.month, 2);
    out += '-';
    AppendZeroPadded(out, p.day, 2);
    if (p.hour != 0 || p.minute != 0 || p.second != 0) {
      out += ' ';
      AppendZeroPadded(out, p.hour, 2);
      out += ':';
      AppendZeroPadded(out, p.minute, 2);
    }
    return out;
  }
  switch (value.kind()) {
    case VarKind::kObject:
    case VarKind::kArray:
    case VarKind::kBytes:
    case VarKind::kMissing:
      return "";
    default:
      return TextForm(value);
  }
}

std::string DateParam(Date date) {
  CivilDateTime p = SplitDate(date);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
  return buf;
}

std::string DateTimeParam(Date date) {
  CivilDateTime p = SplitDate(date);
  char buf[24];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute);
  return buf;
}

GridView::GridView(Variant grid) : grid_(std::move(grid)) {
  const SafeArray* array = grid_.array();
  if (array == nullptr || array->dims() != 2) return;
  array_ = array;
  first_ = array->bound(1).count();
  second_ = array->bound(2).count();
}

const Variant& GridView::at(int32_t i, int32_t j) const {
  if (array_ == nullptr || i < 0 || j < 0 || i >= first_ || j >= second_) {
    ThrowSubscript("cell outside the grid");
  }
  return array_->at({array_->bound(1).lower + i, array_->bound(2).lower + j});
}

Variant GridView::CellOrEmpty(int32_t i, int32_t j) const {
  if (i < 0 || j < 0 || i >= first_ || j >= second_) return Variant();
  return at(i, j);
}

bool GridView::IsNoRows() const {
  if (array_ == nullptr || first_ == 0 || second_ == 0) return true;
  return first_ == 1 && second_ == 1 && at(0, 0).is_empty();
}

std::optional<int32_t> ParsePositiveInt(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::optional<Date> ParseFormDate(std::string_view text) {
  std::string normal(text);
  for (char& c : normal) {
    if (c == 'T') c = ' ';
  }
  // Only digits, '-', ':' and one blank: the date parser must not see
  // anything a statement could take for more than a date.
  int blanks = 0;
  for (char c : normal) {
    if (c == ' ')
      ++blanks;
    else if (!std::isdigit(static_cast<unsigned char>(c)) && c != '-' && c != ':')
      return std::nullopt;
  }
  if (blanks > 1 || normal.empty()) return std::nullopt;
  return ParseDateText(normal);
}

}  // namespace korimba::web

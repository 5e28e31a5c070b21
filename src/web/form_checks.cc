#include "web/form_checks.h"

#include <string>

#include "web/site.h"

namespace korimba::web {

size_t StoredLength(std::string_view text) {
  size_t units = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) == 0x80) continue;  // continuation byte
    units += c >= 0xF0 ? 2 : 1;        // outside the BMP: a surrogate pair
  }
  return units;
}

void CheckLength(const PageRequest& page, std::string_view text, size_t max_chars,
                 std::string_view what) {
  const size_t length = StoredLength(text);
  if (length > max_chars) {
    throw BadInput("error.too_long",
                   {page.FieldName(what), std::to_string(max_chars), std::to_string(length)});
  }
}

void CheckStoredDate(const PageRequest& page, Date date, std::string_view what, int last_year) {
  const int year = SplitDate(date).year;
  if (year < 1753 || year > last_year) {
    throw BadInput("error.year_range", {page.FieldName(what), std::to_string(last_year)});
  }
}

}  // namespace korimba::web

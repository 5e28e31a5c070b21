// Checks of form values against what the database's columns can hold, so
// that a value a visitor can correct is refused with a message naming the
// field in the page's language (BadInput, status 400) instead of failing in
// the database. `what` is the field's name as PageRequest::FieldName takes
// it. Free functions; the page's thread.
#ifndef KORIMBA_WEB_FORM_CHECKS_H_
#define KORIMBA_WEB_FORM_CHECKS_H_

#include <cstddef>
#include <string_view>

#include "frame/date.h"

namespace korimba::web {

class PageRequest;

// Lengths of the character columns the pages write.
inline constexpr size_t kTitleChars = 200;     // DATA_Msg.MsgTitle
inline constexpr size_t kFileNameChars = 255;  // DATA_Msg.MsgFileName
inline constexpr size_t kPlaceChars = 200;     // DATA_Plan.PlanPlace

// The length of UTF-8 text as the database counts it: UTF-16 code units.
size_t StoredLength(std::string_view text);

// BadInput naming `what` when `text` is longer than `max_chars`.
void CheckLength(const PageRequest& page, std::string_view text, size_t max_chars,
                 std::string_view what);

// BadInput naming `what` when the date lies outside the years the
// database's date and time type holds (1753 to 9999). Views that reach past
// their date (a month, a week) pass an earlier last year.
void CheckStoredDate(const PageRequest& page, Date date, std::string_view what,
                     int last_year = 9999);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_FORM_CHECKS_H_

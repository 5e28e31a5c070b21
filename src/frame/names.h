// Names that scripts and pages use (methods, result fields, session and
// application values, server variables, ProgIDs) are matched without regard to
// case. These two helpers are the one place that rule lives. Names are
// compared by ASCII letters only; other bytes (UTF-8 text such as Chinese
// column aliases) must match exactly. Free functions; any thread.
#ifndef KORIMBA_FRAME_NAMES_H_
#define KORIMBA_FRAME_NAMES_H_

#include <string>
#include <string_view>

namespace korimba {

bool SameName(std::string_view a, std::string_view b);
// The name with ASCII letters in lower case: a key under which every spelling
// of the name meets.
std::string FoldName(std::string_view name);

}  // namespace korimba

#endif  // KORIMBA_FRAME_NAMES_H_

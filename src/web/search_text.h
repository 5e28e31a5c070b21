// The two uses of a visitor's search text: the LIKE pattern that finds it
// anywhere in a column, with its own %, _ and [ matching only themselves,
// and the HTML of a found text with every occurrence marked. Matching
// ignores the case of ASCII letters, as both databases' LIKE does under the
// office's collation. Free functions; any thread.
#ifndef KORIMBA_WEB_SEARCH_TEXT_H_
#define KORIMBA_WEB_SEARCH_TEXT_H_

#include <string>
#include <string_view>

namespace korimba::web {

// "%" + text + "%" with %, _ and [ written as [%], [_] and [[]: the form
// SQL Server and the embedded database both read as the character itself.
// Apostrophes are left for the statement builder to double.
std::string ContainsPattern(std::string_view text);

// `text` HTML-escaped, with each occurrence of `needle` (ASCII case
// ignored) inside <mark>...</mark>. Occurrences are found in the text
// before escaping, so a needle such as "amp" never marks part of an
// entity; an empty needle marks nothing.
std::string HighlightHtml(std::string_view text, std::string_view needle);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_SEARCH_TEXT_H_

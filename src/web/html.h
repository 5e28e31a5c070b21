// HTML and URL text helpers for the pages: escaping of every value a page
// shows, the calendar cell rule (the component's own "<br>" joins become line
// breaks, everything inside a plan's content stays escaped), and the
// percent-encodings used in links and in the download file name. Free
// functions; any thread.
#ifndef KORIMBA_WEB_HTML_H_
#define KORIMBA_WEB_HTML_H_

#include <string>
#include <string_view>

namespace korimba::web {

// Escapes & < > " ' so the text is safe in element content and in quoted
// attribute values.
std::string HtmlEscape(std::string_view text);
// The same, appended to `out`: a page's values are escaped straight into the
// page being rendered, the runs between special characters copied whole.
void AppendHtmlEscaped(std::string& out, std::string_view text);

// A calendar cell or a joined list of plan contents: split on the exact
// "<br>" separators the component put between contents, escape each part, and
// join the parts with "<br>" elements.
std::string JoinedContentsHtml(std::string_view joined);

// Percent-encodes everything but unreserved characters (RFC 3986), for query
// values and the filename* parameter of Content-Disposition.
std::string PercentEncode(std::string_view text);

// An ASCII stand-in for a file name in the plain filename= parameter: quotes,
// backslashes, control and non-ASCII characters become "_".
std::string AsciiFileName(std::string_view name);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_HTML_H_

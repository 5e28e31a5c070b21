// MaskSecrets hides the secrets inside a text before it is shown: the value
// of every "PWD=" and "Password=" pair of a connection string (keys without
// regard to case, a value running to the next ";" or, in ODBC's braces, to
// the closing "}") becomes "***". Every message, log line and error page that
// may carry a connection string passes it through here. Pure; any thread.
#ifndef KORIMBA_WEB_SECRET_MASK_H_
#define KORIMBA_WEB_SECRET_MASK_H_

#include <string>
#include <string_view>

namespace korimba::web {

std::string MaskSecrets(std::string_view text);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_SECRET_MASK_H_

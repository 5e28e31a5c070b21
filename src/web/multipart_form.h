// Reading multipart/form-data bodies ourselves: httplib's reader drops the
// file name given as filename*= (RFC 5987, how clients send names outside
// ASCII) and the part name when it is not quoted, so an attachment would be
// lost while the post succeeds. The server keeps multipart bodies raw
// (KeepMultipartRaw, from the pre-routing handler) and the page wrapper
// parses them here into the request's files. Free functions; any thread.
#ifndef KORIMBA_WEB_MULTIPART_FORM_H_
#define KORIMBA_WEB_MULTIPART_FORM_H_

#include <httplib.h>

#include <optional>
#include <string>
#include <string_view>

namespace korimba::web {

// The header a multipart request's Content-Type is moved to while its body
// is read raw.
inline constexpr const char* kRawFormTypeHeader = "X-Korimba-Form-Type";

// Called before httplib reads the body: a multipart request's Content-Type
// moves to kRawFormTypeHeader, so that httplib keeps the body as it came.
void KeepMultipartRaw(httplib::Request& req);

// The boundary parameter of a multipart Content-Type, quoted or not.
std::optional<std::string> BoundaryOf(std::string_view content_type);

// The parts of `body` (name, file name, content type, content) into `out`;
// false with `error` set for a body that is not multipart or has more than
// `max_parts` parts.
bool ParseMultipart(std::string_view body, std::string_view boundary, size_t max_parts,
                    httplib::MultipartFormDataMap* out, std::string* error);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_MULTIPART_FORM_H_

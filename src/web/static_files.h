// The static files the pages load (the stylesheet and the polling script),
// served from the copies embedded in the program with caching headers: each
// answer carries a strong ETag made from the file's bytes and may be kept
// by the browser for a while; a request whose If-None-Match names the
// current tag is answered 304 without a body. Tags are computed once per
// file. Any thread.
#ifndef KORIMBA_WEB_STATIC_FILES_H_
#define KORIMBA_WEB_STATIC_FILES_H_

#include <httplib.h>

#include <functional>
#include <string>
#include <string_view>

namespace korimba::web {

// How long a browser may use its copy before asking again (seconds). Short,
// because the files change with the program and their names do not.
inline constexpr int kStaticMaxAgeSeconds = 600;

// The ETag of an embedded file's content ("\"<16 hex digits>\"").
std::string StaticETag(std::string_view content);

// Answers `req` with the embedded file `name` of MIME type `type` (404 when
// the program has no such file).
void SendStatic(const httplib::Request& req, httplib::Response& res, std::string_view name,
                const char* type);

// Transport settings every page server uses: Nagle's algorithm off on every
// connection (answers go out in two writes, headers and body, which Nagle
// and delayed acknowledgements would otherwise hold back by about 40 ms on
// a kept-alive connection), and a listening address that one server alone
// may hold, so that a second one on a busy port fails to start.
// `on_listening`, when given, is told the listening socket once it is made.
void TuneServer(httplib::Server& server, std::function<void(socket_t)> on_listening = nullptr);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_STATIC_FILES_H_

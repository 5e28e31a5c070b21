// HttpLimits is every bound the page host puts on a request and on the
// connections that carry requests, with the defaults it serves with; one
// plain struct of whole numbers, each set by a row of the serve options
// table (command line, environment, configuration file). ScanHead judges the bytes received so far
// of one request against those limits: whether its head (request line and headers) is complete, how
// long its body says it is, and which limit it broke, if any, with the status and readable message
// to answer. Pure functions; any thread.
#ifndef KORIMBA_WEB_HTTP_LIMITS_H_
#define KORIMBA_WEB_HTTP_LIMITS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/catalog.h"

namespace korimba::web {

struct HttpLimits {
  // The request line ("POST /path?query HTTP/1.1").
  int max_request_line = 8 * 1024;
  // Header lines, and the whole head (request line and headers) in bytes.
  int max_header_count = 100;
  int max_header_bytes = 32 * 1024;
  // The body as sent, whatever its transfer encoding (chunk framing counts).
  // Attachments may be 10 MiB; the rest is the form around them.
  int max_body_bytes = 11 * 1024 * 1024;
  // Parts of one multipart form.
  int max_form_parts = 32;
  // From the first byte of a request until its last byte has arrived.
  int request_deadline_seconds = 30;
  // How long a connection may wait for its next request (or its first).
  int keep_alive_seconds = 5;
  // Requests served on one connection before it is closed.
  int keep_alive_requests = 100;
  // Threads that handle requests; waiting connections hold none.
  int workers = 16;
  // Open connections at once, waiting ones included; more are refused.
  int max_connections = 512;
  // Bodies up to this size are received whole before a worker takes the
  // request, so slow senders of ordinary forms hold no worker.
  int prefetch_body_bytes = 64 * 1024;
};

// `limits` with every value of 0 or less replaced by its default (the
// prefetch size may be 0: no body is then received ahead).
HttpLimits WithDefaults(HttpLimits limits);

// An answer the host gives itself because a limit was broken: its message
// is a catalog text, shown in the visitor's language.
struct LimitAnswer {
  int status = 0;
  std::string key;
  std::vector<std::string> args = {};

  std::string In(const Catalog& texts) const { return texts.Format(key, args); }
};

struct HeadScan {
  enum class State { kIncomplete, kComplete, kRefused };
  State state = State::kIncomplete;
  // kComplete: bytes of the head, the blank line included.
  size_t head_bytes = 0;
  // kComplete: the declared Content-Length, if any, and chunked encoding.
  std::optional<uint64_t> content_length;
  bool chunked = false;
  // The client waits for "100 Continue" before it sends the body.
  bool expect_continue = false;
  // A method with a body but neither length nor chunks: the body ends when
  // the client closes.
  bool body_until_close = false;
  // kRefused: what to answer.
  LimitAnswer answer;
};

// Judges `received`, the bytes of one request from its first byte on.
HeadScan ScanHead(std::string_view received, const HttpLimits& limits);

// The language of the visitor whose request begins with `received` (its
// Accept-Language header, as far as it has arrived), as the pages choose it.
Language HeadLanguage(std::string_view received);

// A complete HTTP/1.1 response carrying `answer` as a short HTML page in
// `language`, with "Connection: close".
std::string LimitResponse(const LimitAnswer& answer, Language language);

// The answer for a body that grew past the limit while being read.
LimitAnswer BodyTooLarge(const HttpLimits& limits);

// The limit the current thread's request broke while httplib was reading it
// (its body grew too large, or its deadline passed), so that the error page
// can say so; nullopt otherwise. Set and cleared by the server around each
// request.
std::optional<LimitAnswer> CurrentLimitHit();
void SetCurrentLimitHit(std::optional<LimitAnswer> hit);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_HTTP_LIMITS_H_

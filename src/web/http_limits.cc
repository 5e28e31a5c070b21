#include "web/http_limits.h"

#include <algorithm>
#include <charconv>

#include "web/html.h"

namespace korimba::web {
namespace {

thread_local std::optional<LimitAnswer> current_hit;

bool SameNameFolded(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// A size as both catalogs can show it.
std::string Kib(uint64_t bytes) {
  if (bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MiB";
  if (bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KiB";
  return std::to_string(bytes) + " B";
}

HeadScan Refused(LimitAnswer answer) {
  HeadScan scan;
  scan.state = HeadScan::State::kRefused;
  scan.answer = std::move(answer);
  return scan;
}

HeadScan RequestLineTooLong(const HttpLimits& limits) {
  return Refused(
      {414, "limit.request_line", {Kib(static_cast<uint64_t>(limits.max_request_line))}});
}

HeadScan HeadersTooLarge(const HttpLimits& limits) {
  return Refused({431,
                  "limit.headers",
                  {std::to_string(limits.max_header_count),
                   Kib(static_cast<uint64_t>(limits.max_header_bytes))}});
}

}  // namespace

HeadScan ScanHead(std::string_view received, const HttpLimits& limits) {
  const size_t line_end = received.find('\n');
  const size_t line_length = line_end == std::string_view::npos ? received.size() : line_end;
  if (line_length > static_cast<size_t>(limits.max_request_line) + 1)
    return RequestLineTooLong(limits);

  const size_t blank = received.find("\r\n\r\n");
  const std::string_view head =
      blank == std::string_view::npos ? received : received.substr(0, blank + 4);
  // Lines so far, the request line and the closing blank line left out.
  size_t lines = static_cast<size_t>(std::count(head.begin(), head.end(), '\n'));
  size_t header_lines =
      blank == std::string_view::npos ? (lines > 0 ? lines - 1 : 0) : (lines >= 2 ? lines - 2 : 0);
  if (head.size() > static_cast<size_t>(limits.max_header_bytes) ||
      header_lines > static_cast<size_t>(limits.max_header_count)) {
    return HeadersTooLarge(limits);
  }
  if (blank == std::string_view::npos) return {};

  HeadScan scan;
  scan.state = HeadScan::State::kComplete;
  scan.head_bytes = head.size();
  size_t pos = line_end + 1;
  while (pos < head.size()) {
    size_t end = head.find('\n', pos);
    if (end == std::string_view::npos) end = head.size();
    std::string_view line = head.substr(pos, end - pos);
    pos = end + 1;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = TrimBlanks(line.substr(0, colon));
    std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (SameNameFolded(name, "Content-Length")) {
      uint64_t length = 0;
      auto [end_ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
      if (ec == std::errc::result_out_of_range) return Refused(BodyTooLarge(limits));
      if (ec != std::errc() || end_ptr != value.data() + value.size() ||
          (scan.content_length && *scan.content_length != length)) {
        return Refused({400, "limit.content_length"});
      }
      scan.content_length = length;
    } else if (SameNameFolded(name, "Transfer-Encoding")) {
      std::string folded(value);
      std::transform(folded.begin(), folded.end(), folded.begin(),
                     [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
      if (folded.find("chunked") != std::string::npos) scan.chunked = true;
    } else if (SameNameFolded(name, "Expect")) {
      scan.expect_continue = true;
    }
  }
  if (!scan.chunked && !scan.content_length) {
    for (std::string_view method : {"POST ", "PUT ", "PATCH ", "DELETE ", "PRI "}) {
      if (head.starts_with(method)) scan.body_until_close = true;
    }
  }
  if (scan.content_length && *scan.content_length > static_cast<uint64_t>(limits.max_body_bytes)) {
    return Refused(BodyTooLarge(limits));
  }
  return scan;
}

LimitAnswer BodyTooLarge(const HttpLimits& limits) {
  return {413, "limit.body", {Kib(static_cast<uint64_t>(limits.max_body_bytes))}};
}

Language HeadLanguage(std::string_view received) {
  size_t pos = received.find('\n');
  while (pos != std::string_view::npos && pos + 1 < received.size()) {
    const size_t start = pos + 1;
    pos = received.find('\n', start);
    std::string_view line =
        received.substr(start, pos == std::string_view::npos ? pos : pos - start);
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos &&
        SameNameFolded(TrimBlanks(line.substr(0, colon)), "Accept-Language")) {
      return ChooseLanguage(TrimBlanks(line.substr(colon + 1)));
    }
    if (TrimBlanks(line).empty()) break;  // the end of the head
  }
  return ChooseLanguage("");
}

std::string LimitResponse(const LimitAnswer& answer, Language language) {
  const Catalog& texts = Catalog::For(language);
  const char* reason = answer.status == 408   ? "Request Timeout"
                       : answer.status == 413 ? "Payload Too Large"
                       : answer.status == 414 ? "URI Too Long"
                       : answer.status == 431 ? "Request Header Fields Too Large"
                       : answer.status == 503 ? "Service Unavailable"
                                              : "Bad Request";
  const std::string title = HtmlEscape(texts.Text("title.not_done"));
  std::string body = "<!DOCTYPE html>\n<html lang=\"" + std::string(LanguageTag(language)) +
                     "\"><head><meta charset=\"utf-8\"><title>" + title +
                     "</title></head><body><h1>" + title + "</h1><p>" +
                     HtmlEscape(answer.In(texts)) + "</p></body></html>\n";
  return "HTTP/1.1 " + std::to_string(answer.status) + " " + reason +
         "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

HttpLimits WithDefaults(HttpLimits limits) {
  const HttpLimits defaults;
  auto fix = [](int& value, int fallback) {
    if (value <= 0) value = fallback;
  };
  fix(limits.max_request_line, defaults.max_request_line);
  fix(limits.max_header_count, defaults.max_header_count);
  fix(limits.max_header_bytes, defaults.max_header_bytes);
  fix(limits.max_body_bytes, defaults.max_body_bytes);
  fix(limits.max_form_parts, defaults.max_form_parts);
  fix(limits.request_deadline_seconds, defaults.request_deadline_seconds);
  fix(limits.keep_alive_seconds, defaults.keep_alive_seconds);
  fix(limits.keep_alive_requests, defaults.keep_alive_requests);
  fix(limits.workers, defaults.workers);
  fix(limits.max_connections, defaults.max_connections);
  if (limits.prefetch_body_bytes < 0) limits.prefetch_body_bytes = defaults.prefetch_body_bytes;
  return limits;
}

std::optional<LimitAnswer> CurrentLimitHit() { return current_hit; }
void SetCurrentLimitHit(std::optional<LimitAnswer> hit) { current_hit = std::move(hit); }

}  // namespace korimba::web

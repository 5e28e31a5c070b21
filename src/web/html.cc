#include "web/html.h"

#include <array>

namespace korimba::web {

namespace {

// The replacement of each character HTML text must not hold as itself; empty
// for every other byte (UTF-8 sequences pass through unchanged).
constexpr std::string_view Replacement(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&#39;";
    default:
      return {};
  }
}

// Which bytes Replacement changes, looked up once per byte of a page's text.
constexpr std::array<bool, 256> kSpecial = [] {
  std::array<bool, 256> special{};
  for (int c = 0; c < 256; ++c) special[c] = !Replacement(static_cast<char>(c)).empty();
  return special;
}();

}  // namespace

void AppendHtmlEscaped(std::string& out, std::string_view text) {
  const char* run = text.data();
  const char* const end = run + text.size();
  for (const char* at = run; at != end; ++at) {
    if (!kSpecial[static_cast<unsigned char>(*at)]) continue;
    out.append(run, at);
    out += Replacement(*at);
    run = at + 1;
  }
  out.append(run, end);
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendHtmlEscaped(out, text);
  return out;
}

std::string JoinedContentsHtml(std::string_view joined) {
  static constexpr std::string_view kBreak = "<br>";
  std::string out;
  size_t start = 0;
  while (true) {
    size_t at = joined.find(kBreak, start);
    AppendHtmlEscaped(out, joined.substr(start, at == std::string_view::npos ? at : at - start));
    if (at == std::string_view::npos) break;
    out += "<br>";
    start = at + kBreak.size();
  }
  return out;
}

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string AsciiFileName(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    bool plain = c >= 0x20 && c < 0x7f && c != '"' && c != '\\' && c != '/';
    out += plain ? static_cast<char>(c) : '_';
  }
  return out.empty() ? "attachment" : out;
}

}  // namespace korimba::web

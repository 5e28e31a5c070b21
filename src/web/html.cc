#include "web/html.h"

namespace korimba::web {

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string JoinedContentsHtml(std::string_view joined) {
  static constexpr std::string_view kBreak = "<br>";
  std::string out;
  size_t start = 0;
  while (true) {
    size_t at = joined.find(kBreak, start);
    out += HtmlEscape(joined.substr(start, at == std::string_view::npos ? at : at - start));
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

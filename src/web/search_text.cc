#include "web/search_text.h"

#include "web/html.h"

namespace korimba::web {
namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool MatchesAt(std::string_view text, size_t at, std::string_view needle) {
  if (text.size() - at < needle.size()) return false;
  for (size_t i = 0; i < needle.size(); ++i) {
    if (FoldAscii(text[at + i]) != FoldAscii(needle[i])) return false;
  }
  return true;
}

}  // namespace

std::string ContainsPattern(std::string_view text) {
  std::string out = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '[') {
      out += '[';
      out += c;
      out += ']';
    } else {
      out += c;
    }
  }
  out += '%';
  return out;
}

std::string HighlightHtml(std::string_view text, std::string_view needle) {
  if (needle.empty()) return HtmlEscape(text);
  std::string out;
  size_t plain_from = 0;
  size_t at = 0;
  while (at < text.size()) {
    if (!MatchesAt(text, at, needle)) {
      ++at;
      continue;
    }
    out += HtmlEscape(text.substr(plain_from, at - plain_from));
    out += "<mark>";
    out += HtmlEscape(text.substr(at, needle.size()));
    out += "</mark>";
    at += needle.size();
    plain_from = at;
  }
  out += HtmlEscape(text.substr(plain_from));
  return out;
}

}  // namespace korimba::web

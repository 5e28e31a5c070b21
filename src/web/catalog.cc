#include "web/catalog.h"

#include <optional>
#include <stdexcept>
#include <utility>

namespace korimba::web {

std::optional<std::string_view> EmbeddedCatalog(std::string_view name);

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return s.size() == prefix.size() || s[prefix.size()] == '-';
}

// The q value of one Accept-Language item ("en;q=0.8"); 1 when absent, 0
// when unreadable so that a malformed item never wins.
double Quality(std::string_view params) {
  size_t q = params.find("q=");
  if (q == std::string_view::npos) return 1.0;
  std::string_view v = Trim(params.substr(q + 2));
  double value = 0;
  double scale = 0;
  for (char c : v) {
    if (c >= '0' && c <= '9') {
      if (scale == 0) {
        value = value * 10 + (c - '0');
      } else {
        value += (c - '0') * scale;
        scale /= 10;
      }
    } else if (c == '.' && scale == 0) {
      scale = 0.1;
    } else {
      return 0;
    }
  }
  return value > 1 ? 0 : value;
}

}  // namespace

std::string_view LanguageTag(Language language) {
  return language == Language::kEnglish ? "en" : "zh-CN";
}

Language LanguageFromTag(std::string_view tag) {
  return StartsWithNoCase(Trim(tag), "en") ? Language::kEnglish : Language::kChinese;
}

Language ChooseLanguage(std::string_view accept_language) {
  double zh = -1;
  double en = -1;
  size_t zh_at = 0;
  size_t en_at = 0;
  size_t index = 0;
  while (!accept_language.empty()) {
    size_t comma = accept_language.find(',');
    std::string_view item = accept_language.substr(0, comma);
    accept_language =
        comma == std::string_view::npos ? std::string_view() : accept_language.substr(comma + 1);
    size_t semi = item.find(';');
    std::string_view range = Trim(item.substr(0, semi));
    double q = semi == std::string_view::npos ? 1.0 : Quality(item.substr(semi + 1));
    ++index;
    if (q <= 0) continue;
    if (StartsWithNoCase(range, "zh") && q > zh) {
      zh = q;
      zh_at = index;
    } else if (StartsWithNoCase(range, "en") && q > en) {
      en = q;
      en_at = index;
    }
  }
  // English only when it is named and ranks above Chinese (or first among
  // equals); everything else reads Chinese, the office's language.
  if (en > zh || (en == zh && en > 0 && en_at < zh_at)) return Language::kEnglish;
  return Language::kChinese;
}

Catalog::Catalog(std::string_view text) {
  int line_number = 0;
  while (!text.empty()) {
    ++line_number;
    size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    size_t eq = line.find('=');
    std::string_view key = eq == std::string_view::npos ? "" : Trim(line.substr(0, eq));
    if (key.empty()) {
      throw std::logic_error("catalog line " + std::to_string(line_number) +
                             " is not \"key = text\"");
    }
    texts_.insert_or_assign(std::string(key), std::string(Trim(line.substr(eq + 1))));
  }
}

const Catalog& Catalog::For(Language language) {
  static const Catalog chinese(EmbeddedCatalog("zh-CN.txt").value_or(""));
  static const Catalog english(EmbeddedCatalog("en.txt").value_or(""));
  return language == Language::kEnglish ? english : chinese;
}

std::string Catalog::Text(std::string_view key) const {
  auto it = texts_.find(key);
  return it == texts_.end() ? std::string(key) : it->second;
}

std::string Catalog::Format(std::string_view key, const std::vector<std::string>& args) const {
  std::string text = Text(key);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '{' && i + 2 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9' &&
        text[i + 2] == '}') {
      size_t n = static_cast<size_t>(text[i + 1] - '1');
      if (n < args.size()) out += args[n];
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string> Catalog::Keys() const {
  std::vector<std::string> keys;
  for (const auto& [key, text] : texts_) keys.push_back(key);
  return keys;
}

}  // namespace korimba::web

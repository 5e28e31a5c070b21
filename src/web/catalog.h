// The page texts in each language the pages speak (Simplified Chinese and
// English). The texts live in one catalog file per language under
// src/web/i18n/ ("key = text" lines, '#' comments), embedded at build time;
// Catalog::For parses each once and keeps it for the program's life.
// ChooseLanguage reads a browser's Accept-Language header: Chinese unless
// English ranks above it (or Chinese is absent and English is named).
// Templates look texts up with {{#t}}key{{/t}} (the "t" lambda that
// PageRequest puts into every context); C++ calls Catalog::Text. Catalogs
// are immutable once built: any thread may read them.
#ifndef KORIMBA_WEB_CATALOG_H_
#define KORIMBA_WEB_CATALOG_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace korimba::web {

enum class Language { kChinese, kEnglish };

// "zh-CN" / "en": the page's lang attribute and the switch's parameter.
std::string_view LanguageTag(Language language);
// The tag's language; Chinese for anything not English.
Language LanguageFromTag(std::string_view tag);
Language ChooseLanguage(std::string_view accept_language);

class Catalog {
 public:
  // Parses catalog text; a line that is neither blank, a comment nor
  // "key = text" is a build mistake (std::logic_error naming the line).
  explicit Catalog(std::string_view text);

  // The built-in catalog of that language.
  static const Catalog& For(Language language);

  // The text of `key`; the key itself where the catalog lacks it, so a
  // missing text shows up on the page rather than as an empty gap.
  std::string Text(std::string_view key) const;
  // Text with "{1}", "{2}"... replaced by `args` in order.
  std::string Format(std::string_view key, const std::vector<std::string>& args) const;
  std::vector<std::string> Keys() const;

 private:
  std::map<std::string, std::string, std::less<>> texts_;
};

}  // namespace korimba::web

#endif  // KORIMBA_WEB_CATALOG_H_

#include "web/templates.h"

#include <map>
#include <stdexcept>

#include "web/html.h"

namespace korimba::web {
namespace {

constexpr std::string_view kSuffix = ".mustache";

// A template with only the partials it can reach: mstch parses every
// partial it is handed on each render, so handing over all of them would
// parse every template file for every page.
struct Entry {
  std::string text;
  std::map<std::string, std::string> partials;
};

// The names of the partials `text` includes directly ({{> name}}).
std::vector<std::string> PartialNames(const std::string& text) {
  std::vector<std::string> names;
  for (size_t at = text.find("{{>"); at != std::string::npos; at = text.find("{{>", at + 3)) {
    const size_t end = text.find("}}", at);
    if (end == std::string::npos) break;
    std::string name = text.substr(at + 3, end - at - 3);
    const size_t first = name.find_first_not_of(' ');
    const size_t last = name.find_last_not_of(' ');
    if (first != std::string::npos) names.push_back(name.substr(first, last - first + 1));
  }
  return names;
}

const std::map<std::string, Entry, std::less<>>& Templates() {
  static const std::map<std::string, Entry, std::less<>> templates = [] {
    // The escape function is process-wide in mstch; set it once, before the
    // first render, to the one escaping the pages use.
    mstch::config::escape = [](const std::string& text) { return HtmlEscape(text); };
    std::map<std::string, std::string> texts;
    for (const auto& [file, content] : EmbeddedAssets()) {
      if (file.size() > kSuffix.size() && file.ends_with(kSuffix)) {
        texts[std::string(file.substr(0, file.size() - kSuffix.size()))] = std::string(content);
      }
    }
    std::map<std::string, Entry, std::less<>> out;
    for (const auto& [name, text] : texts) {
      Entry entry{text, {}};
      std::vector<std::string> pending = PartialNames(text);
      while (!pending.empty()) {
        std::string next = std::move(pending.back());
        pending.pop_back();
        auto it = texts.find(next);
        if (it == texts.end() || entry.partials.contains(next)) continue;
        entry.partials.emplace(next, it->second);
        for (std::string& more : PartialNames(it->second)) pending.push_back(std::move(more));
      }
      out.emplace(name, std::move(entry));
    }
    return out;
  }();
  return templates;
}

}  // namespace

std::string RenderTemplate(std::string_view name, const mstch::node& context) {
  const auto& templates = Templates();
  auto it = templates.find(name);
  if (it == templates.end()) throw std::logic_error("no page template named " + std::string(name));
  return mstch::render(it->second.text, context, it->second.partials);
}

}  // namespace korimba::web

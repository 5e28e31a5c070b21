#include "web/templates.h"

#include <map>
#include <mutex>
#include <stdexcept>

#include "web/html.h"

namespace korimba::web {
namespace {

constexpr std::string_view kSuffix = ".mustache";

const std::map<std::string, std::string>& Partials() {
  static const std::map<std::string, std::string> partials = [] {
    // The escape function is process-wide in mstch; set it once, before the
    // first render, to the one escaping the pages use.
    mstch::config::escape = [](const std::string& text) { return HtmlEscape(text); };
    std::map<std::string, std::string> out;
    for (const auto& [file, content] : EmbeddedAssets()) {
      if (file.size() > kSuffix.size() && file.ends_with(kSuffix)) {
        out[std::string(file.substr(0, file.size() - kSuffix.size()))] = std::string(content);
      }
    }
    return out;
  }();
  return partials;
}

}  // namespace

std::string RenderTemplate(std::string_view name, const mstch::node& context) {
  const auto& partials = Partials();
  auto it = partials.find(std::string(name));
  if (it == partials.end()) throw std::logic_error("no page template named " + std::string(name));
  return mstch::render(it->second, context, partials);
}

}  // namespace korimba::web

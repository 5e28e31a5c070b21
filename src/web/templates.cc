#include "web/templates.h"

#include <atomic>

#include "web/template_engine.h"

namespace korimba::web {
namespace {

constexpr std::string_view kSuffix = ".mustache";

const TemplateSet& Templates() {
  static const TemplateSet templates = [] {
    TemplateSet set;
    for (const auto& [file, content] : EmbeddedAssets()) {
      if (file.size() > kSuffix.size() && file.ends_with(kSuffix)) {
        set.Add(std::string(file.substr(0, file.size() - kSuffix.size())), content);
      }
    }
    return set;
  }();
  return templates;
}

std::atomic<RenderObserver> observer{nullptr};

}  // namespace

void PrepareTemplates() { Templates(); }

std::string RenderTemplate(std::string_view name, const mstch::map& context) {
  std::string out = Templates().Render(name, context);
  if (RenderObserver seen = observer.load(std::memory_order_acquire)) seen(name, context, out);
  return out;
}

void SetRenderObserver(RenderObserver seen) { observer.store(seen, std::memory_order_release); }

}  // namespace korimba::web

// The page templates' mustache engine: a TemplateSet holds templates by name,
// each parsed once into a tree when it is added, and renders one of them over
// a context of mstch values (the maps, arrays, texts and lambdas the pages
// build). Partials ({{> name}}) are the set's other templates, looked up by
// name when rendered, so they may be added in any order. {{name}} is escaped
// for HTML, {{{name}}} and {{& name}} are not; a lambda section receives its
// body's text and what it returns is rendered as a template in the same
// context; a lambda answers the same for the same text, so one render asks it
// once per section and reuses a plain-text answer (the pages' {{#t}}key{{/t}}
// lookups in every row of a list cost one lookup each). Standalone tag lines
// leave no trace and a standalone partial's lines take the tag's
// indentation, as mustache prescribes.
// The set owns its trees; adding is not thread-safe, rendering a set that is
// no longer changed is safe from any number of threads.
#ifndef KORIMBA_WEB_TEMPLATE_ENGINE_H_
#define KORIMBA_WEB_TEMPLATE_ENGINE_H_

#include <map>
#include <memory>
#include <mstch/mstch.hpp>
#include <string>
#include <string_view>

namespace korimba::web {

class TemplateSet {
 public:
  TemplateSet();
  ~TemplateSet();
  TemplateSet(TemplateSet&&) noexcept;
  TemplateSet& operator=(TemplateSet&&) noexcept;

  // Parses `text` as the template `name` (replacing one of that name).
  // Unbalanced sections and unclosed tags throw std::invalid_argument
  // naming the template and the line.
  void Add(std::string name, std::string_view text);
  bool Has(std::string_view name) const;

  // Renders template `name`; an unknown name is std::logic_error. A name the
  // context lacks renders as nothing, and an unknown partial as nothing.
  std::string Render(std::string_view name, const mstch::map& context) const;
  void RenderTo(std::string_view name, const mstch::map& context, std::string& out) const;

  struct Tree;

 private:
  std::map<std::string, std::unique_ptr<const Tree>, std::less<>> templates_;
};

}  // namespace korimba::web

#endif  // KORIMBA_WEB_TEMPLATE_ENGINE_H_

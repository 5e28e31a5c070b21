#include "web/template_engine.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "web/html.h"

namespace korimba::web {
namespace {

enum class Kind { kText, kEscaped, kRaw, kSection, kInverted, kClose, kPartial, kComment, kDelims };

// One piece of a parsed template. Sections hold their children; the other
// kinds are leaves. Closing tags, comments and delimiter changes exist only
// while parsing.
struct Node {
  Kind kind = Kind::kText;
  std::string text;                  // the literal text, or the tag's name
  std::vector<std::string> path;     // the name split at its dots ("." stays whole)
  size_t begin = 0, end = 0;         // where the piece lies in the template's text
  bool at_line_start = false;        // it begins a line: a partial's indentation goes before it
  bool close_at_line_start = false;  // a section whose closing tag begins a line
  bool standalone = false;           // a partial tag alone on its line
  bool dropped = false;              // whitespace of a standalone line
  std::string indent;                // a standalone partial's indentation
  std::string body;                  // a section's text between its tags, for a lambda
  std::vector<Node> children;
};

constexpr int kMaxDepth = 64;

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::string Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return "";
  return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

[[noreturn]] void Malformed(std::string_view name, std::string_view text, size_t at,
                            const std::string& what) {
  const auto line = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n');
  throw std::invalid_argument("template " + std::string(name) + ", line " +
                              std::to_string(line + 1) + ": " + what);
}

Node Token(Kind kind, std::string text, size_t begin, size_t end) {
  Node node;
  node.kind = kind;
  node.text = std::move(text);
  node.begin = begin;
  node.end = end;
  return node;
}

// The template as a flat list of text pieces (each ending at the latest
// after a newline) and tags.
std::vector<Node> Tokenize(std::string_view name, std::string_view text) {
  std::vector<Node> tokens;
  std::string open = "{{", close = "}}";
  size_t at = 0;
  while (at < text.size()) {
    const size_t tag = text.find(open, at);
    const size_t stop = tag == std::string_view::npos ? text.size() : tag;
    while (at < stop) {
      const size_t newline = text.find('\n', at);
      const size_t piece_end =
          newline == std::string_view::npos || newline >= stop ? stop : newline + 1;
      tokens.push_back(
          Token(Kind::kText, std::string(text.substr(at, piece_end - at)), at, piece_end));
      at = piece_end;
    }
    if (tag == std::string_view::npos) break;
    size_t inner = tag + open.size();
    Kind kind = Kind::kEscaped;
    std::string closer = close;
    switch (inner < text.size() ? text[inner] : '\0') {
      case '{':
        kind = Kind::kRaw, closer = "}" + close;
        break;
      case '&':
        kind = Kind::kRaw;
        break;
      case '#':
        kind = Kind::kSection;
        break;
      case '^':
        kind = Kind::kInverted;
        break;
      case '/':
        kind = Kind::kClose;
        break;
      case '>':
        kind = Kind::kPartial;
        break;
      case '!':
        kind = Kind::kComment;
        break;
      case '=':
        kind = Kind::kDelims;
        break;
      default:
        --inner;
    }
    ++inner;
    const size_t finish = text.find(closer, inner);
    if (finish == std::string_view::npos) Malformed(name, text, tag, "a tag is not closed");
    std::string content = Trim(text.substr(inner, finish - inner));
    at = finish + closer.size();
    if (kind == Kind::kDelims) {
      if (!content.ends_with('=')) Malformed(name, text, tag, "a delimiter change lacks its '='");
      content = Trim(std::string_view(content).substr(0, content.size() - 1));
      const size_t space = content.find_first_of(" \t");
      if (space == std::string::npos) Malformed(name, text, tag, "a delimiter change needs two");
      open = content.substr(0, space);
      close = Trim(std::string_view(content).substr(space));
      if (open.empty() || close.empty() || close.find_first_of(" \t") != std::string::npos) {
        Malformed(name, text, tag, "a delimiter change needs two");
      }
    }
    if (content.empty() && kind != Kind::kComment && kind != Kind::kDelims) {
      Malformed(name, text, tag, "a tag has no name");
    }
    tokens.push_back(Token(kind, std::move(content), tag, at));
  }
  return tokens;
}

// A line holding only whitespace and tags that print nothing (sections,
// comments, partials, delimiter changes) vanishes whole: its whitespace and
// its newline are dropped. A partial on such a line keeps the whitespace
// before it as the indentation of its every line.
void StripStandaloneLine(std::vector<Node>& tokens, size_t first, size_t last) {
  bool has_tag = false;
  for (size_t i = first; i < last; ++i) {
    const Node& t = tokens[i];
    if (t.kind == Kind::kText ? !IsBlank(t.text)
                              : t.kind == Kind::kEscaped || t.kind == Kind::kRaw) {
      return;
    }
    has_tag = has_tag || t.kind != Kind::kText;
  }
  if (!has_tag) return;
  std::string lead;
  for (size_t i = first; i < last; ++i) {
    Node& t = tokens[i];
    if (t.kind == Kind::kText) {
      t.dropped = true;
      if (!t.text.ends_with('\n')) lead += t.text;
      continue;
    }
    t.at_line_start = false;
    if (t.kind == Kind::kPartial) t.standalone = true, t.indent = lead;
  }
}

std::vector<std::string> PathOf(const std::string& name) {
  std::vector<std::string> path;
  if (name == ".") return {name};
  size_t start = 0;
  for (size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', start)) {
    path.push_back(name.substr(start, dot - start));
    start = dot + 1;
  }
  path.push_back(name.substr(start));
  return path;
}

std::vector<Node> Parse(std::string_view name, std::string_view text) {
  std::vector<Node> tokens = Tokenize(name, text);
  for (Node& t : tokens) t.at_line_start = t.begin == 0 || text[t.begin - 1] == '\n';
  size_t line_first = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const bool line_ends = tokens[i].kind == Kind::kText && tokens[i].text.ends_with('\n');
    if (line_ends || i + 1 == tokens.size()) {
      StripStandaloneLine(tokens, line_first, i + 1);
      line_first = i + 1;
    }
  }
  std::vector<Node> root;
  std::vector<Node> open;  // the sections not yet closed, innermost last
  auto children = [&]() -> std::vector<Node>& {
    return open.empty() ? root : open.back().children;
  };
  for (Node& t : tokens) {
    if (t.dropped || t.kind == Kind::kComment || t.kind == Kind::kDelims) continue;
    if (t.kind == Kind::kClose) {
      if (open.empty() || open.back().text != t.text) {
        Malformed(name, text, t.begin, "{{/" + t.text + "}} closes no open section of that name");
      }
      Node section = std::move(open.back());
      open.pop_back();
      section.body = std::string(text.substr(section.end, t.begin - section.end));
      section.close_at_line_start = t.at_line_start;
      children().push_back(std::move(section));
      continue;
    }
    if (t.kind != Kind::kText && t.kind != Kind::kPartial) t.path = PathOf(t.text);
    if (t.kind == Kind::kSection || t.kind == Kind::kInverted) {
      open.push_back(std::move(t));
    } else {
      children().push_back(std::move(t));
    }
  }
  if (!open.empty()) {
    Malformed(name, text, open.back().begin, "{{#" + open.back().text + "}} is never closed");
  }
  return root;
}

// The text a value prints as.
std::string TextOf(const mstch::node& value) {
  if (const auto* text = boost::get<std::string>(&value)) return *text;
  if (const auto* number = boost::get<int>(&value)) return std::to_string(*number);
  if (const auto* number = boost::get<double>(&value)) {
    std::ostringstream out;
    out << *number;
    return out.str();
  }
  if (const auto* flag = boost::get<bool>(&value)) return *flag ? "true" : "false";
  return "";
}

// Whether a section over the value is skipped (and its inverse shown).
bool IsFalsey(const mstch::node& value) {
  if (boost::get<std::nullptr_t>(&value) != nullptr) return true;
  if (const auto* text = boost::get<std::string>(&value)) return text->empty();
  if (const auto* number = boost::get<int>(&value)) return *number == 0;
  if (const auto* number = boost::get<double>(&value)) return *number == 0;
  if (const auto* flag = boost::get<bool>(&value)) return !*flag;
  if (const auto* list = boost::get<mstch::array>(&value)) return list->empty();
  return false;
}

}  // namespace

struct TemplateSet::Tree {
  std::vector<Node> nodes;
  // The length of the latest render, reserved for the next one so that a
  // page is not copied again each time its text outgrows its buffer. Any
  // render may update it; a lost update costs a reallocation, nothing else.
  mutable std::atomic<size_t> last_size{0};
};

namespace {

using Trees = std::map<std::string, std::unique_ptr<const TemplateSet::Tree>, std::less<>>;

// One render: the stack of section contexts above the root, the output.
class Renderer {
 public:
  Renderer(const Trees& trees, const mstch::map& root, std::string& out)
      : trees_(trees), root_(root), out_(out) {}

  void Render(const std::vector<Node>& nodes, const std::string& indent, int depth) {
    if (depth > kMaxDepth) throw std::logic_error("page templates nest too deeply");
    for (const Node& node : nodes) {
      if (!indent.empty() && node.at_line_start && !node.standalone) out_ += indent;
      switch (node.kind) {
        case Kind::kText:
          out_ += node.text;
          break;
        case Kind::kEscaped:
        case Kind::kRaw:
          Interpolate(node, depth);
          break;
        case Kind::kSection:
          Section(node, indent, depth);
          break;
        case Kind::kInverted:
          if (const mstch::node* value = Lookup(node.path); value == nullptr || IsFalsey(*value)) {
            Body(node, indent, depth);
          }
          break;
        case Kind::kPartial:
          if (auto it = trees_.find(node.text); it != trees_.end()) {
            Render(it->second->nodes, node.standalone ? indent + node.indent : "", depth + 1);
          }
          break;
        default:
          break;
      }
    }
  }

 private:
  void Interpolate(const Node& node, int depth) {
    const mstch::node* value = Lookup(node.path);
    if (value == nullptr) return;
    const bool escape = node.kind == Kind::kEscaped;
    auto put = [&](std::string_view shown) {
      if (escape) {
        AppendHtmlEscaped(out_, shown);
      } else {
        out_ += shown;
      }
    };
    if (const auto* lambda = boost::get<mstch::lambda>(value)) {
      put(RenderText((*lambda)(TextOf), depth));
    } else if (const auto* text = boost::get<std::string>(value)) {
      put(*text);
    } else {
      put(TextOf(*value));
    }
  }

  void Section(const Node& node, const std::string& indent, int depth) {
    const mstch::node* value = Lookup(node.path);
    if (value == nullptr || IsFalsey(*value)) return;
    if (const auto* list = boost::get<mstch::array>(value)) {
      for (const mstch::node& item : *list) {
        stack_.push_back(&item);
        Body(node, indent, depth);
        stack_.pop_back();
      }
    } else if (const auto* lambda = boost::get<mstch::lambda>(value)) {
      LambdaSection(*lambda, node, depth);
    } else {
      stack_.push_back(value);
      Body(node, indent, depth);
      stack_.pop_back();
    }
  }

  // A lambda section: the lambda's answer for the section's body. A section
  // inside a list is met once per item with the same lambda, as the pages'
  // text lookups ({{#t}}key{{/t}}) are in every row: the first answer that
  // is plain text is kept for the rest of this render. A lambda answers the
  // same for the same body; an answer holding tags is rendered every time,
  // since it depends on the context it is met in.
  void LambdaSection(const mstch::lambda& lambda, const Node& node, int depth) {
    for (const Answered& seen : answered_) {
      if (seen.lambda == &lambda && seen.node == &node) {
        out_ += seen.text;
        return;
      }
    }
    std::string text = lambda(TextOf, node.body);
    if (text.find("{{") != std::string::npos) {
      out_ += RenderText(std::move(text), depth);
      return;
    }
    out_ += text;
    answered_.push_back(Answered{&lambda, &node, std::move(text)});
  }

  void Body(const Node& node, const std::string& indent, int depth) {
    Render(node.children, indent, depth);
    if (!indent.empty() && node.close_at_line_start) out_ += indent;
  }

  // What a lambda returned, itself a template over the same context; most
  // return plain text, which needs no parsing.
  std::string RenderText(std::string text, int depth) {
    if (text.find("{{") == std::string::npos) return text;
    std::vector<Node> nodes = Parse("(lambda)", text);
    std::string shown;
    std::swap(shown, out_);
    Render(nodes, "", depth + 1);
    std::swap(shown, out_);
    return shown;
  }

  const mstch::node* Member(const mstch::node& holder, const std::string& key) const {
    if (const auto* map = boost::get<mstch::map>(&holder)) {
      auto it = map->find(key);
      return it == map->end() ? nullptr : &it->second;
    }
    if (const auto* object = boost::get<std::shared_ptr<mstch::object>>(&holder)) {
      if (*object != nullptr && (*object)->has(key)) return &(*object)->at(key);
    }
    return nullptr;
  }

  // A name is looked up from the innermost section outwards to the root; a
  // dotted name's later parts only inside what its first part found.
  const mstch::node* Lookup(const std::vector<std::string>& path) const {
    static const mstch::node kRootAsValue = mstch::map{};
    if (path.front() == ".") return stack_.empty() ? &kRootAsValue : stack_.back();
    const mstch::node* found = nullptr;
    for (auto it = stack_.rbegin(); it != stack_.rend() && found == nullptr; ++it) {
      found = Member(**it, path.front());
    }
    if (found == nullptr) {
      auto it = root_.find(path.front());
      if (it == root_.end()) return nullptr;
      found = &it->second;
    }
    for (size_t i = 1; i < path.size() && found != nullptr; ++i) found = Member(*found, path[i]);
    return found;
  }

  const Trees& trees_;
  const mstch::map& root_;
  std::string& out_;
  std::vector<const mstch::node*> stack_;
  // The plain-text answers of lambda sections met so far in this render.
  struct Answered {
    const mstch::lambda* lambda;
    const Node* node;
    std::string text;
  };
  std::vector<Answered> answered_;
};

}  // namespace

TemplateSet::TemplateSet() = default;
TemplateSet::~TemplateSet() = default;
TemplateSet::TemplateSet(TemplateSet&&) noexcept = default;
TemplateSet& TemplateSet::operator=(TemplateSet&&) noexcept = default;

void TemplateSet::Add(std::string name, std::string_view text) {
  auto tree = std::make_unique<Tree>();
  tree->nodes = Parse(name, text);
  templates_[std::move(name)] = std::move(tree);
}

bool TemplateSet::Has(std::string_view name) const { return templates_.contains(name); }

void TemplateSet::RenderTo(std::string_view name, const mstch::map& context,
                           std::string& out) const {
  auto it = templates_.find(name);
  if (it == templates_.end()) throw std::logic_error("no page template named " + std::string(name));
  const Tree& tree = *it->second;
  const size_t start = out.size();
  out.reserve(start + tree.last_size.load(std::memory_order_relaxed));
  Renderer(templates_, context, out).Render(tree.nodes, "", 0);
  tree.last_size.store(out.size() - start, std::memory_order_relaxed);
}

std::string TemplateSet::Render(std::string_view name, const mstch::map& context) const {
  std::string out;
  RenderTo(name, context, out);
  return out;
}

}  // namespace korimba::web

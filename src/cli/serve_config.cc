#include "cli/serve_config.h"

#include <toml++/toml.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>

namespace korimba::cli {
namespace {

// A file value as the texts SetServeOption takes.
std::vector<std::string> TomlTexts(const toml::node& node, const std::string& key,
                                   const std::string& file) {
  auto scalar = [&](const toml::node& item) -> std::string {
    if (auto s = item.value<std::string>(); s && item.is_string()) return *s;
    if (item.is_integer()) return std::to_string(*item.value<int64_t>());
    if (item.is_floating_point()) {
      std::ostringstream out;
      out << *item.value<double>();
      return out.str();
    }
    if (item.is_boolean()) return *item.value<bool>() ? "true" : "false";
    throw web::OptionError(file + ": " + key + " must be a text, a number or true/false");
  };
  std::vector<std::string> texts;
  if (const toml::array* array = node.as_array()) {
    for (const toml::node& item : *array) texts.push_back(scalar(item));
  } else {
    texts.push_back(scalar(node));
  }
  return texts;
}

void ApplyFile(web::ServeOptions& options, const std::string& file) {
  toml::table table;
  try {
    table = toml::parse_file(file);
  } catch (const toml::parse_error& e) {
    std::ostringstream out;
    out << file << ":" << e.source().begin.line << ": " << e.description();
    throw web::OptionError(out.str());
  }
  std::set<std::string, std::less<>> known;
  for (const web::ServeOptionSpec& entry : web::ServeOptionTable()) {
    known.insert(std::string(entry.name));
    const toml::node* node = table.get(entry.name);
    if (node == nullptr) continue;
    std::vector<std::string> texts = TomlTexts(*node, std::string(entry.name), file);
    try {
      web::SetServeOption(options, entry, texts);
    } catch (const web::OptionError& e) {
      throw web::OptionError(file + ": " + e.what());
    }
  }
  // A misspelt key would otherwise be ignored without a word.
  for (const auto& [key, value] : table) {
    if (!known.contains(key.str())) {
      throw web::OptionError(file + ": unknown setting \"" + std::string(key.str()) + "\"");
    }
  }
}

}  // namespace

std::optional<std::string> ProcessEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

web::ServeOptions ResolveServeOptions(const ServeSources& sources) {
  web::ServeOptions options;
  auto env = [&](const std::string& name) -> std::optional<std::string> {
    return sources.environment ? sources.environment(name) : std::nullopt;
  };
  std::string file = sources.config_file;
  if (file.empty()) file = env("KORIMBA_CONFIG").value_or("");
  if (!file.empty()) ApplyFile(options, file);

  for (const web::ServeOptionSpec& entry : web::ServeOptionTable()) {
    const std::string variable = web::EnvironmentName(entry);
    if (std::optional<std::string> value = env(variable); value && !value->empty()) {
      try {
        web::SetServeOption(options, entry, {*value});
      } catch (const web::OptionError& e) {
        throw web::OptionError(variable + ": " + e.what());
      }
    }
    auto given = sources.command_line.find(std::string(entry.name));
    if (given != sources.command_line.end()) web::SetServeOption(options, entry, given->second);
  }
  return options;
}

void AddServeFlags(CLI::App& serve, ServeSources& sources) {
  serve.add_option("--config", sources.config_file,
                   "TOML file of settings, keys named as these options [env: KORIMBA_CONFIG]");
  const web::ServeOptions defaults;
  // Each flag fills its entry of command_line only when given; the map's
  // nodes stay put while later entries are added.
  for (const web::ServeOptionSpec& entry : web::ServeOptionTable()) {
    std::string name(entry.name);
    std::string help = std::string(entry.help) + " [env: " + web::EnvironmentName(entry) + "]";
    const bool list =
        std::holds_alternative<std::vector<std::string> web::ServeOptions::*>(entry.field);
    CLI::Option* option = serve.add_option_function<std::vector<std::string>>(
        "--" + name,
        [&sources, name](const std::vector<std::string>& values) {
          auto& texts = sources.command_line[name];
          texts.insert(texts.end(), values.begin(), values.end());
        },
        help);
    if (!list) option->expected(1);
    const std::string shown = web::ServeOptionText(defaults, entry);
    option->default_str(shown.empty() ? "\"\"" : shown);
  }
}

}  // namespace korimba::cli

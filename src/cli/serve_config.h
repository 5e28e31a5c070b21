// Settles the options of `korimba serve` from their three sources: the
// command line wins over the environment (KORIMBA_DB, ...), and the
// environment over the configuration file (TOML, named by --config or
// KORIMBA_CONFIG); what none of them sets keeps its default. The option
// names, variables and file keys all come from web::ServeOptionTable.
// AddServeFlags registers the table's flags on the CLI11 subcommand.
// Called on the main thread.
#ifndef KORIMBA_CLI_SERVE_CONFIG_H_
#define KORIMBA_CLI_SERVE_CONFIG_H_

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "web/serve_options.h"

namespace CLI {
class App;
}

namespace korimba::cli {

struct ServeSources {
  // The command line's values by option name (only the options given).
  std::map<std::string, std::vector<std::string>> command_line;
  std::string config_file;  // from --config; empty: KORIMBA_CONFIG, else none
  // The environment; std::getenv in the program, a map in tests.
  std::function<std::optional<std::string>(const std::string&)> environment;
};

// Throws web::OptionError naming the option, the variable or the file.
web::ServeOptions ResolveServeOptions(const ServeSources& sources);

// The real environment, for ServeSources::environment.
std::optional<std::string> ProcessEnvironment(const std::string& name);

// Registers --config and one flag per table row on `serve`; after parsing,
// `sources` holds what the command line gave.
void AddServeFlags(CLI::App& serve, ServeSources& sources);

}  // namespace korimba::cli

#endif  // KORIMBA_CLI_SERVE_CONFIG_H_

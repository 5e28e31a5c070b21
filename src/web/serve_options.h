// ServeOptions are the settings of `korimba serve`, and ServeOptionTable the
// one table that describes them: each row names an option once, and that name
// gives its command-line flag (--trusted-proxy), its environment variable
// (KORIMBA_TRUSTED_PROXY) and its key in the configuration file
// (trusted-proxy). Adding an option is a member here and a row in
// serve_options.cc; the command line, the environment, the file and
// `serve --help` all follow the table. Immutable table; any thread.
#ifndef KORIMBA_WEB_SERVE_OPTIONS_H_
#define KORIMBA_WEB_SERVE_OPTIONS_H_

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "web/http_limits.h"

namespace korimba::web {

struct ServeOptions {
  std::string db = "sqlite:korimba.db";
  std::string listen = "127.0.0.1:8080";
  std::string attachments = "attachments";
  std::string auth = "password";
  std::string auth_header = "Remote-User";
  std::vector<std::string> trusted_proxy;
  std::string feed_key;          // empty: DefaultFeedKeyPath(db)
  std::string access_log;        // empty: standard error
  std::string state = "memory";  // or redis://HOST:PORT[/DB]
  int pool_size = 0;             // 0: 4 for a file or server database, 1 in memory
  double pool_wait = 5;
  double shutdown_wait = 10;
  int max_streams = 8;     // open live-update streams; beyond them pages poll
  std::string test_clock;  // for tests: "yyyy-mm-dd hh:mm[:ss]"; empty: the real clock
  HttpLimits limits;
};

// Where a row keeps its value in ServeOptions.
using ServeOptionField =
    std::variant<std::string ServeOptions::*, int ServeOptions::*, double ServeOptions::*,
                 bool ServeOptions::*, std::vector<std::string> ServeOptions::*, int HttpLimits::*>;

struct ServeOptionSpec {
  std::string_view name;  // without dashes, such as "trusted-proxy"
  std::string_view help;
  ServeOptionField field;
  bool secret = false;  // its value is masked wherever it is shown
};

std::span<const ServeOptionSpec> ServeOptionTable();

// A value that does not fit its option: the message names the option.
class OptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "KORIMBA_" and the name in capitals with "_" for "-".
std::string EnvironmentName(const ServeOptionSpec& entry);

// Sets the option from its text forms (one for most options; a list option
// takes each, and splits each at commas). Throws OptionError.
void SetServeOption(ServeOptions& options, const ServeOptionSpec& entry,
                    const std::vector<std::string>& texts);

// The option's value as text, lists joined with ", " (secrets masked).
std::string ServeOptionText(const ServeOptions& options, const ServeOptionSpec& entry);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_SERVE_OPTIONS_H_

#include "web/serve_options.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "web/secret_mask.h"

namespace korimba::web {
namespace {

using O = ServeOptions;

// One row per option; see the header. Keep the help short: `serve --help`
// adds the environment variable and the default to it.
const ServeOptionSpec kTable[] = {
    {"db", "Connection string: sqlite:PATH, sqlite::memory: or odbc:...", &O::db, true},
    {"listen", "Address and port to listen on (HOST:PORT; port 0 picks a free one)", &O::listen},
    {"attachments", "Directory of the message attachment files", &O::attachments},
    {"auth", "Sign-in: password, proxy (a trusted proxy's header) or pick (demonstrations)",
     &O::auth},
    {"auth-header", "With --auth proxy: the request header that carries the login",
     &O::auth_header},
    {"trusted-proxy",
     "With --auth proxy, and for X-Forwarded-Proto: the proxies' addresses or CIDR ranges",
     &O::trusted_proxy},
    {"feed-key",
     "File of the key behind the calendar subscription addresses, created when missing "
     "(default: beside a sqlite: database, else feed.key)",
     &O::feed_key},
    {"access-log", "File the access log is appended to (default: standard error)", &O::access_log},
    {"pool-size", "Database connections (0: 4, or 1 for an in-memory database)", &O::pool_size},
    {"pool-wait", "Seconds a page waits for a free connection before answering 503", &O::pool_wait},
    {"shutdown-wait", "Seconds SIGTERM waits for requests in flight", &O::shutdown_wait},
    {"state", "Sessions and Application: memory, or redis://HOST:PORT[/DB] shared by nodes",
     &O::state},
    {"max-streams", "Live-update streams open at once (at most half the workers); more poll",
     &O::max_streams},
    {"test-clock", "For tests only: the component clock starts at this local time and runs on",
     &O::test_clock},
    // The HTTP limits (HttpLimits).
    {"max-request-line", "Longest request line, in bytes", &HttpLimits::max_request_line},
    {"max-header-count", "Most header lines of one request", &HttpLimits::max_header_count},
    {"max-header-bytes", "Largest request head (request line and headers), in bytes",
     &HttpLimits::max_header_bytes},
    {"max-body-bytes", "Largest request body as sent, chunked or not, in bytes",
     &HttpLimits::max_body_bytes},
    {"max-form-parts", "Most parts of one multipart form", &HttpLimits::max_form_parts},
    {"request-deadline", "Seconds a request may take to arrive whole",
     &HttpLimits::request_deadline_seconds},
    {"keep-alive-timeout", "Seconds a connection may wait for its next request",
     &HttpLimits::keep_alive_seconds},
    {"keep-alive-requests", "Requests served on one connection before it closes",
     &HttpLimits::keep_alive_requests},
    {"workers", "Threads that answer requests (waiting connections hold none)",
     &HttpLimits::workers},
    {"max-connections", "Open connections at once; more are answered 503",
     &HttpLimits::max_connections},
};

std::string Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return std::string(text);
}

[[noreturn]] void Bad(const ServeOptionSpec& entry, std::string_view text, std::string_view want) {
  std::string shown = entry.secret ? MaskSecrets(text) : std::string(text);
  throw OptionError("--" + std::string(entry.name) + ": \"" + shown + "\" is not " +
                    std::string(want));
}

const std::string& One(const ServeOptionSpec& entry, const std::vector<std::string>& texts) {
  if (texts.size() != 1) {
    throw OptionError("--" + std::string(entry.name) + " takes one value");
  }
  return texts.front();
}

}  // namespace

std::span<const ServeOptionSpec> ServeOptionTable() { return kTable; }

std::string EnvironmentName(const ServeOptionSpec& entry) {
  std::string out = "KORIMBA_";
  for (char c : entry.name) {
    out += c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

void SetServeOption(ServeOptions& options, const ServeOptionSpec& entry,
                    const std::vector<std::string>& texts) {
  struct Setter {
    ServeOptions& options;
    const ServeOptionSpec& entry;
    const std::vector<std::string>& texts;

    void operator()(std::string ServeOptions::*field) const { options.*field = One(entry, texts); }
    void operator()(int ServeOptions::*field) const { options.*field = Whole(0); }
    void operator()(int HttpLimits::*field) const { options.limits.*field = Whole(1); }
    int Whole(int least) const {
      std::string text = Trimmed(One(entry, texts));
      int value = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < least) {
        Bad(entry, text, "a whole number of " + std::to_string(least) + " or more");
      }
      return value;
    }
    void operator()(double ServeOptions::*field) const {
      std::string text = Trimmed(One(entry, texts));
      double value = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
          !std::isfinite(value) || value < 0) {
        Bad(entry, text, "a number of seconds of 0 or more");
      }
      options.*field = value;
    }
    void operator()(bool ServeOptions::*field) const {
      std::string text = Trimmed(One(entry, texts));
      for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (text == "1" || text == "true" || text == "yes" || text == "on") {
        options.*field = true;
      } else if (text == "0" || text == "false" || text == "no" || text == "off") {
        options.*field = false;
      } else {
        Bad(entry, text, "true or false");
      }
    }
    void operator()(std::vector<std::string> ServeOptions::*field) const {
      std::vector<std::string> values;
      for (const std::string& text : texts) {
        size_t pos = 0;
        while (pos <= text.size()) {
          size_t comma = text.find(',', pos);
          if (comma == std::string::npos) comma = text.size();
          std::string item = Trimmed(std::string_view(text).substr(pos, comma - pos));
          if (!item.empty()) values.push_back(std::move(item));
          pos = comma + 1;
        }
      }
      options.*field = std::move(values);
    }
  };
  std::visit(Setter{options, entry, texts}, entry.field);
}

std::string ServeOptionText(const ServeOptions& options, const ServeOptionSpec& entry) {
  struct Getter {
    const ServeOptions& options;
    std::string operator()(std::string ServeOptions::*field) const { return options.*field; }
    std::string operator()(int ServeOptions::*field) const {
      return std::to_string(options.*field);
    }
    std::string operator()(int HttpLimits::*field) const {
      return std::to_string(options.limits.*field);
    }
    std::string operator()(double ServeOptions::*field) const {
      char buffer[32];
      auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, options.*field);
      return std::string(buffer, ec == std::errc() ? end : buffer);
    }
    std::string operator()(bool ServeOptions::*field) const {
      return options.*field ? "true" : "false";
    }
    std::string operator()(std::vector<std::string> ServeOptions::*field) const {
      std::string out;
      for (const std::string& item : options.*field) {
        if (!out.empty()) out += ", ";
        out += item;
      }
      return out;
    }
  };
  std::string text = std::visit(Getter{options}, entry.field);
  return entry.secret ? MaskSecrets(text) : text;
}

}  // namespace korimba::web

#include "web/multipart_form.h"

#include <algorithm>
#include <cctype>

namespace korimba::web {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "UTF-8''%E6%8A%A5.txt": the charset and language are dropped (the pages
// read names as UTF-8), the percent escapes undone.
std::string ExtendedValue(std::string_view value) {
  size_t first = value.find('\'');
  size_t second = first == std::string_view::npos ? first : value.find('\'', first + 1);
  if (second != std::string_view::npos) value.remove_prefix(second + 1);
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size() && HexValue(value[i + 1]) >= 0 &&
        HexValue(value[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(value[i + 1]) * 16 + HexValue(value[i + 2]));
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

// Some clients put a name's quotes inside its quotes unescaped; a quote
// closes the value only when the parameter ends after it.
bool ClosesQuote(std::string_view text, size_t quote) {
  size_t after = text.find_first_not_of(" \t", quote + 1);
  return after == std::string_view::npos || text[after] == ';';
}

// Splits header parameters ("form-data; name=\"a\"; filename=b") into
// lower-cased names and values, quotes and their escapes undone.
std::vector<std::pair<std::string, std::string>> Parameters(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t semi = pos;
    // The parameter's end: the next ';' outside quotes.
    std::string name, value;
    size_t eq = std::string_view::npos;
    bool quoted = false;
    for (; semi < text.size(); ++semi) {
      char c = text[semi];
      if (quoted) {
        if (c == '\\' && semi + 1 < text.size()) {
          value += text[++semi];
        } else if (c == '"' && ClosesQuote(text, semi)) {
          quoted = false;
        } else {
          value += c;
        }
        continue;
      }
      if (c == ';') break;
      if (c == '=' && eq == std::string_view::npos) {
        eq = semi;
        continue;
      }
      if (eq == std::string_view::npos) {
        name += c;
      } else if (c == '"') {
        quoted = true;
      } else {
        value += c;
      }
    }
    std::string key = Lower(Trim(name));
    if (!key.empty())
      out.emplace_back(key, std::string(eq == std::string_view::npos ? "" : Trim(value)));
    pos = semi + 1;
  }
  return out;
}

}  // namespace

void KeepMultipartRaw(httplib::Request& req) {
  auto it = req.headers.find("Content-Type");
  if (it == req.headers.end() || !Lower(it->second).starts_with("multipart/form-data")) return;
  std::string type = it->second;
  req.headers.erase(it);
  req.headers.emplace(kRawFormTypeHeader, std::move(type));
}

std::optional<std::string> BoundaryOf(std::string_view content_type) {
  for (auto& [name, value] : Parameters(content_type)) {
    if (name == "boundary" && !value.empty() && value.size() <= 200) return value;
  }
  return std::nullopt;
}

bool ParseMultipart(std::string_view body, std::string_view boundary, size_t max_parts,
                    httplib::MultipartFormDataMap* out, std::string* error) {
  const std::string delimiter = "--" + std::string(boundary);
  size_t pos = body.find(delimiter);
  if (pos == std::string_view::npos) {
    *error = "The form could not be read: its parts are not marked as announced.";
    return false;
  }
  pos += delimiter.size();
  size_t parts = 0;
  for (;;) {
    if (body.substr(pos, 2) == "--") return true;  // the closing delimiter
    if (body.substr(pos, 2) != "\r\n") break;
    pos += 2;
    size_t head_end = body.find("\r\n\r\n", pos);
    if (head_end == std::string_view::npos) break;
    size_t next = body.find("\r\n" + delimiter, head_end + 4);
    if (next == std::string_view::npos) break;
    if (++parts > max_parts) {
      *error = "The form has too many parts: at most " + std::to_string(max_parts) +
               " are accepted. Nothing was changed.";
      return false;
    }
    httplib::MultipartFormData part;
    bool has_extended_name = false;
    std::string_view head = body.substr(pos, head_end - pos);
    size_t line_start = 0;
    while (line_start <= head.size()) {
      size_t line_end = head.find("\r\n", line_start);
      if (line_end == std::string_view::npos) line_end = head.size();
      std::string_view line = head.substr(line_start, line_end - line_start);
      line_start = line_end + 2;
      size_t colon = line.find(':');
      if (colon == std::string_view::npos) continue;
      std::string header = Lower(Trim(line.substr(0, colon)));
      std::string_view value = Trim(line.substr(colon + 1));
      if (header == "content-type") {
        part.content_type = std::string(value);
      } else if (header == "content-disposition") {
        for (auto& [name, text] : Parameters(value)) {
          if (name == "name") {
            part.name = text;
          } else if (name == "filename" && !has_extended_name) {
            part.filename = text;
          } else if (name == "filename*") {
            part.filename = ExtendedValue(text);
            has_extended_name = true;
          }
        }
      }
    }
    part.content = std::string(body.substr(head_end + 4, next - head_end - 4));
    std::string key = part.name;
    out->emplace(std::move(key), std::move(part));
    pos = next + 2 + delimiter.size();
  }
  *error = "The form could not be read: it ends before its last part does.";
  return false;
}

}  // namespace korimba::web

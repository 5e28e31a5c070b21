#include "web/static_files.h"

#include <sys/socket.h>

#include <cstdint>
#include <cstdio>
#include <map>

#include "web/templates.h"

namespace korimba::web {
namespace {

// Whether an If-None-Match header value names `tag` (a list of tags, or *).
bool MatchesTag(std::string_view header, std::string_view tag) {
  size_t pos = 0;
  while (pos < header.size()) {
    size_t end = header.find(',', pos);
    if (end == std::string_view::npos) end = header.size();
    std::string_view part = header.substr(pos, end - pos);
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
    if (part.starts_with("W/")) part.remove_prefix(2);
    if (part == tag || part == "*") return true;
    pos = end + 1;
  }
  return false;
}

}  // namespace

std::string StaticETag(std::string_view content) {
  // FNV-1a over the bytes: a change to the file changes the tag.
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : content) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char text[24];
  std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(hash));
  return text;
}

void SendStatic(const httplib::Request& req, httplib::Response& res, std::string_view name,
                const char* type) {
  auto content = EmbeddedAsset(name);
  if (!content) {
    res.status = 404;
    return;
  }
  // Every embedded file's tag, computed on first use.
  static const std::map<std::string_view, std::string> tags = [] {
    std::map<std::string_view, std::string> out;
    for (const auto& [file, bytes] : EmbeddedAssets()) out.emplace(file, StaticETag(bytes));
    return out;
  }();
  const std::string& tag = tags.at(name);
  res.set_header("ETag", tag);
  res.set_header("Cache-Control", "public, max-age=" + std::to_string(kStaticMaxAgeSeconds));
  if (MatchesTag(req.get_header_value("If-None-Match"), tag)) {
    res.status = 304;
    return;
  }
  res.set_content(content->data(), content->size(), type);
}

void TuneServer(httplib::Server& server, std::function<void(socket_t)> on_listening) {
  // Set on the listening socket; Linux hands TCP_NODELAY on to every
  // connection accepted from it.
  server.set_tcp_nodelay(true);
  // SO_REUSEADDR only: the library's default adds SO_REUSEPORT, with which a
  // second server binds the same address without a word and takes half of
  // its connections (and their sessions) away from the first.
  server.set_socket_options([on_listening = std::move(on_listening)](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    if (on_listening) on_listening(sock);
  });
}

}  // namespace korimba::web

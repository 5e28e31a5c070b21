#include "web/secret_mask.h"

#include <array>
#include <cctype>

namespace korimba::web {
namespace {

constexpr std::array<std::string_view, 2> kSecretKeys = {"pwd", "password"};

bool IsKeyChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == ' ';
}

// Whether the key that ends just before text[eq] (an "=") is a secret's.
bool SecretKeyBefore(std::string_view text, size_t eq) {
  size_t begin = eq;
  while (begin > 0 && IsKeyChar(text[begin - 1])) --begin;
  std::string_view key = text.substr(begin, eq - begin);
  while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
  // Only the last word: "failed for PWD=" still names the key PWD.
  if (size_t space = key.rfind(' '); space != std::string_view::npos) {
    key.remove_prefix(space + 1);
  }
  for (std::string_view secret : kSecretKeys) {
    if (key.size() != secret.size()) continue;
    bool same = true;
    for (size_t i = 0; i < key.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(key[i])) == secret[i];
    }
    if (same) return true;
  }
  return false;
}

}  // namespace

std::string MaskSecrets(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eq = text.find('=', pos);
    if (eq == std::string_view::npos) break;
    out.append(text.substr(pos, eq + 1 - pos));
    pos = eq + 1;
    if (!SecretKeyBefore(text, eq)) continue;
    size_t end;
    if (pos < text.size() && text[pos] == '{') {
      // ODBC braces: "}}" inside stands for one "}".
      end = pos + 1;
      while (end < text.size()) {
        if (text[end] == '}') {
          if (end + 1 < text.size() && text[end + 1] == '}') {
            end += 2;
            continue;
          }
          ++end;
          break;
        }
        ++end;
      }
    } else {
      end = text.find(';', pos);
      if (end == std::string_view::npos) end = text.size();
      // A value quoted in a message ends at its quote or at the line's end;
      // anything else (spaces included) may be part of the password.
      for (size_t i = pos; i < end; ++i) {
        if (text[i] == '\'' || text[i] == '"' || text[i] == '\n') {
          end = i;
          break;
        }
      }
    }
    out += "***";
    pos = end;
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace korimba::web

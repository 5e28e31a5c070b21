#include "web/trusted_proxies.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>
#include <optional>

namespace korimba::web {
namespace {

// The address as 16 bytes, IPv4 mapped into IPv6; `v4` says which it was.
std::optional<std::array<uint8_t, 16>> ParseAddress(std::string_view text, bool* v4) {
  std::string s(text);
  if (s.size() > 2 && s.front() == '[' && s.back() == ']') s = s.substr(1, s.size() - 2);
  std::array<uint8_t, 16> bytes{};
  in_addr a4{};
  if (inet_pton(AF_INET, s.c_str(), &a4) == 1) {
    bytes[10] = bytes[11] = 0xff;
    std::memcpy(&bytes[12], &a4, 4);
    *v4 = true;
    return bytes;
  }
  in6_addr a6{};
  if (inet_pton(AF_INET6, s.c_str(), &a6) == 1) {
    std::memcpy(bytes.data(), &a6, 16);
    static constexpr uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    *v4 = std::memcmp(bytes.data(), kMapped, 12) == 0;
    return bytes;
  }
  return std::nullopt;
}

}  // namespace

TrustedProxies TrustedProxies::Parse(const std::vector<std::string>& entries) {
  TrustedProxies out;
  for (const std::string& entry : entries) {
    std::string_view text = entry;
    std::string_view bits_text;
    if (size_t slash = text.find('/'); slash != std::string_view::npos) {
      bits_text = text.substr(slash + 1);
      text = text.substr(0, slash);
    }
    bool v4 = false;
    auto bytes = ParseAddress(text, &v4);
    if (!bytes) throw std::invalid_argument("\"" + entry + "\" is not an IP address or CIDR range");
    Range range{*bytes, 128};
    if (!bits_text.empty() || entry.find('/') != std::string::npos) {
      int bits = -1;
      auto [end, ec] = std::from_chars(bits_text.data(), bits_text.data() + bits_text.size(), bits);
      const int most = v4 ? 32 : 128;
      if (ec != std::errc() || end != bits_text.data() + bits_text.size() || bits < 0 ||
          bits > most) {
        throw std::invalid_argument("\"" + entry + "\": the prefix length must be 0 to " +
                                    std::to_string(most));
      }
      range.bits = v4 ? 96 + bits : bits;
    }
    out.ranges_.push_back(range);
  }
  return out;
}

bool TrustedProxies::Contains(std::string_view address) const {
  bool v4 = false;
  auto bytes = ParseAddress(address, &v4);
  if (!bytes) return false;
  for (const Range& range : ranges_) {
    int bits = range.bits;
    bool match = true;
    for (int i = 0; i < 16 && bits > 0 && match; ++i, bits -= 8) {
      const uint8_t mask = bits >= 8 ? 0xff : static_cast<uint8_t>(0xff << (8 - bits));
      match = ((*bytes)[i] & mask) == (range.bytes[i] & mask);
    }
    if (match) return true;
  }
  return false;
}

}  // namespace korimba::web

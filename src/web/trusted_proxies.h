// TrustedProxies is the set of client addresses whose forwarded headers the
// server believes (the sign-in header in proxy mode, X-Forwarded-Proto):
// single addresses and CIDR ranges, IPv4 and IPv6. An IPv4 address written as
// IPv6 (::ffff:192.0.2.1) is the IPv4 address. Immutable after Parse; any
// thread.
#ifndef KORIMBA_WEB_TRUSTED_PROXIES_H_
#define KORIMBA_WEB_TRUSTED_PROXIES_H_

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korimba::web {

class TrustedProxies {
 public:
  TrustedProxies() = default;
  // Each entry "ADDRESS" or "ADDRESS/BITS"; throws std::invalid_argument
  // naming an entry that is neither.
  static TrustedProxies Parse(const std::vector<std::string>& entries);

  bool Contains(std::string_view address) const;
  bool empty() const { return ranges_.empty(); }

 private:
  struct Range {
    std::array<uint8_t, 16> bytes{};  // IPv4 as ::ffff:a.b.c.d
    int bits = 128;
  };
  std::vector<Range> ranges_;
};

}  // namespace korimba::web

#endif  // KORIMBA_WEB_TRUSTED_PROXIES_H_

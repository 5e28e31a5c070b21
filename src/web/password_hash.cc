#include "web/password_hash.h"

#include <sodium.h>

#include <cstdlib>
#include <mutex>
#include <stdexcept>

namespace korimba::web {
namespace {

void InitSodium() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (sodium_init() < 0) throw std::runtime_error("libsodium could not start");
  });
}

}  // namespace

std::optional<HashCost> ParseHashCost(std::string_view text) {
  if (text == "interactive") return HashCost::kInteractive;
  if (text == "minimum") return HashCost::kMinimum;
  return std::nullopt;
}

HashCost HashCostFromEnvironment() {
  const char* text = std::getenv("KORIMBA_PASSWORD_COST");
  if (text == nullptr || *text == '\0') return HashCost::kInteractive;
  if (auto cost = ParseHashCost(text)) return *cost;
  throw std::runtime_error(std::string("KORIMBA_PASSWORD_COST: \"") + text +
                           "\" is neither interactive nor minimum");
}

std::string HashPassword(std::string_view password, HashCost cost) {
  InitSodium();
  const bool low = cost == HashCost::kMinimum;
  char out[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str_alg(out, password.data(), password.size(),
                            low ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE,
                            low ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE,
                            crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw std::runtime_error("not enough memory to hash the password");
  }
  return std::string(out);
}

bool VerifyPassword(std::string_view hash, std::string_view password) {
  InitSodium();
  // crypto_pwhash_str_verify reads a NUL-terminated text of bounded size.
  if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
  std::string text(hash);
  return crypto_pwhash_str_verify(text.c_str(), password.data(), password.size()) == 0;
}

void SpendVerificationTime(std::string_view password) {
  static const std::string dummy = HashPassword("korimba: no such account");
  VerifyPassword(dummy, password);
}

}  // namespace korimba::web

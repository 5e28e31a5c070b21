// Password hashes of the sign-in accounts: Argon2id through libsodium's
// crypto_pwhash_str, whose text form carries the algorithm, its cost and the
// salt, so a hash made at any cost verifies later. The interactive cost is
// libsodium's own recommendation for sign-ins; the minimum cost exists only
// so that tests and throw-away demonstrations need not spend 64 MiB and a
// tenth of a second per hash. Free functions; any thread.
#ifndef KORIMBA_WEB_PASSWORD_HASH_H_
#define KORIMBA_WEB_PASSWORD_HASH_H_

#include <optional>
#include <string>
#include <string_view>

namespace korimba::web {

enum class HashCost { kInteractive, kMinimum };

// "interactive" or "minimum" (nullopt for anything else).
std::optional<HashCost> ParseHashCost(std::string_view text);

// The cost named by KORIMBA_PASSWORD_COST, interactive when it is unset.
// Throws std::runtime_error for another value.
HashCost HashCostFromEnvironment();

// Throws std::runtime_error when the memory for the hash cannot be had.
std::string HashPassword(std::string_view password, HashCost cost = HashCost::kInteractive);

// False for a wrong password and for anything that is not such a hash.
bool VerifyPassword(std::string_view hash, std::string_view password);

// Spends the time of one verification, so that a sign-in for a login that
// does not exist takes as long as one with a wrong password.
void SpendVerificationTime(std::string_view password);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_PASSWORD_HASH_H_

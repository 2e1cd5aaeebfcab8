// The key bag of an encrypted backup (Manifest.plist's BackupKeyBag): the salts and counts that
// turn the password into the passcode key, and each protection class's key wrapped with it.
//
// Layout: a run of records, each a 4-byte ASCII tag, a 4-byte big-endian length and that many
// bytes; numbers are 4-byte big-endian values. The header comes first — VERS, TYPE, UUID, HMCK,
// WRAP, SALT, ITER and, since iOS 10.2, DPWT, DPIC, DPSL — and each class key after it starts at
// its own UUID and holds CLAS, WRAP, KTYP and WPKY (the key, wrapped as RFC 3394 says).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pixhaven::backup {

inline constexpr std::uint32_t kWrappedByPasscode = 2;  // WRAP bit: the passcode key wraps it
inline constexpr std::size_t kWrappedKeyBytes = 40;     // a 32-byte key wrapped (RFC 3394)

struct ClassKey {
    std::uint32_t protectionClass = 0;
    std::uint32_t wrap = 0;
    std::string wrappedKey;  // WPKY
};

struct Keybag {
    std::uint32_t type = 0;
    std::string salt;  // SALT: PBKDF2-HMAC-SHA1
    std::uint32_t iterations = 0;
    std::string doubleProtectionSalt;  // DPSL: PBKDF2-HMAC-SHA256 first, when present
    std::uint32_t doubleProtectionIterations = 0;
    std::vector<ClassKey> classKeys;
};

// Counts past this are refused as damage: real backups use 10,000,000 and 10,000, and a larger
// count would keep the user waiting on a hostile file for minutes.
inline constexpr std::uint32_t kMaxIterations = 100'000'000;

// None when the bytes are not a whole key bag: a record running past the end, a header without
// SALT and ITER, a count of 0 or past kMaxIterations, DPSL without DPIC, or no class key with a
// wrapped key of 40 bytes. Unknown tags are passed over.
std::optional<Keybag> ParseKeybag(std::string_view bytes);

}  // namespace pixhaven::backup

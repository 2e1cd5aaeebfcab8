// The three ciphers of an encrypted backup, all through libcrypto: key derivation from the
// password, key wrapping, and the encryption of files and of Manifest.db.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pixhaven::samplegen {

enum class Pbkdf2Hash : std::uint8_t { Sha1, Sha256 };

// PBKDF2-HMAC with the given hash: a 32-byte key. Throws SampleError for 0 or more than
// INT_MAX iterations, or when libcrypto fails.
std::string Pbkdf2(std::string_view password, std::string_view salt, std::uint32_t iterations,
                   Pbkdf2Hash hash);

// AES key wrap (RFC 3394, default IV) of a 32-byte key with a 32-byte key: 40 bytes.
std::string AesKeyWrap(std::string_view wrappingKey, std::string_view key);

// AES-256-CBC with a zero IV and PKCS#7 padding: always a whole number of 16-byte blocks, one
// more block when the plaintext fills its last one.
std::string AesCbcEncrypt(std::string_view key, std::string_view plaintext);

}  // namespace pixhaven::samplegen

// The keys of an encrypted backup, once its password has opened the key bag, and the decryption
// of what they protect. All cryptography is OpenSSL's libcrypto: PBKDF2, AES key unwrap
// (RFC 3394) and AES-256-CBC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "backup/keybag.h"
#include "backup/secret.h"

namespace pixhaven::backup {

enum class UnlockProblem { WrongPassword };

// The class keys a password unwraps. Wiped when released.
class BackupKeys {
public:
    // Derives the passcode key from the password (UTF-8) and unwraps every class key the passcode
    // wraps. Slow on purpose: seconds with real counts. A class key that does not unwrap means
    // the password is wrong.
    static std::variant<BackupKeys, UnlockProblem> Unlock(const Keybag& keybag,
                                                          std::string_view password);

    // A key as backups store it — the 4-byte little-endian protection class, then the key wrapped
    // with that class's key — unwrapped; none when the class is not open or the key does not
    // unwrap.
    std::optional<SecretBytes> UnwrapStoredKey(std::string_view classAndWrappedKey) const;

private:
    std::map<std::uint32_t, SecretBytes> classKeys_;
};

// The passcode key: PBKDF2-HMAC-SHA256 over DPSL and DPIC first when the key bag has DPSL, then
// PBKDF2-HMAC-SHA1 over SALT and ITER.
SecretBytes DerivePasscodeKey(const Keybag& keybag, std::string_view password);

// RFC 3394 unwrap of a 32-byte key; none when the integrity check fails.
std::optional<SecretBytes> UnwrapKey(std::span<const unsigned char> kek, std::string_view wrapped);

inline constexpr std::size_t kCipherBlock = 16;

// The size to decrypt to when no record gives one (Manifest.db): all of the plaintext.
inline constexpr std::uint64_t kWholeContent = UINT64_MAX;

// AES-256-CBC with a zero IV, decrypted as the bytes pass, the padding checked at the end. The
// plaintext is cut to `size` bytes (the record's size): more is dropped, less is an error.
class ContentDecryptor {
public:
    ContentDecryptor(const SecretBytes& key, std::uint64_t size);
    ~ContentDecryptor();
    ContentDecryptor(const ContentDecryptor&) = delete;
    ContentDecryptor& operator=(const ContentDecryptor&) = delete;

    // Appends the plaintext of `in` to `out`; false when decryption failed.
    bool Update(std::span<const unsigned char> in, std::vector<unsigned char>& out);
    // The last block: false when the padding is not sound or the plaintext is shorter than
    // `size`.
    bool Finish(std::vector<unsigned char>& out);

private:
    void Keep(std::size_t start, std::size_t count, std::vector<unsigned char>& out);

    struct Context;
    std::unique_ptr<Context> context_;
    std::uint64_t size_;
    std::uint64_t produced_ = 0;
};

// A whole encrypted content decrypted in memory: Manifest.db, or a file a thumbnail is made of.
std::optional<std::string> DecryptContent(const SecretBytes& key, std::string_view ciphertext,
                                          std::uint64_t size);

// The plaintext bytes [offset, offset + count) of a content of plaintext size `size`, from the
// ciphertext blocks that hold them and the block before them (its IV): what the scan's signature
// tests need without decrypting a whole file. `blocks` starts at ciphertext block `firstBlock`;
// none when they do not cover the range.
std::optional<std::string> DecryptRange(const SecretBytes& key, std::string_view blocks,
                                        std::uint64_t firstBlock, std::uint64_t offset,
                                        std::size_t count);

}  // namespace pixhaven::backup

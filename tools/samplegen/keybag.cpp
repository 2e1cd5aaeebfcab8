#include "tools/samplegen/keybag.h"

#include "tools/samplegen/crypto.h"

namespace pixhaven::samplegen {
namespace {

constexpr std::uint32_t kBackupKeybag = 1;       // TYPE
constexpr std::uint32_t kWrappedByPasscode = 2;  // WRAP

std::string LittleEndian32(std::uint32_t value) {
    std::string out;
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
    return out;
}

std::string BigEndian32(std::uint32_t value) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
    return out;
}

// One record: 4-byte tag, 4-byte big-endian length, value.
void Append(std::string& keybag, const char (&tag)[5], const std::string& value) {
    keybag.append(tag, 4);
    keybag += BigEndian32(static_cast<std::uint32_t>(value.size()));
    keybag += value;
}

void Append(std::string& keybag, const char (&tag)[5], std::uint32_t value) {
    Append(keybag, tag, BigEndian32(value));
}

}  // namespace

BackupKeys::BackupKeys(const Encryption& encryption, ManifestKind kind, Random& random) {
    const bool modern = kind == ManifestKind::Db;
    const std::string salt = random.Bytes(20);
    Append(keybag_, "VERS", modern ? 4u : 3u);
    Append(keybag_, "TYPE", kBackupKeybag);
    Append(keybag_, "UUID", random.Bytes(16));
    Append(keybag_, "HMCK", random.Bytes(40));
    Append(keybag_, "WRAP", kWrappedByPasscode);
    Append(keybag_, "SALT", salt);
    Append(keybag_, "ITER", encryption.iterations);
    std::string secret = encryption.password;
    if (modern) {
        const std::string dpSalt = random.Bytes(20);
        Append(keybag_, "DPWT", 1u);
        Append(keybag_, "DPIC", encryption.dpIterations);
        Append(keybag_, "DPSL", dpSalt);
        secret = Pbkdf2(secret, dpSalt, encryption.dpIterations, Pbkdf2Hash::Sha256);
    }
    const std::string passcodeKey = Pbkdf2(secret, salt, encryption.iterations, Pbkdf2Hash::Sha1);
    for (std::uint32_t protectionClass = kFirstClass; protectionClass <= kLastClass;
         ++protectionClass) {
        std::string& key = classKeys_[protectionClass];
        key = random.Bytes(32);
        Append(keybag_, "UUID", random.Bytes(16));
        Append(keybag_, "CLAS", protectionClass);
        Append(keybag_, "WRAP", kWrappedByPasscode);
        Append(keybag_, "KTYP", 0u);
        Append(keybag_, "WPKY", AesKeyWrap(passcodeKey, key));
    }
}

std::string BackupKeys::WrapWithClass(std::uint32_t protectionClass, const std::string& key) const {
    if (protectionClass < kFirstClass || protectionClass > kLastClass) {
        throw SampleError("no key for protection class " + std::to_string(protectionClass));
    }
    return LittleEndian32(protectionClass) + AesKeyWrap(classKeys_[protectionClass], key);
}

}  // namespace pixhaven::samplegen

// The keys of an encrypted sample backup: the backup keybag that Manifest.plist carries, with one
// random key per protection class wrapped by the key derived from the password.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "tools/samplegen/random.h"
#include "tools/samplegen/samplegen.h"

namespace pixhaven::samplegen {

class BackupKeys {
public:
    // The classes the keybag holds keys for.
    static constexpr std::uint32_t kFirstClass = 1;
    static constexpr std::uint32_t kLastClass = 11;
    // The class whose key wraps the key of Manifest.db.
    static constexpr std::uint32_t kManifestClass = 4;

    // A Manifest.db backup's keybag (version 4) adds the second derivation round (DPWT, DPIC,
    // DPSL) of newer devices; a Manifest.mbdb backup's (version 3) has only the first.
    BackupKeys(const Encryption& encryption, ManifestKind kind, Random& random);

    const std::string& Keybag() const { return keybag_; }
    // The 4-byte little-endian class followed by `key` wrapped with that class's key: the form
    // of a file's encryption key and of Manifest.plist's ManifestKey.
    std::string WrapWithClass(std::uint32_t protectionClass, const std::string& key) const;

private:
    std::string keybag_;
    std::array<std::string, kLastClass + 1> classKeys_;  // indexed by class
};

}  // namespace pixhaven::samplegen

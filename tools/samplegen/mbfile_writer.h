// Writes the archived MBFile property lists that Manifest.db keeps in its `file` column.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pixhaven::samplegen {

struct MbFileFields {
    std::uint64_t size;
    std::uint32_t modified, accessed, created;
    std::uint16_t mode;
    std::string relativePath;
    std::uint32_t protectionClass = 3;
    // An encrypted backup's file key (class and wrapped key), archived as NSMutableData.
    std::optional<std::string> encryptionKey = std::nullopt;
};

// A realistic NSKeyedArchiver binary property list of class MBFile ($archiver, $version,
// $top {root: UID}, $objects with "$null" first, the MBFile dictionary, the RelativePath string,
// the EncryptionKey's NSMutableData and its class when there is a key, the MBFile class
// dictionary); `shuffle` reorders $objects (with the UIDs fixed up) so readers cannot rely on
// positions.
std::string EncodeMbFile(const MbFileFields& fields, bool shuffle = false);

}  // namespace pixhaven::samplegen

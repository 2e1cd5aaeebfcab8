// Decodes the archived MBFile property list that Manifest.db keeps in the `file` column of each
// row.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pixhaven::backup {

// The facts of one file from the archived MBFile property list in Manifest.db's `file` column.
struct MbFileFacts {
    std::uint64_t size = 0;
    std::uint32_t modified = 0;  // LastModified, seconds since 1970
    std::uint32_t accessed = 0;  // LastStatusChange
    std::uint32_t created = 0;   // Birth
    std::uint16_t mode = 0;      // Mode
    // An encrypted backup's EncryptionKey (an archived NSData: the 4-byte protection class, then
    // the file's key wrapped with that class's key), pointing into the archive; empty otherwise.
    std::string_view encryptionKey;
    std::uint32_t protectionClass = 0;  // ProtectionClass
};

// None when the bytes are not a binary property list with an NSKeyedArchiver top object
// (missing keys read as 0; UID references are resolved, never object positions assumed;
// cycles, out-of-range references and oversized counts are refused without hanging).
//
// None also when the archive's own frame is unusable: a bad trailer or offset table, a top object
// that is not a dictionary, $archiver other than "NSKeyedArchiver", $top without a `root` UID,
// $objects that is not an array, or a root that does not resolve to a dictionary.
// Inside the root dictionary a single bad value (wrong type, a reference out of range or in a
// cycle, a number that does not fit its field, a negative number) reads as 0 and the rest stay.
// Dates may be integers or reals (truncated toward zero). The class name is not checked.
std::optional<MbFileFacts> DecodeMbFile(std::string_view archived);

}  // namespace pixhaven::backup

// Finds the small preview a camera embeds in a JPEG's EXIF block, so a thumbnail costs a few
// kilobytes of decoding instead of a whole photo. The bytes are untrusted: every read is bounded.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace pixhaven::backup {

struct ExifThumbnail {
    std::span<const unsigned char> jpeg;  // inside the bytes that were searched
    int orientation = 1;                  // the photo's EXIF orientation, 1 to 8
};

// How much of a file's start to read: SOI, perhaps an APP0, and one APP1 of at most 64 KiB.
inline constexpr std::size_t kExifSearchBytes = 128 * 1024;

// The embedded thumbnail of a JPEG whose first bytes are `bytes` (IFD1's JPEGInterchangeFormat
// and its length), or nothing when there is none or the block is damaged.
std::optional<ExifThumbnail> FindExifThumbnail(std::span<const unsigned char> bytes);

}  // namespace pixhaven::backup

// The EXIF thumbnail search. Layout as read here:
//   JPEG: FF D8, then segments FF xx + big-endian length (counting itself) + payload, up to the
//   start of scan (FF DA). The EXIF block is an APP1 (FF E1) whose payload starts "Exif\0\0".
//   TIFF header (offsets below are relative to it): "II" (little-endian) or "MM" (big-endian),
//   the number 42, and the offset of IFD0.
//   IFD: entry count (16 bits), entries of 12 bytes (tag 16, type 16, count 32, value or offset
//   32), then the offset of the next IFD (32 bits). IFD0 describes the photo (0x0112 is its
//   orientation); the IFD after it, IFD1, the thumbnail: 0x0201 its offset, 0x0202 its length.
#include "backup/exifthumb.h"

#include <cstdint>
#include <string_view>

#include "platform/bytereader.h"

namespace pixhaven::backup {

using platform::ByteReader;
namespace {

constexpr std::uint16_t kTagOrientation = 0x0112;
constexpr std::uint16_t kTagThumbnailOffset = 0x0201;
constexpr std::uint16_t kTagThumbnailLength = 0x0202;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::size_t kIfdEntryBytes = 12;

// Bounded reads inside the TIFF structure in its own byte order.
class TiffView {
public:
    TiffView(std::span<const unsigned char> bytes, bool littleEndian)
        : bytes_(bytes), littleEndian_(littleEndian) {}

    std::size_t Size() const { return bytes_.size(); }
    std::span<const unsigned char> Bytes() const { return bytes_; }

    std::optional<std::uint32_t> Read(std::size_t at, std::size_t width) const {
        if (at > bytes_.size() || bytes_.size() - at < width) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t index = littleEndian_ ? at + width - 1 - i : at + i;
            value = (value << 8) | bytes_[index];
        }
        return value;
    }
    std::optional<std::uint32_t> U16(std::size_t at) const { return Read(at, 2); }
    std::optional<std::uint32_t> U32(std::size_t at) const { return Read(at, 4); }

    // A SHORT or LONG entry's single value.
    std::optional<std::uint32_t> EntryValue(std::size_t entry) const {
        const auto type = U16(entry + 2);
        if (!type) {
            return std::nullopt;
        }
        return *type == kTypeShort ? U16(entry + 8) : U32(entry + 8);
    }

private:
    std::span<const unsigned char> bytes_;
    bool littleEndian_;
};

struct IfdFacts {
    std::optional<std::uint32_t> orientation;
    std::optional<std::uint32_t> thumbnailOffset;
    std::optional<std::uint32_t> thumbnailLength;
    std::optional<std::uint32_t> next;
};

IfdFacts ReadIfd(const TiffView& tiff, std::uint32_t offset) {
    IfdFacts facts;
    const auto count = tiff.U16(offset);
    const std::size_t first = std::size_t{offset} + 2;
    const std::size_t nextAt = first + std::size_t{count.value_or(0)} * kIfdEntryBytes;
    if (!count || nextAt > tiff.Size()) {
        return facts;  // entries running past the block: a damaged directory is not trusted
    }
    for (std::size_t entry = first; entry < nextAt; entry += kIfdEntryBytes) {
        const auto tag = tiff.U16(entry);
        if (tag == kTagOrientation) {
            facts.orientation = tiff.EntryValue(entry);
        } else if (tag == kTagThumbnailOffset) {
            facts.thumbnailOffset = tiff.EntryValue(entry);
        } else if (tag == kTagThumbnailLength) {
            facts.thumbnailLength = tiff.EntryValue(entry);
        }
    }
    facts.next = tiff.U32(nextAt);
    return facts;
}

bool StartsAsJpeg(std::span<const unsigned char> bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

int ValidOrientation(std::optional<std::uint32_t> value) {
    return value && *value >= 1 && *value <= 8 ? static_cast<int>(*value) : 1;
}

std::optional<ExifThumbnail> ThumbnailInTiff(std::span<const unsigned char> bytes) {
    if (bytes.size() < 8) {
        return std::nullopt;
    }
    const bool little = bytes[0] == 'I' && bytes[1] == 'I';
    const bool big = bytes[0] == 'M' && bytes[1] == 'M';
    const TiffView tiff(bytes, little);
    if ((!little && !big) || tiff.U16(2) != 42u) {
        return std::nullopt;
    }
    const IfdFacts ifd0 = ReadIfd(tiff, *tiff.U32(4));
    if (!ifd0.next || *ifd0.next == 0) {
        return std::nullopt;
    }
    const IfdFacts ifd1 = ReadIfd(tiff, *ifd0.next);
    if (!ifd1.thumbnailOffset || !ifd1.thumbnailLength || *ifd1.thumbnailLength == 0) {
        return std::nullopt;
    }
    const std::size_t offset = *ifd1.thumbnailOffset;
    const std::size_t length = *ifd1.thumbnailLength;
    if (offset > tiff.Size() || tiff.Size() - offset < length) {
        return std::nullopt;
    }
    const auto jpeg = bytes.subspan(offset, length);
    if (!StartsAsJpeg(jpeg)) {
        return std::nullopt;
    }
    return ExifThumbnail{jpeg, ValidOrientation(ifd0.orientation)};
}

bool IsExifPayload(std::string_view payload) {
    return payload.size() >= 6 && payload.substr(0, 6) == std::string_view("Exif\0\0", 6);
}

bool IsStandalone(unsigned marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

}  // namespace

std::optional<ExifThumbnail> FindExifThumbnail(std::span<const unsigned char> bytes) {
    if (!StartsAsJpeg(bytes)) {
        return std::nullopt;
    }
    ByteReader reader(bytes.data() + 2, bytes.data() + bytes.size());
    while (!reader.Failed() && !reader.AtEnd()) {
        if (reader.BigEndian(1) != 0xFF) {
            return std::nullopt;  // not at a marker: the segment lengths lied
        }
        const auto marker = static_cast<unsigned>(reader.BigEndian(1));
        if (marker == 0xFF || IsStandalone(marker)) {
            continue;  // fill byte or a marker without a length
        }
        if (marker == 0xDA || marker == 0xD9) {
            return std::nullopt;  // image data begins: the metadata is behind us
        }
        const auto length = static_cast<std::size_t>(reader.BigEndian(2));
        if (length < 2) {
            return std::nullopt;
        }
        const std::string_view payload = reader.Bytes(length - 2);
        if (marker == 0xE1 && IsExifPayload(payload)) {
            const auto* tiff = reinterpret_cast<const unsigned char*>(payload.data()) + 6;
            return ThumbnailInTiff({tiff, payload.size() - 6});
        }
    }
    return std::nullopt;
}

}  // namespace pixhaven::backup

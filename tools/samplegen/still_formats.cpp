// The PNG, BMP and TIFF writers. Each format's layout is spelt out where it is written.
#include "tools/samplegen/still_formats.h"

#include <stdexcept>

#include <zlib.h>

namespace pixhaven::samplegen {
namespace {

void PutBigEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void PutLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// A PNG chunk: length, type, data, CRC-32 over type and data.
void PutChunk(std::string& out, const char* type, const std::string& data) {
    PutBigEndian(out, static_cast<std::uint32_t>(data.size()), 4);
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    const auto crc =
        crc32(0L, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
    PutBigEndian(out, static_cast<std::uint32_t>(crc), 4);
}

std::string Deflate(const std::string& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                  6) != Z_OK) {
        throw std::runtime_error("zlib could not compress the PNG data");
    }
    packed.resize(size);
    return packed;
}

// Scanlines with a filter byte each: "Sub" on even rows, "None" on odd ones, so a decoder's
// filter handling is exercised.
std::string PngScanlines(const RgbImage& image, bool withAlpha) {
    const int channels = withAlpha ? 4 : 3;
    std::string raw;
    raw.reserve(static_cast<std::size_t>(image.Height()) *
                (1 + static_cast<std::size_t>(image.Width()) * channels));
    std::string row;
    for (int y = 0; y < image.Height(); ++y) {
        row.clear();
        for (int x = 0; x < image.Width(); ++x) {
            const Rgb c = image.At(x, y);
            row += static_cast<char>(c.r);
            row += static_cast<char>(c.g);
            row += static_cast<char>(c.b);
            if (withAlpha) {
                row += static_cast<char>(255 - (x * 128 / image.Width()));
            }
        }
        const bool sub = y % 2 == 0;
        raw += static_cast<char>(sub ? 1 : 0);
        for (std::size_t i = 0; i < row.size(); ++i) {
            const auto left = i >= static_cast<std::size_t>(channels)
                                  ? static_cast<unsigned char>(row[i - channels])
                                  : 0;
            const auto value = static_cast<unsigned char>(row[i]);
            raw += static_cast<char>(sub ? static_cast<unsigned char>(value - left) : value);
        }
    }
    return raw;
}

}  // namespace

std::string EncodePng(const RgbImage& image, bool withAlpha) {
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    PutBigEndian(header, static_cast<std::uint32_t>(image.Width()), 4);
    PutBigEndian(header, static_cast<std::uint32_t>(image.Height()), 4);
    header += static_cast<char>(8);                  // bit depth
    header += static_cast<char>(withAlpha ? 6 : 2);  // colour type: RGBA or RGB
    header += std::string(3, '\0');                  // deflate, adaptive filters, no interlace
    PutChunk(out, "IHDR", header);
    PutChunk(out, "IDAT", Deflate(PngScanlines(image, withAlpha)));
    PutChunk(out, "IEND", {});
    return out;
}

std::string EncodeBmp(const RgbImage& image) {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(image.Width()) * 3 + 3) & ~3u;
    const std::uint32_t pixelBytes = rowBytes * static_cast<std::uint32_t>(image.Height());
    std::string out = "BM";
    PutLittleEndian(out, 14 + 40 + pixelBytes, 4);  // file size
    PutLittleEndian(out, 0, 4);                     // reserved
    PutLittleEndian(out, 14 + 40, 4);               // pixel data offset
    PutLittleEndian(out, 40, 4);                    // BITMAPINFOHEADER
    PutLittleEndian(out, static_cast<std::uint32_t>(image.Width()), 4);
    PutLittleEndian(out, static_cast<std::uint32_t>(image.Height()), 4);  // positive: bottom-up
    PutLittleEndian(out, 1, 2);                                           // planes
    PutLittleEndian(out, 24, 2);                                          // bits per pixel
    PutLittleEndian(out, 0, 4);                                           // BI_RGB
    PutLittleEndian(out, pixelBytes, 4);
    PutLittleEndian(out, 2835, 4);  // 72 dpi in pixels per metre
    PutLittleEndian(out, 2835, 4);
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, 0, 4);
    for (int y = image.Height() - 1; y >= 0; --y) {
        std::uint32_t written = 0;
        for (int x = 0; x < image.Width(); ++x) {
            const Rgb c = image.At(x, y);
            out += static_cast<char>(c.b);
            out += static_cast<char>(c.g);
            out += static_cast<char>(c.r);
            written += 3;
        }
        out.append(rowBytes - written, '\0');
    }
    return out;
}

std::string EncodeTiff(const RgbImage& image, bool bigEndian) {
    auto put = [bigEndian](std::string& out, std::uint32_t value, int bytes) {
        bigEndian ? PutBigEndian(out, value, bytes) : PutLittleEndian(out, value, bytes);
    };
    const auto width = static_cast<std::uint32_t>(image.Width());
    const auto height = static_cast<std::uint32_t>(image.Height());
    const std::uint32_t stripBytes = width * height * 3;
    // Layout: header (8), pixel strip, then the IFD and the values that do not fit inline.
    constexpr std::uint32_t kEntries = 12;
    const std::uint32_t ifdAt = 8 + stripBytes + (stripBytes % 2);
    const std::uint32_t extraAt = ifdAt + 2 + kEntries * 12 + 4;
    const std::uint32_t bitsAt = extraAt;
    const std::uint32_t xResAt = bitsAt + 6;
    const std::uint32_t yResAt = xResAt + 8;

    std::string out = bigEndian ? "MM" : "II";
    put(out, 42, 2);
    put(out, ifdAt, 4);
    out.append(reinterpret_cast<const char*>(image.Pixels().data()), image.Pixels().size());
    out.append(stripBytes % 2, '\0');

    put(out, kEntries, 2);
    auto entry = [&](std::uint32_t tag, std::uint32_t type, std::uint32_t count,
                     std::uint32_t value) {
        put(out, tag, 2);
        put(out, type, 2);
        put(out, count, 4);
        if (type == 3 && count == 1) {
            put(out, value, 2);  // a SHORT sits in the first two bytes of the field
            put(out, 0, 2);
        } else {
            put(out, value, 4);
        }
    };
    entry(256, 4, 1, width);       // ImageWidth
    entry(257, 4, 1, height);      // ImageLength
    entry(258, 3, 3, bitsAt);      // BitsPerSample 8,8,8
    entry(259, 3, 1, 1);           // Compression: none
    entry(262, 3, 1, 2);           // PhotometricInterpretation: RGB
    entry(273, 4, 1, 8);           // StripOffsets
    entry(277, 3, 1, 3);           // SamplesPerPixel
    entry(278, 4, 1, height);      // RowsPerStrip
    entry(279, 4, 1, stripBytes);  // StripByteCounts
    entry(282, 5, 1, xResAt);      // XResolution
    entry(283, 5, 1, yResAt);      // YResolution
    entry(296, 3, 1, 2);           // ResolutionUnit: inch
    put(out, 0, 4);                // no further IFD
    for (int i = 0; i < 3; ++i) {
        put(out, 8, 2);
    }
    for (int i = 0; i < 2; ++i) {
        put(out, 72, 4);
        put(out, 1, 4);
    }
    return out;
}

}  // namespace pixhaven::samplegen

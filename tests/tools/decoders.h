// Small, independent decoders for checking what the sample generator writes: libjpeg for JPEG,
// zlib plus CRC checks for PNG, a GIF block walker with an LZW decoder, and TIFF/BMP readers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>

namespace pixhaven::test {

struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // top row first
};

inline std::uint32_t BigEndianAt(std::string_view bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

inline std::uint32_t LittleEndianAt(std::string_view bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

// libjpeg decompression; none when libjpeg reports an error (its messages are silenced).
inline std::optional<DecodedImage> DecodeJpeg(std::string_view bytes) {
    struct Failure {};
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    errors.error_exit = [](j_common_ptr) { throw Failure{}; };
    errors.output_message = [](j_common_ptr) {};
    DecodedImage image;
    try {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        image.width = static_cast<int>(info.output_width);
        image.height = static_cast<int>(info.output_height);
        image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row =
                image.rgb.data() + static_cast<std::size_t>(info.output_scanline) * image.width * 3;
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
    } catch (const Failure&) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    jpeg_destroy_decompress(&info);
    return image;
}

// The payload of the first APP1 "Exif" segment, if any.
inline std::optional<std::string_view> FindExif(std::string_view jpeg) {
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && static_cast<std::uint8_t>(jpeg[at]) == 0xFF) {
        const auto marker = static_cast<std::uint8_t>(jpeg[at + 1]);
        const std::uint32_t length = BigEndianAt(jpeg, at + 2, 2);
        if (marker == 0xE1 && jpeg.substr(at + 4, 6) == std::string_view("Exif\0\0", 6)) {
            return jpeg.substr(at + 10, length - 8);
        }
        if (marker == 0xDA) {
            break;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

// Reads tag values out of one TIFF-structured block, in its own byte order.
class TiffView {
public:
    explicit TiffView(std::string_view bytes)
        : bytes_(bytes), bigEndian_(bytes.substr(0, 2) == "MM") {}

    bool Valid() const {
        return bytes_.size() >= 8 && (bytes_.substr(0, 2) == "MM" || bytes_.substr(0, 2) == "II") &&
               U(2, 2) == 42;
    }
    std::uint32_t U(std::size_t at, int size) const {
        return bigEndian_ ? BigEndianAt(bytes_, at, size) : LittleEndianAt(bytes_, at, size);
    }
    std::uint32_t FirstIfd() const { return U(4, 4); }
    std::uint32_t NextIfd(std::uint32_t ifd) const { return U(ifd + 2 + U(ifd, 2) * 12, 4); }
    // The value of a SHORT or LONG tag with one value, or the offset field of a longer one.
    std::optional<std::uint32_t> Tag(std::uint32_t ifd, std::uint16_t tag) const {
        const std::uint32_t count = U(ifd, 2);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t entry = ifd + 2 + i * 12;
            if (U(entry, 2) == tag) {
                const bool shortValue = U(entry + 2, 2) == 3 && U(entry + 4, 4) == 1;
                return shortValue ? U(entry + 8, 2) : U(entry + 8, 4);
            }
        }
        return std::nullopt;
    }
    std::string_view Bytes() const { return bytes_; }

private:
    std::string_view bytes_;
    bool bigEndian_;
};

// An uncompressed RGB TIFF in one strip.
inline std::optional<DecodedImage> DecodeTiff(std::string_view bytes) {
    const TiffView tiff(bytes);
    if (!tiff.Valid()) {
        return std::nullopt;
    }
    const std::uint32_t ifd = tiff.FirstIfd();
    const auto width = tiff.Tag(ifd, 256);
    const auto height = tiff.Tag(ifd, 257);
    const auto offset = tiff.Tag(ifd, 273);
    const auto count = tiff.Tag(ifd, 279);
    if (!width || !height || !offset || !count || tiff.Tag(ifd, 259) != 1u ||
        tiff.Tag(ifd, 277) != 3u || *count != *width * *height * 3 ||
        *offset + *count > bytes.size()) {
        return std::nullopt;
    }
    DecodedImage image{static_cast<int>(*width), static_cast<int>(*height), {}};
    image.rgb.assign(bytes.begin() + *offset, bytes.begin() + *offset + *count);
    return image;
}

inline std::optional<DecodedImage> DecodeBmp(std::string_view bytes) {
    if (bytes.size() < 54 || bytes.substr(0, 2) != "BM" || LittleEndianAt(bytes, 28, 2) != 24) {
        return std::nullopt;
    }
    const auto width = static_cast<int>(LittleEndianAt(bytes, 18, 4));
    const auto height = static_cast<int>(LittleEndianAt(bytes, 22, 4));
    const std::size_t offset = LittleEndianAt(bytes, 10, 4);
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    if (offset + rowBytes * height != bytes.size()) {
        return std::nullopt;
    }
    DecodedImage image{width, height, {}};
    for (int y = 0; y < height; ++y) {
        const std::size_t row = offset + rowBytes * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const std::size_t at = row + static_cast<std::size_t>(x) * 3;
            image.rgb.push_back(static_cast<std::uint8_t>(bytes[at + 2]));
            image.rgb.push_back(static_cast<std::uint8_t>(bytes[at + 1]));
            image.rgb.push_back(static_cast<std::uint8_t>(bytes[at]));
        }
    }
    return image;
}

struct PngChunk {
    std::string type;
    std::string_view data;
    bool crcOk = false;
};

inline std::vector<PngChunk> PngChunks(std::string_view bytes) {
    std::vector<PngChunk> chunks;
    std::size_t at = 8;
    while (at + 12 <= bytes.size()) {
        const std::uint32_t length = BigEndianAt(bytes, at, 4);
        if (at + 12 + length > bytes.size()) {
            break;
        }
        const std::string_view typed = bytes.substr(at + 4, 4 + length);
        const auto crc =
            crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
        chunks.push_back({std::string(typed.substr(0, 4)), typed.substr(4),
                          crc == BigEndianAt(bytes, at + 8 + length, 4)});
        at += 12 + length;
    }
    return chunks;
}

// Inflates and unfilters an 8-bit RGB or RGBA PNG (filters None, Sub and Up); alpha is dropped.
inline std::optional<DecodedImage> DecodePng(std::string_view bytes) {
    const std::vector<PngChunk> chunks = PngChunks(bytes);
    if (chunks.empty() || chunks.front().type != "IHDR") {
        return std::nullopt;
    }
    const std::string_view header = chunks.front().data;
    const int width = static_cast<int>(BigEndianAt(header, 0, 4));
    const int height = static_cast<int>(BigEndianAt(header, 4, 4));
    const int channels = header[9] == 6 ? 4 : 3;
    std::string packed;
    for (const PngChunk& chunk : chunks) {
        if (chunk.type == "IDAT") {
            packed += chunk.data;
        }
    }
    const std::size_t stride = static_cast<std::size_t>(width) * channels;
    std::vector<std::uint8_t> raw((stride + 1) * height);
    uLongf rawSize = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(packed.data()),
                   static_cast<uLong>(packed.size())) != Z_OK ||
        rawSize != raw.size()) {
        return std::nullopt;
    }
    DecodedImage image{width, height, {}};
    std::vector<std::uint8_t> previous(stride), row(stride);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* line = raw.data() + (stride + 1) * y;
        for (std::size_t i = 0; i < stride; ++i) {
            const std::uint8_t left =
                i >= static_cast<std::size_t>(channels) ? row[i - channels] : 0;
            const std::uint8_t filter = line[0];
            const std::uint8_t add = filter == 1 ? left : filter == 2 ? previous[i] : 0;
            if (filter > 2) {
                return std::nullopt;
            }
            row[i] = static_cast<std::uint8_t>(line[1 + i] + add);
        }
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                image.rgb.push_back(row[static_cast<std::size_t>(x) * channels + c]);
            }
        }
        previous = row;
    }
    return image;
}

// GIF LZW decoding of one image's code stream, to palette indexes.
inline std::optional<std::vector<std::uint8_t>> LzwDecode(std::string_view codes, int minCodeSize) {
    const unsigned clear = 1u << minCodeSize;
    const unsigned end = clear + 1;
    std::vector<std::vector<std::uint8_t>> table;
    auto reset = [&] {
        table.assign(clear + 2, {});
        for (unsigned i = 0; i < clear; ++i) {
            table[i] = {static_cast<std::uint8_t>(i)};
        }
    };
    reset();
    int width = minCodeSize + 1;
    std::uint32_t buffer = 0;
    int bits = 0;
    std::size_t at = 0;
    int previous = -1;  // no code yet since the last clear
    std::vector<std::uint8_t> out;
    while (true) {
        while (bits < width) {
            if (at >= codes.size()) {
                return std::nullopt;  // ran out before the end code
            }
            buffer |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(codes[at++])) << bits;
            bits += 8;
        }
        const unsigned code = buffer & ((1u << width) - 1);
        buffer >>= width;
        bits -= width;
        if (code == clear) {
            reset();
            width = minCodeSize + 1;
            previous = -1;
            continue;
        }
        if (code == end) {
            return out;
        }
        std::vector<std::uint8_t> entry;
        if (code < table.size() && !table[code].empty()) {
            entry = table[code];
        } else if (code == table.size() && previous >= 0) {
            entry = table[static_cast<std::size_t>(previous)];
            entry.push_back(entry.front());
        } else {
            return std::nullopt;
        }
        out.insert(out.end(), entry.begin(), entry.end());
        if (previous >= 0 && table.size() < 4096) {
            std::vector<std::uint8_t> added = table[static_cast<std::size_t>(previous)];
            added.push_back(entry.front());
            table.push_back(std::move(added));
            if (table.size() == (1u << width) && width < 12) {
                ++width;
            }
        }
        previous = static_cast<int>(code);
    }
}

struct GifInfo {
    std::string signature;
    int width = 0;
    int height = 0;
    bool loops = false;
    std::vector<int> delays;  // one per frame with a graphic control extension
    std::vector<std::vector<std::uint8_t>> frames;  // decoded palette indexes
    bool complete = false;  // reached the trailer with every frame decoding in full
};

inline std::string Unblock(std::string_view bytes, std::size_t& at) {
    std::string data;
    while (at < bytes.size()) {
        const auto length = static_cast<std::uint8_t>(bytes[at++]);
        if (length == 0) {
            break;
        }
        data += bytes.substr(at, length);
        at += length;
    }
    return data;
}

inline GifInfo ParseGif(std::string_view bytes) {
    GifInfo info;
    if (bytes.size() < 13) {
        return info;
    }
    info.signature = std::string(bytes.substr(0, 6));
    info.width = static_cast<int>(LittleEndianAt(bytes, 6, 2));
    info.height = static_cast<int>(LittleEndianAt(bytes, 8, 2));
    const auto packed = static_cast<std::uint8_t>(bytes[10]);
    std::size_t at = 13 + ((packed & 0x80) ? 3u * (2u << (packed & 7)) : 0u);
    while (at < bytes.size()) {
        const auto block = static_cast<std::uint8_t>(bytes[at++]);
        if (block == 0x3B) {
            info.complete = true;
            return info;
        }
        if (block == 0x21 && at < bytes.size()) {
            const auto label = static_cast<std::uint8_t>(bytes[at++]);
            const std::string data = Unblock(bytes, at);
            if (label == 0xF9 && data.size() == 4) {
                info.delays.push_back(static_cast<int>(LittleEndianAt(data, 1, 2)));
            } else if (label == 0xFF && data.rfind("NETSCAPE2.0", 0) == 0) {
                info.loops = true;
            }
        } else if (block == 0x2C && at + 10 <= bytes.size()) {
            const std::size_t pixels = static_cast<std::size_t>(LittleEndianAt(bytes, at + 4, 2)) *
                                       LittleEndianAt(bytes, at + 6, 2);
            at += 9;
            const int minCodeSize = static_cast<std::uint8_t>(bytes[at++]);
            const auto indexes = LzwDecode(Unblock(bytes, at), minCodeSize);
            if (!indexes || indexes->size() != pixels) {
                return info;
            }
            info.frames.push_back(*indexes);
        } else {
            return info;
        }
    }
    return info;
}

// Mean absolute difference per channel, for lossy round trips.
inline double MeanDifference(const std::vector<std::uint8_t>& a,
                             const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) {
        return 255.0;
    }
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sum += a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
    }
    return sum / static_cast<double>(a.size());
}

}  // namespace pixhaven::test

// Decoders for checking what the sample generator writes, over the image libraries: libjpeg,
// libpng, libtiff, giflib and libexif. BMP, which none of them reads, is read here by hand.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pixhaven::test {

struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // top row first; alpha dropped
};

// None when the library reports an error.
std::optional<DecodedImage> DecodeJpeg(std::string_view bytes);
std::optional<DecodedImage> DecodePng(std::string_view bytes);
std::optional<DecodedImage> DecodeTiff(std::string_view bytes);
std::optional<DecodedImage> DecodeBmp(std::string_view bytes);

struct GifInfo {
    int width = 0;
    int height = 0;
    bool loops = false;       // a NETSCAPE2.0 application extension
    std::vector<int> delays;  // one per frame with a graphic control extension
    std::vector<std::vector<std::uint8_t>> frames;  // palette indexes
    bool complete = false;                          // read to the trailer with every frame whole
};

GifInfo DecodeGif(std::string_view bytes);

// What a camera photo's EXIF block says, read with libexif.
struct ExifInfo {
    bool bigEndian = false;
    std::optional<std::uint32_t> pixelWidth;  // EXIF IFD
    std::optional<std::uint32_t> pixelHeight;
    std::optional<std::uint32_t> thumbnailCompression;  // IFD1
    std::string thumbnail;                              // the embedded JPEG
};

std::optional<ExifInfo> ReadExif(std::string_view jpeg);

// Mean absolute difference per channel, for lossy round trips.
double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

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

}  // namespace pixhaven::test

// The audio and video containers of the sample backups.
#include "tools/samplegen/media_formats.h"

#include <array>
#include <string_view>

#include "tools/samplegen/random.h"

namespace pixhaven::samplegen {
namespace {

// Seconds from 1904-01-01, the QuickTime epoch, to 1970-01-01.
constexpr std::uint32_t kQuickTimeEpochOffset = 2082844800u;

void PutBigEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

std::string Box(std::string_view type, const std::string& body) {
    std::string out;
    PutBigEndian(out, static_cast<std::uint32_t>(8 + body.size()), 4);
    out += type;
    out += body;
    return out;
}

std::string FileTypeBox(MovieBrand brand) {
    struct Brands {
        std::string_view major;
        std::uint32_t minor;
        std::string_view compatible;
    };
    static constexpr std::array<Brands, 4> kBrands = {{
        {"qt  ", 0x20050300, "qt  "},
        {"mp42", 0, "mp42isom"},
        {"M4A ", 0, "M4A mp42isom"},
        {"3gp4", 0x200, "3gp43gp5isom"},
    }};
    const Brands& b = kBrands[static_cast<std::size_t>(brand)];
    std::string body(b.major);
    PutBigEndian(body, b.minor, 4);
    body += b.compatible;
    return Box("ftyp", body);
}

std::string MovieHeaderBox(std::uint32_t durationSeconds) {
    constexpr std::uint32_t kTimeScale = 600;
    constexpr std::uint32_t kCreated = 1341424800u + kQuickTimeEpochOffset;  // 2012-07-04
    std::string body;
    PutBigEndian(body, 0, 4);  // version 0, no flags
    PutBigEndian(body, kCreated, 4);
    PutBigEndian(body, kCreated, 4);
    PutBigEndian(body, kTimeScale, 4);
    PutBigEndian(body, durationSeconds * kTimeScale, 4);
    PutBigEndian(body, 0x00010000, 4);  // rate 1.0
    PutBigEndian(body, 0x0100, 2);      // volume 1.0
    body.append(10, '\0');
    // Identity matrix in 16.16 and 2.30 fixed point.
    for (std::uint32_t value : {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u}) {
        PutBigEndian(body, value, 4);
    }
    body.append(24, '\0');
    PutBigEndian(body, 2, 4);  // next track id
    return Box("mvhd", body);
}

std::string Id3TextFrame(std::string_view id, const std::string& text) {
    std::string out(id);
    PutBigEndian(out, static_cast<std::uint32_t>(text.size() + 1), 4);
    PutBigEndian(out, 0, 2);
    out += '\0';  // ISO-8859-1
    out += text;
    return out;
}

std::string Id3Tag(const std::string& title, const std::string& artist) {
    const std::string frames = Id3TextFrame("TIT2", title) + Id3TextFrame("TPE1", artist);
    std::string out = "ID3";
    out += '\x03';
    out += '\0';
    out += '\0';
    // The tag size is "synchsafe": seven bits per byte.
    const auto size = static_cast<std::uint32_t>(frames.size());
    for (int shift = 21; shift >= 0; shift -= 7) {
        out += static_cast<char>((size >> shift) & 0x7F);
    }
    return out + frames;
}

}  // namespace

std::string MakeMovieFile(MovieBrand brand, std::uint32_t durationSeconds,
                          std::uint32_t payloadBytes, std::uint64_t seed) {
    Random random(seed);
    std::string payload;
    payload.reserve(payloadBytes);
    for (std::uint32_t i = 0; i < payloadBytes; ++i) {
        payload += static_cast<char>(random.Byte());
    }
    return FileTypeBox(brand) + Box("moov", MovieHeaderBox(durationSeconds)) +
           Box("free", std::string(8, '\0')) + Box("mdat", payload);
}

std::string MakeMp3File(const std::string& title, const std::string& artist, int frames) {
    constexpr std::size_t kFrameBytes = 417;  // 144 * 128000 / 44100, no padding
    std::string out = Id3Tag(title, artist);
    for (int i = 0; i < frames; ++i) {
        std::string frame("\xFF\xFB\x90\x44", 4);  // MPEG-1 Layer III, joint stereo, original
        frame.resize(kFrameBytes, '\0');
        out += frame;
    }
    return out;
}

}  // namespace pixhaven::samplegen

// GIF writing: palette reduction, LZW compression and the block structure of GIF87a/89a.
#include "tools/samplegen/gif_encoder.h"

#include <algorithm>
#include <array>
#include <memory>
#include <stdexcept>

namespace pixhaven::samplegen {
namespace {

// 6x6x6 colour cube followed by 40 greys.
constexpr int kCubeLevels = 6;
constexpr int kCubeSize = kCubeLevels * kCubeLevels * kCubeLevels;

std::array<Rgb, 256> FixedPalette() {
    std::array<Rgb, 256> palette{};
    for (int i = 0; i < kCubeSize; ++i) {
        auto level = [](int v) { return static_cast<std::uint8_t>(v * 51); };
        palette[static_cast<std::size_t>(i)] = {level(i / 36), level(i / 6 % 6), level(i % 6)};
    }
    for (int i = kCubeSize; i < 256; ++i) {
        const auto grey = static_cast<std::uint8_t>((i - kCubeSize) * 255 / 39);
        palette[static_cast<std::size_t>(i)] = {grey, grey, grey};
    }
    return palette;
}

// 4x4 Bayer matrix, so gradients dither instead of banding.
constexpr std::array<int, 16> kBayer = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

std::vector<std::uint8_t> Quantise(const RgbImage& image) {
    std::vector<std::uint8_t> indexes;
    indexes.reserve(static_cast<std::size_t>(image.Width()) *
                    static_cast<std::size_t>(image.Height()));
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            const Rgb c = image.At(x, y);
            // Threshold in [-25, 25]: half a cube step either way.
            const int bias = kBayer[static_cast<std::size_t>((y % 4) * 4 + x % 4)] * 51 / 16 - 25;
            auto level = [bias](std::uint8_t v) { return std::clamp((v + bias + 25) / 51, 0, 5); };
            indexes.push_back(
                static_cast<std::uint8_t>(level(c.r) * 36 + level(c.g) * 6 + level(c.b)));
        }
    }
    return indexes;
}

// Packs variable-width codes least significant bit first, as GIF wants.
class BitPacker {
public:
    void Put(unsigned code, int width) {
        buffer_ |= static_cast<std::uint32_t>(code) << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            out_ += static_cast<char>(buffer_ & 0xFF);
            buffer_ >>= 8;
            bits_ -= 8;
        }
    }
    std::string Finish() {
        if (bits_ > 0) {
            out_ += static_cast<char>(buffer_ & 0xFF);
        }
        return std::move(out_);
    }

private:
    std::uint32_t buffer_ = 0;
    int bits_ = 0;
    std::string out_;
};

// String table of the encoder: (prefix code, next index) -> code, open addressing.
class LzwTable {
public:
    void Clear() { slots_.fill(kEmpty); }
    int Find(unsigned prefix, std::uint8_t index) const {
        const std::uint32_t key = (prefix << 8) | index;
        for (std::size_t at = Hash(key);; at = (at + 1) % slots_.size()) {
            if (slots_[at] == kEmpty) {
                return -1;
            }
            if ((slots_[at] >> 12) == key) {
                return static_cast<int>(slots_[at] & 0xFFF);
            }
        }
    }
    void Add(unsigned prefix, std::uint8_t index, unsigned code) {
        const std::uint32_t key = (prefix << 8) | index;
        std::size_t at = Hash(key);
        while (slots_[at] != kEmpty) {
            at = (at + 1) % slots_.size();
        }
        slots_[at] = (static_cast<std::uint64_t>(key) << 12) | code;
    }

private:
    static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};
    static std::size_t Hash(std::uint32_t key) { return (key * 2654435761u) >> 19; }
    std::array<std::uint64_t, 8192> slots_{};
};

std::string SubBlocks(const std::string& data) {
    std::string out;
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t length = std::min<std::size_t>(255, data.size() - at);
        out += static_cast<char>(length);
        out.append(data, at, length);
    }
    out += '\0';
    return out;
}

void PutU16(std::string& out, int value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

std::string Header(const char* signature, int width, int height) {
    std::string out(signature, 6);
    PutU16(out, width);
    PutU16(out, height);
    out += static_cast<char>(0xF7);  // global colour table of 256 entries, 8-bit resolution
    out += '\0';                     // background colour index
    out += '\0';                     // square pixels
    for (const Rgb& colour : FixedPalette()) {
        out += static_cast<char>(colour.r);
        out += static_cast<char>(colour.g);
        out += static_cast<char>(colour.b);
    }
    return out;
}

std::string ImageBlock(const RgbImage& image) {
    std::string out(1, '\x2C');
    PutU16(out, 0);
    PutU16(out, 0);
    PutU16(out, image.Width());
    PutU16(out, image.Height());
    out += '\0';  // no local colour table, not interlaced
    out += static_cast<char>(8);
    out += SubBlocks(LzwEncode(Quantise(image), 8));
    return out;
}

}  // namespace

std::string LzwEncode(const std::vector<std::uint8_t>& indexes, int minCodeSize) {
    const unsigned clearCode = 1u << minCodeSize;
    const unsigned endCode = clearCode + 1;
    BitPacker packer;
    int width = minCodeSize + 1;
    packer.Put(clearCode, width);
    if (indexes.empty()) {
        packer.Put(endCode, width);
        return packer.Finish();
    }
    auto table = std::make_unique<LzwTable>();
    table->Clear();
    unsigned nextCode = endCode + 1;
    unsigned prefix = indexes[0];
    for (std::size_t i = 1; i < indexes.size(); ++i) {
        const std::uint8_t index = indexes[i];
        if (const int code = table->Find(prefix, index); code >= 0) {
            prefix = static_cast<unsigned>(code);
            continue;
        }
        packer.Put(prefix, width);
        if (nextCode < 4096) {
            // The decoder widens its codes one entry later than it adds them ("early change").
            if (nextCode == (1u << width)) {
                ++width;
            }
            table->Add(prefix, index, nextCode++);
        } else {
            packer.Put(clearCode, width);
            table->Clear();
            nextCode = endCode + 1;
            width = minCodeSize + 1;
        }
        prefix = index;
    }
    packer.Put(prefix, width);
    packer.Put(endCode, width);
    return packer.Finish();
}

std::string EncodeAnimatedGif(const std::vector<GifFrame>& frames) {
    if (frames.empty()) {
        throw std::invalid_argument("a GIF needs at least one frame");
    }
    const int width = frames.front().image.Width();
    const int height = frames.front().image.Height();
    std::string out = Header("GIF89a", width, height);
    out += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";  // application extension: loop forever
    PutU16(out, 0);
    out += '\0';
    for (const GifFrame& frame : frames) {
        if (frame.image.Width() != width || frame.image.Height() != height) {
            throw std::invalid_argument("GIF frames must share one size");
        }
        out += "\x21\xF9\x04";
        out += static_cast<char>(0x04);  // disposal: leave the frame in place
        PutU16(out, frame.delayCentiseconds);
        out += '\0';  // transparent colour index, unused
        out += '\0';
        out += ImageBlock(frame.image);
    }
    out += '\x3B';
    return out;
}

std::string EncodeGif87a(const RgbImage& image) {
    return Header("GIF87a", image.Width(), image.Height()) + ImageBlock(image) + '\x3B';
}

}  // namespace pixhaven::samplegen

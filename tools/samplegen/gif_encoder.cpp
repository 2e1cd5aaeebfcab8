// GIF writing: the picture is reduced to one fixed palette here; giflib does the LZW compression
// and the block structure of GIF87a/89a.
#include "tools/samplegen/gif_encoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <stdexcept>

namespace pixhaven::samplegen {
namespace {

// 6x6x6 colour cube followed by 40 greys. One palette for every frame and every file keeps the
// output the same for the same seed and lets frames share the global colour table.
constexpr int kCubeLevels = 6;
constexpr int kCubeSize = kCubeLevels * kCubeLevels * kCubeLevels;
constexpr int kPaletteSize = 256;

std::array<GifColorType, kPaletteSize> FixedPalette() {
    std::array<GifColorType, kPaletteSize> palette{};
    for (int i = 0; i < kCubeSize; ++i) {
        auto level = [](int v) { return static_cast<GifByteType>(v * 51); };
        palette[static_cast<std::size_t>(i)] = {level(i / 36), level(i / 6 % 6), level(i % 6)};
    }
    for (int i = kCubeSize; i < kPaletteSize; ++i) {
        const auto grey = static_cast<GifByteType>((i - kCubeSize) * 255 / 39);
        palette[static_cast<std::size_t>(i)] = {grey, grey, grey};
    }
    return palette;
}

// 4x4 Bayer matrix, so gradients dither instead of banding.
constexpr std::array<int, 16> kBayer = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

std::vector<GifPixelType> Quantise(const RgbImage& image) {
    std::vector<GifPixelType> indexes;
    indexes.reserve(static_cast<std::size_t>(image.Width()) *
                    static_cast<std::size_t>(image.Height()));
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            const Rgb c = image.At(x, y);
            // Threshold in [-25, 25]: half a cube step either way.
            const int bias = kBayer[static_cast<std::size_t>((y % 4) * 4 + x % 4)] * 51 / 16 - 25;
            auto level = [bias](std::uint8_t v) { return std::clamp((v + bias + 25) / 51, 0, 5); };
            indexes.push_back(
                static_cast<GifPixelType>(level(c.r) * 36 + level(c.g) * 6 + level(c.b)));
        }
    }
    return indexes;
}

int AppendToString(GifFileType* gif, const GifByteType* bytes, int length) {
    static_cast<std::string*>(gif->UserData)
        ->append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    return length;
}

struct ColorMapFree {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// Closing writes the trailer and frees the writer.
struct GifClose {
    void operator()(GifFileType* gif) const {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

// One GIF file being written into memory.
class GifWriter {
public:
    GifWriter(int width, int height, bool gif89) {
        int error = 0;
        gif_.reset(EGifOpen(&bytes_, AppendToString, &error));
        if (!gif_) {
            throw std::runtime_error(std::string("GIF open: ") + GifErrorString(error));
        }
        EGifSetGifVersion(gif_.get(), gif89);
        const auto colours = FixedPalette();
        const std::unique_ptr<ColorMapObject, ColorMapFree> palette(
            GifMakeMapObject(kPaletteSize, colours.data()));
        if (!palette) {
            throw std::bad_alloc();
        }
        Check(EGifPutScreenDesc(gif_.get(), width, height, 8, 0, palette.get()), "screen");
    }

    // The application extension that makes players loop forever.
    void PutLoopForever() {
        static constexpr GifByteType kLoopCount[] = {1, 0, 0};  // sub-block 1, count 0: forever
        Check(EGifPutExtensionLeader(gif_.get(), APPLICATION_EXT_FUNC_CODE), "loop");
        Check(EGifPutExtensionBlock(gif_.get(), 11, "NETSCAPE2.0"), "loop");
        Check(EGifPutExtensionBlock(gif_.get(), sizeof kLoopCount, kLoopCount), "loop");
        Check(EGifPutExtensionTrailer(gif_.get()), "loop");
    }

    void PutDelay(int centiseconds) {
        const GraphicsControlBlock control{DISPOSE_DO_NOT, false, centiseconds,
                                           NO_TRANSPARENT_COLOR};
        GifByteType extension[4];
        const auto length = static_cast<int>(EGifGCBToExtension(&control, extension));
        Check(EGifPutExtension(gif_.get(), GRAPHICS_EXT_FUNC_CODE, length, extension), "delay");
    }

    void PutImage(const RgbImage& image) {
        Check(EGifPutImageDesc(gif_.get(), 0, 0, image.Width(), image.Height(), false, nullptr),
              "image");
        std::vector<GifPixelType> indexes = Quantise(image);
        Check(EGifPutLine(gif_.get(), indexes.data(), static_cast<int>(indexes.size())), "pixels");
    }

    std::string Finish() {
        int error = 0;
        if (EGifCloseFile(gif_.release(), &error) != GIF_OK) {
            throw std::runtime_error(std::string("GIF close: ") + GifErrorString(error));
        }
        return std::move(bytes_);
    }

private:
    void Check(int result, const char* step) const {
        if (result != GIF_OK) {
            throw std::runtime_error(std::string("GIF ") + step + ": " +
                                     GifErrorString(gif_->Error));
        }
    }

    std::string bytes_;  // before the writer, which may still write here as it is destroyed
    std::unique_ptr<GifFileType, GifClose> gif_;
};

}  // namespace

std::string EncodeAnimatedGif(const std::vector<GifFrame>& frames) {
    if (frames.empty()) {
        throw std::invalid_argument("a GIF needs at least one frame");
    }
    const int width = frames.front().image.Width();
    const int height = frames.front().image.Height();
    GifWriter gif(width, height, true);
    gif.PutLoopForever();
    for (const GifFrame& frame : frames) {
        if (frame.image.Width() != width || frame.image.Height() != height) {
            throw std::invalid_argument("GIF frames must share one size");
        }
        gif.PutDelay(frame.delayCentiseconds);
        gif.PutImage(frame.image);
    }
    return gif.Finish();
}

std::string EncodeGif87a(const RgbImage& image) {
    GifWriter gif(image.Width(), image.Height(), false);
    gif.PutImage(image);
    return gif.Finish();
}

}  // namespace pixhaven::samplegen

// Procedural pictures for the sample backups: gradients, shapes and the picture's number in big
// block digits, so every thumbnail is visibly a different picture.
#pragma once

#include <cstdint>
#include <vector>

namespace pixhaven::samplegen {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

// Eight-bit RGB pixels, top row first, no padding.
class RgbImage {
public:
    RgbImage(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    const std::vector<std::uint8_t>& Pixels() const { return pixels_; }
    const std::uint8_t* Row(int y) const { return pixels_.data() + Offset(0, y); }

    Rgb At(int x, int y) const;
    void Set(int x, int y, Rgb colour);
    // Mixes `colour` into the pixel; `alpha` 0..256.
    void Blend(int x, int y, Rgb colour, int alpha);

    void FillGradient(Rgb from, Rgb to, double angleRadians);
    void FillCircle(int cx, int cy, int radius, Rgb colour, int alpha);
    void FillRect(int x0, int y0, int x1, int y1, Rgb colour, int alpha);
    // Draws `number` in 5x7 block digits centred at (cx, cy), each block `cell` pixels wide.
    void DrawNumber(int number, int cx, int cy, int cell, Rgb colour, Rgb shadow);
    // A smaller copy by box averaging, for embedded thumbnails.
    RgbImage Shrunk(int width, int height) const;

private:
    std::size_t Offset(int x, int y) const {
        return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                static_cast<std::size_t>(x)) *
               3;
    }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    void DrawDigit(int digit, int left, int top, int cell, Rgb colour);

    int width_;
    int height_;
    std::vector<std::uint8_t> pixels_;
};

// The picture numbered `number`: colours and shapes follow from `seed` and `number`.
RgbImage PaintArtwork(int width, int height, int number, std::uint64_t seed);

// One frame of an animation: `base` with a ball that circles it as `frame` goes round.
RgbImage PaintAnimationFrame(const RgbImage& base, int frame, int frameCount);

}  // namespace pixhaven::samplegen

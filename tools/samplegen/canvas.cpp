// Drawing primitives and the procedural artwork of the sample pictures.
#include "tools/samplegen/canvas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <string_view>

#include "tools/samplegen/random.h"

namespace pixhaven::samplegen {
namespace {

// Rows of a 5x7 font, most significant of the five bits on the left.
constexpr std::array<std::array<std::uint8_t, 7>, 10> kDigitRows = {{
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
}};

std::uint8_t Mix(std::uint8_t from, std::uint8_t to, int alpha) {
    return static_cast<std::uint8_t>((from * (256 - alpha) + to * alpha) >> 8);
}

// `t` in [0, 1]: each channel stays between its two ends, never negative, so adding a half and
// truncating rounds it.
Rgb Lerp(Rgb from, Rgb to, double t) {
    auto channel = [t](std::uint8_t a, std::uint8_t b) {
        return static_cast<std::uint8_t>(a + (b - a) * t + 0.5);
    };
    return {channel(from.r, to.r), channel(from.g, to.g), channel(from.b, to.b)};
}

// A saturated colour from a hue in [0, 360) and a lightness scale.
Rgb FromHue(double hue, double light) {
    const double h = std::fmod(hue, 360.0) / 60.0;
    const double x = 1.0 - std::fabs(std::fmod(h, 2.0) - 1.0);
    // Per sixth of the hue circle, each channel is full ('1'), rising or falling ('x') or off.
    static constexpr std::array<std::string_view, 6> kSextants = {"1x0", "x10", "01x",
                                                                  "0x1", "x01", "10x"};
    const std::string_view sextant = kSextants[std::min(static_cast<std::size_t>(h), 5UL)];
    std::array<double, 3> c{};
    for (std::size_t i = 0; i < c.size(); ++i) {
        c[i] = sextant[i] == '1' ? 1.0 : sextant[i] == 'x' ? x : 0.0;
    }
    auto scale = [light](double v) {
        return static_cast<std::uint8_t>(std::clamp(40.0 + v * 200.0 * light, 0.0, 255.0));
    };
    return {scale(c[0]), scale(c[1]), scale(c[2])};
}

void PaintShapes(RgbImage& image, Random& random, double baseHue) {
    const int w = image.Width();
    const int h = image.Height();
    const int shortSide = std::max(1, std::min(w, h));
    const int shapes = static_cast<int>(random.Between(3, 7));
    for (int i = 0; i < shapes; ++i) {
        const Rgb colour =
            FromHue(baseHue + random.Between(60, 300), 0.6 + random.Between(0, 4) / 10.0);
        const int x = static_cast<int>(random.Between(0, static_cast<std::uint32_t>(w)));
        const int y = static_cast<int>(random.Between(0, static_cast<std::uint32_t>(h)));
        const int size = shortSide / 10 + static_cast<int>(random.Between(
                                              0, static_cast<std::uint32_t>(shortSide / 3)));
        if (random.Between(0, 1) == 0) {
            image.FillCircle(x, y, size, colour, 150);
        } else {
            image.FillRect(x - size, y - size / 2, x + size, y + size / 2, colour, 130);
        }
    }
}

}  // namespace

RgbImage::RgbImage(int width, int height)
    : width_(std::max(1, width)),
      height_(std::max(1, height)),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3) {}

Rgb RgbImage::At(int x, int y) const {
    const std::size_t at = Offset(x, y);
    return {pixels_[at], pixels_[at + 1], pixels_[at + 2]};
}

void RgbImage::Set(int x, int y, Rgb colour) {
    if (!Inside(x, y)) {
        return;
    }
    const std::size_t at = Offset(x, y);
    pixels_[at] = colour.r;
    pixels_[at + 1] = colour.g;
    pixels_[at + 2] = colour.b;
}

void RgbImage::Blend(int x, int y, Rgb colour, int alpha) {
    if (!Inside(x, y)) {
        return;
    }
    std::uint8_t* at = pixels_.data() + Offset(x, y);
    at[0] = Mix(at[0], colour.r, alpha);
    at[1] = Mix(at[1], colour.g, alpha);
    at[2] = Mix(at[2], colour.b, alpha);
}

void RgbImage::FillGradient(Rgb from, Rgb to, double angleRadians) {
    const double dx = std::cos(angleRadians);
    const double dy = std::sin(angleRadians);
    const double span = std::max(1e-9, std::fabs(dx) * width_ + std::fabs(dy) * height_);
    const double start = std::min(0.0, dx * width_) + std::min(0.0, dy * height_);
    // The gradient has 1,024 levels along its direction, so the samples' pictures stay the same
    // from one version of the generator to the next.
    constexpr double kLevels = 1024;
    std::uint8_t* out = pixels_.data();
    for (int y = 0; y < height_; ++y) {
        const double rowStart = (dy * y - start) / span;
        const double step = dx / span;
        for (int x = 0; x < width_; ++x, out += 3) {
            const double t = std::clamp(rowStart + step * x, 0.0, 1.0);
            const Rgb c = Lerp(from, to, std::floor(t * (kLevels - 1)) / (kLevels - 1));
            out[0] = c.r;
            out[1] = c.g;
            out[2] = c.b;
        }
    }
}

void RgbImage::FillCircle(int cx, int cy, int radius, Rgb colour, int alpha) {
    for (int dy = -radius; dy <= radius; ++dy) {
        // Each row of a disc is one span.
        const int half =
            static_cast<int>(std::sqrt(static_cast<double>(radius) * radius - dy * dy));
        FillRect(cx - half, cy + dy, cx + half + 1, cy + dy + 1, colour, alpha);
    }
}

void RgbImage::FillRect(int x0, int y0, int x1, int y1, Rgb colour, int alpha) {
    const int left = std::max(0, x0);
    const int right = std::min(width_, x1);
    for (int y = std::max(0, y0); y < std::min(height_, y1); ++y) {
        if (left >= right) {
            return;
        }
        std::uint8_t* at = pixels_.data() + Offset(left, y);
        for (int x = left; x < right; ++x, at += 3) {
            at[0] = Mix(at[0], colour.r, alpha);
            at[1] = Mix(at[1], colour.g, alpha);
            at[2] = Mix(at[2], colour.b, alpha);
        }
    }
}

void RgbImage::DrawDigit(int digit, int left, int top, int cell, Rgb colour) {
    const auto& rows = kDigitRows[static_cast<std::size_t>(digit)];
    for (int row = 0; row < 7; ++row) {
        for (int column = 0; column < 5; ++column) {
            if ((rows[static_cast<std::size_t>(row)] >> (4 - column)) & 1) {
                const int x = left + column * cell;
                const int y = top + row * cell;
                FillRect(x, y, x + cell, y + cell, colour, 256);
            }
        }
    }
}

void RgbImage::DrawNumber(int number, int cx, int cy, int cell, Rgb colour, Rgb shadow) {
    const std::string digits = std::to_string(std::max(0, number));
    const int count = static_cast<int>(digits.size());
    const int textWidth = (count * 6 - 1) * cell;
    const int left = cx - textWidth / 2;
    const int top = cy - 7 * cell / 2;
    const int offset = std::max(1, cell / 4);
    for (int i = 0; i < count; ++i) {
        const int digit = digits[static_cast<std::size_t>(i)] - '0';
        DrawDigit(digit, left + i * 6 * cell + offset, top + offset, cell, shadow);
    }
    for (int i = 0; i < count; ++i) {
        DrawDigit(digits[static_cast<std::size_t>(i)] - '0', left + i * 6 * cell, top, cell,
                  colour);
    }
}

RgbImage RgbImage::Shrunk(int width, int height) const {
    RgbImage small(width, height);
    for (int y = 0; y < small.height_; ++y) {
        const int y0 = y * height_ / small.height_;
        const int y1 = std::max(y0 + 1, (y + 1) * height_ / small.height_);
        for (int x = 0; x < small.width_; ++x) {
            const int x0 = x * width_ / small.width_;
            const int x1 = std::max(x0 + 1, (x + 1) * width_ / small.width_);
            std::array<long long, 3> sum{};
            for (int sy = y0; sy < y1; ++sy) {
                for (int sx = x0; sx < x1; ++sx) {
                    const Rgb c = At(sx, sy);
                    sum[0] += c.r;
                    sum[1] += c.g;
                    sum[2] += c.b;
                }
            }
            const long long n = static_cast<long long>(x1 - x0) * (y1 - y0);
            small.Set(x, y,
                      {static_cast<std::uint8_t>(sum[0] / n), static_cast<std::uint8_t>(sum[1] / n),
                       static_cast<std::uint8_t>(sum[2] / n)});
        }
    }
    return small;
}

RgbImage PaintArtwork(int width, int height, int number, std::uint64_t seed) {
    Random random = Random::Derived(seed, static_cast<std::uint64_t>(number) + 1);
    const double hue = random.Between(0, 359);
    RgbImage image(width, height);
    const double angle = random.Between(0, 359) * std::numbers::pi / 180.0;
    image.FillGradient(FromHue(hue, 0.9), FromHue(hue + random.Between(90, 200), 0.35), angle);
    PaintShapes(image, random, hue);

    const int shortSide = std::min(image.Width(), image.Height());
    const int digits = static_cast<int>(std::to_string(std::max(0, number)).size());
    const int cell =
        std::max(1, std::min(image.Width() * 7 / 10 / (digits * 6), shortSide / 2 / 7));
    image.DrawNumber(number, image.Width() / 2, image.Height() / 2, cell, {250, 250, 245},
                     {20, 20, 30});
    return image;
}

RgbImage PaintAnimationFrame(const RgbImage& base, int frame, int frameCount) {
    RgbImage image = base;
    const int width = image.Width();
    const int height = image.Height();
    const double turn = 2.0 * std::numbers::pi * frame / std::max(1, frameCount);
    const int radius = std::max(2, std::min(width, height) / 8);
    const int cx = width / 2 + static_cast<int>(std::cos(turn) * (width / 2 - radius));
    const int cy = height / 2 + static_cast<int>(std::sin(turn) * (height / 2 - radius));
    image.FillCircle(cx, cy, radius, FromHue(frame * 360.0 / std::max(1, frameCount), 1.0), 230);
    return image;
}

}  // namespace pixhaven::samplegen

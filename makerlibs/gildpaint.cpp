// Size texts and picture fitting. Both work in integers only: sizes up to 2^64 - 1 must round the
// same on every compiler, and picture rectangles must never poke out of their frame.
#include "makerlibs/gildpaint.h"

#include <algorithm>
#include <array>
#include <string>

namespace {

constexpr std::array<const char*, 7> kUnits = {"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};

// size / 2^shift rounded half up to `decimals` decimal places, as an integer scaled by
// 10^decimals. Digits come out one at a time so that nothing overflows 64 bits.
std::uint64_t ScaledRounded(std::uint64_t size, unsigned shift, unsigned decimals) {
    const std::uint64_t mask = (std::uint64_t{1} << shift) - 1;
    std::uint64_t scaled = size >> shift;
    std::uint64_t remainder = size & mask;
    for (unsigned i = 0; i < decimals; ++i) {
        remainder *= 10;  // below 2^61 * 10 < 2^64
        scaled = scaled * 10 + (remainder >> shift);
        remainder &= mask;
    }
    return scaled + ((remainder << 1) > mask ? 1 : 0);
}

std::string Decimal(std::uint64_t scaled, unsigned decimals) {
    std::uint64_t divisor = 1;
    for (unsigned i = 0; i < decimals; ++i) {
        divisor *= 10;
    }
    std::string text = std::to_string(scaled / divisor);
    if (decimals > 0) {
        const std::string fraction = std::to_string(scaled % divisor);
        text += '.';
        text.append(decimals - fraction.size(), '0');
        text += fraction;
    }
    return text;
}

// Three significant digits ("1.50", "12.3", "512"); 1000 to 1023 keep four.
std::string FormatInUnit(std::uint64_t size, unsigned unit) {
    const unsigned shift = 10 * unit;
    const std::uint64_t whole = size >> shift;
    unsigned decimals = whole < 10 ? 2 : whole < 100 ? 1 : 0;
    std::uint64_t scaled = ScaledRounded(size, shift, decimals);
    // Rounding 9.996 up to 10.00 gains a digit: take one fewer decimal instead.
    while (decimals > 0 && scaled >= 1000) {
        --decimals;
        scaled = ScaledRounded(size, shift, decimals);
    }
    return Decimal(scaled, decimals) + " " + kUnits[unit];
}

std::string FormatSize(std::uint64_t size) {
    if (size == 1) {
        return "1 byte";
    }
    if (size < 1024) {
        return std::to_string(size) + " bytes";
    }
    unsigned unit = 1;
    while (unit + 1 < kUnits.size() && (size >> (10 * (unit + 1))) != 0) {
        ++unit;
    }
    // 1023.5 KB and up round to 1024 KB, which reads better as 1.00 MB.
    if (unit + 1 < kUnits.size() && ScaledRounded(size, 10 * unit, 0) >= 1024) {
        ++unit;
    }
    return FormatInUnit(size, unit);
}

std::int64_t RoundedQuotient(std::int64_t numerator, std::int64_t denominator) {
    return (2 * numerator + denominator) / (2 * denominator);
}

GpRect Centred(std::int64_t left, std::int64_t top, std::int64_t frameWidth,
               std::int64_t frameHeight, std::int64_t width, std::int64_t height) {
    const std::int64_t x = left + (frameWidth - width) / 2;
    const std::int64_t y = top + (frameHeight - height) / 2;
    return GpRect{static_cast<int>(x), static_cast<int>(y), static_cast<int>(x + width),
                  static_cast<int>(y + height)};
}

}  // namespace

std::u16string fsize_format(std::uint32_t sizeLow, std::uint32_t sizeHigh, int /*flags*/) {
    const std::string text = FormatSize((std::uint64_t{sizeHigh} << 32) | sizeLow);
    return std::u16string(text.begin(), text.end());  // ASCII only
}

GpRect calc_subrect(GpRect& out, int frameLeft, int frameTop, int frameRight, int frameBottom,
                    int pictureWidth, int pictureHeight) {
    // 64-bit throughout: frame sizes and the cross products of the aspect test overflow int.
    const std::int64_t frameWidth = std::max<std::int64_t>(0, std::int64_t{frameRight} - frameLeft);
    const std::int64_t frameHeight =
        std::max<std::int64_t>(0, std::int64_t{frameBottom} - frameTop);
    std::int64_t width = 0;
    std::int64_t height = 0;
    if (pictureWidth > 0 && pictureHeight > 0 && frameWidth > 0 && frameHeight > 0) {
        width = pictureWidth;
        height = pictureHeight;
        if (width > frameWidth || height > frameHeight) {
            if (width * frameHeight >= height * frameWidth) {  // wider than the frame's shape
                height = std::max<std::int64_t>(1, RoundedQuotient(height * frameWidth, width));
                width = frameWidth;
            } else {
                width = std::max<std::int64_t>(1, RoundedQuotient(width * frameHeight, height));
                height = frameHeight;
            }
        }
    }
    out = Centred(frameLeft, frameTop, frameWidth, frameHeight, width, height);
    return out;
}

// PNG, BMP and baseline TIFF files written from an RgbImage.
#pragma once

#include <string>

#include "tools/samplegen/canvas.h"

namespace pixhaven::samplegen {

// Eight-bit RGB PNG through libpng; `withAlpha` adds an opaque-to-clear alpha ramp.
std::string EncodePng(const RgbImage& image, bool withAlpha = false);

// 24-bit bottom-up BMP with BITMAPINFOHEADER, rows padded to four bytes.
std::string EncodeBmp(const RgbImage& image);

// Uncompressed RGB TIFF in one strip through libtiff, in big-endian ("MM") or little-endian
// ("II") order.
std::string EncodeTiff(const RgbImage& image, bool bigEndian);

}  // namespace pixhaven::samplegen

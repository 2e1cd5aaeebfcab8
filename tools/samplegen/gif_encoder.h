// GIF files with a real LZW encoder: animated GIF89a with per-frame delays and a looping
// extension, and plain single-frame GIF87a.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/samplegen/canvas.h"

namespace pixhaven::samplegen {

struct GifFrame {
    RgbImage image;
    int delayCentiseconds = 10;
};

// All frames must have the first frame's size. Colours are reduced to one fixed 256-entry
// palette with ordered dithering.
std::string EncodeAnimatedGif(const std::vector<GifFrame>& frames);
std::string EncodeGif87a(const RgbImage& image);

// The LZW code stream of `indexes` (values below 2^minCodeSize) before it is cut into
// sub-blocks; exposed so it can be checked against a decoder.
std::string LzwEncode(const std::vector<std::uint8_t>& indexes, int minCodeSize);

}  // namespace pixhaven::samplegen

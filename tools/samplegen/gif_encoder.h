// GIF files through giflib: animated GIF89a with per-frame delays and a looping extension, and
// plain single-frame GIF87a.
#pragma once

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

}  // namespace pixhaven::samplegen

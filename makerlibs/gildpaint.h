// The maker's drawing and format library, the parts that need no window system: size texts and
// picture fitting. The drawing helpers live in gildpaint_draw.h.
#pragma once

#include <cstdint>
#include <string>

struct GpRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const GpRect&) const = default;
};

// Display text of a byte size given as two 32-bit halves: "0 bytes", "512 bytes", "1.50 KB",
// "12.3 MB", "4.00 GB". `flags` is reserved and must be 0.
std::u16string fsize_format(std::uint32_t sizeLow, std::uint32_t sizeHigh, int flags = 0);

// The largest rectangle with the picture's aspect ratio that fits in the frame, centred in it. A
// picture smaller than the frame is not enlarged. Writes the result to `out` and returns it.
GpRect calc_subrect(GpRect& out, int frameLeft, int frameTop, int frameRight, int frameBottom,
                    int pictureWidth, int pictureHeight);

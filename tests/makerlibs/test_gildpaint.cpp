// Size texts across the 64-bit range and picture fitting inside the preview frame.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "makerlibs/gildpaint.h"

namespace {

std::string SizeText(std::uint64_t size) {
    const std::u16string text =
        fsize_format(static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(size >> 32), 0);
    return std::string(text.begin(), text.end());
}

TEST(FsizeFormat, TextsAtTheBoundaries) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.00 KB"},
        {1536, "1.50 KB"},
        {10 * 1024 - 1, "10.0 KB"},  // 9.999 rounds up a digit
        {100 * 1024 - 1, "100 KB"},
        {512 * 1024, "512 KB"},
        {1023 * 1024, "1023 KB"},
        {1024 * 1024 - 1, "1.00 MB"},  // 1023.999 KB
        {12897485, "12.3 MB"},
        {0xFFFFFFFFull, "4.00 GB"},
        {0x100000000ull, "4.00 GB"},
        {1ull << 40, "1.00 TB"},
        {1ull << 50, "1.00 PB"},
        {1ull << 60, "1.00 EB"},
        {UINT64_MAX, "16.0 EB"},
    };
    for (const auto& [size, text] : cases) {
        EXPECT_EQ(SizeText(size), text) << size;
    }
}

TEST(FsizeFormat, RoundsHalfUpExactly) {
    EXPECT_EQ(SizeText(1024 + 5), "1.00 KB");  // 1.0049
    EXPECT_EQ(SizeText(1024 + 6), "1.01 KB");  // 1.0059
    EXPECT_EQ(SizeText(1024 * 5 + 512), "5.50 KB");
    EXPECT_EQ(SizeText(102911), "100 KB");  // 100.499
    EXPECT_EQ(SizeText(102912), "101 KB");  // exactly 100.5
    EXPECT_EQ(SizeText(3ull << 59), "1.50 EB");
}

constexpr int kLeft = 7, kTop = 10, kRight = 113, kBottom = 116;

GpRect Fit(int width, int height) {
    GpRect out;
    const GpRect returned = calc_subrect(out, kLeft, kTop, kRight, kBottom, width, height);
    EXPECT_EQ(returned, out);
    return out;
}

TEST(CalcSubrect, FitsAndCentresInThePreviewTile) {
    EXPECT_EQ(Fit(200, 100), (GpRect{7, 36, 113, 89}));   // wide
    EXPECT_EQ(Fit(100, 200), (GpRect{33, 10, 86, 116}));  // tall
    EXPECT_EQ(Fit(300, 300), (GpRect{7, 10, 113, 116}));
    EXPECT_EQ(Fit(106, 106), (GpRect{7, 10, 113, 116}));
    EXPECT_EQ(Fit(50, 30), (GpRect{35, 48, 85, 78}));  // smaller: never enlarged
    EXPECT_EQ(Fit(10000, 1), (GpRect{7, 62, 113, 63}));
    EXPECT_EQ(Fit(INT_MAX, INT_MAX - 1), (GpRect{7, 10, 113, 116}));
}

TEST(CalcSubrect, EmptyPicturesGiveAnEmptyRectAtTheCentre) {
    for (const auto& [w, h] : {std::pair{0, 0}, {0, 50}, {50, 0}, {-5, 40}, {40, -5}}) {
        EXPECT_EQ(Fit(w, h), (GpRect{60, 63, 60, 63})) << w << "x" << h;
    }
}

TEST(CalcSubrect, AlwaysInsideNeverEnlargedAspectKept) {
    for (int width = 1; width <= 400; width += 3) {
        for (int height = 1; height <= 400; height += 7) {
            const GpRect r = Fit(width, height);
            ASSERT_GE(r.left, kLeft);
            ASSERT_GE(r.top, kTop);
            ASSERT_LE(r.right, kRight);
            ASSERT_LE(r.bottom, kBottom);
            ASSERT_LE(r.Width(), width);
            ASSERT_LE(r.Height(), height);
            ASSERT_TRUE(r.Width() == 106 || r.Height() == 106 ||
                        (r.Width() == width && r.Height() == height));
            // Within one pixel of the picture's shape.
            ASSERT_LE(std::abs(std::int64_t{r.Width()} * height - std::int64_t{r.Height()} * width),
                      std::max(width, height))
                << width << "x" << height;
        }
    }
}

TEST(CalcSubrect, ExtremeFramesDoNotOverflow) {
    GpRect out;
    calc_subrect(out, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 4, 2);
    EXPECT_EQ(out.Width(), 4);
    EXPECT_EQ(out.Height(), 2);
    calc_subrect(out, 10, 10, 5, 5, 4, 2);  // an inverted frame holds nothing
    EXPECT_EQ(out.Width(), 0);
    EXPECT_EQ(out.Height(), 0);
}

}  // namespace

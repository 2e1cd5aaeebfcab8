// The sample generator's picture and media writers, read back with the image libraries.
#include <gtest/gtest.h>

#include "backup/exifthumb.h"
#include "tests/tools/decoders.h"
#include "tools/samplegen/canvas.h"
#include "tools/samplegen/gif_encoder.h"
#include "tools/samplegen/jpeg_encoder.h"
#include "tools/samplegen/media_formats.h"
#include "tools/samplegen/still_formats.h"

namespace pixhaven::samplegen {
namespace {

using test::DecodedImage;

RgbImage Art(int width, int height, int number = 7) {
    return PaintArtwork(width, height, number, 42);
}

void ExpectSamePixels(const RgbImage& expected, const DecodedImage& actual) {
    ASSERT_EQ(actual.width, expected.Width());
    ASSERT_EQ(actual.height, expected.Height());
    EXPECT_EQ(actual.rgb, expected.Pixels());
}

TEST(Artwork, PicturesWithDifferentNumbersDiffer) {
    const RgbImage a = Art(64, 48, 1);
    const RgbImage b = Art(64, 48, 2);
    EXPECT_GT(test::MeanDifference(a.Pixels(), b.Pixels()), 10.0);
    EXPECT_EQ(Art(64, 48, 1).Pixels(), a.Pixels()) << "same number and seed, same picture";
}

TEST(Jpeg, DecodesCloseToTheSourcePicture) {
    const RgbImage image = Art(96, 64);
    const std::string jpeg = EncodeJpeg(image, 90);
    ASSERT_EQ(jpeg.substr(0, 3), "\xFF\xD8\xFF");
    ASSERT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");
    const auto decoded = test::DecodeJpeg(jpeg);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 96);
    EXPECT_EQ(decoded->height, 64);
    // Lossy, but a swapped channel or a shifted row would be far off.
    EXPECT_LT(test::MeanDifference(decoded->rgb, image.Pixels()), 6.0);
}

class CameraJpeg : public testing::TestWithParam<bool> {};

TEST_P(CameraJpeg, CarriesExifWithADecodableThumbnail) {
    const bool bigEndian = GetParam();
    const RgbImage image = Art(320, 240);
    const std::string jpeg =
        EncodeCameraJpeg(image, {"Maker", "Model 1", "2012:07:04 18:05:09", bigEndian});
    ASSERT_TRUE(test::DecodeJpeg(jpeg));
    EXPECT_EQ(jpeg.substr(2, 2), "\xFF\xE1") << "camera photos open with EXIF, not JFIF";

    const auto exif = test::ReadExif(jpeg);
    ASSERT_TRUE(exif);
    EXPECT_EQ(exif->bigEndian, bigEndian);
    EXPECT_EQ(exif->pixelWidth, 320u);
    EXPECT_EQ(exif->pixelHeight, 240u);
    EXPECT_EQ(exif->thumbnailCompression, 6u) << "JPEG-compressed thumbnail";
    const auto thumbnail = test::DecodeJpeg(exif->thumbnail);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->width, 160);
    EXPECT_EQ(thumbnail->height, 120);
    EXPECT_LT(test::MeanDifference(thumbnail->rgb, image.Shrunk(160, 120).Pixels()), 8.0);

    // The program's own reader finds the same thumbnail, upright.
    const auto found = backup::FindExifThumbnail(
        {reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size()});
    ASSERT_TRUE(found);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(found->jpeg.data()), found->jpeg.size()),
              exif->thumbnail);
    EXPECT_EQ(found->orientation, 1);
}

INSTANTIATE_TEST_SUITE_P(BothByteOrders, CameraJpeg, testing::Bool());

TEST(Png, PixelsRoundTripWithAndWithoutAlpha) {
    for (const bool alpha : {false, true}) {
        const RgbImage image = Art(37, 23);  // odd sizes catch stride mistakes
        const std::string png = EncodePng(image, alpha);
        ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        const auto decoded = test::DecodePng(png);
        ASSERT_TRUE(decoded);
        ExpectSamePixels(image, *decoded);
    }
}

TEST(Bmp, BottomUpRowsPaddedToFourBytes) {
    const RgbImage image = Art(13, 7);  // 39 bytes a row: one byte of padding
    const std::string bmp = EncodeBmp(image);
    EXPECT_EQ(test::LittleEndianAt(bmp, 2, 4), bmp.size());
    const auto decoded = test::DecodeBmp(bmp);
    ASSERT_TRUE(decoded);
    ExpectSamePixels(image, *decoded);
}

TEST(Tiff, BothByteOrdersRoundTrip) {
    const RgbImage image = Art(21, 11);
    const std::string bigEndian = EncodeTiff(image, true);
    const std::string littleEndian = EncodeTiff(image, false);
    EXPECT_EQ(bigEndian.substr(0, 4), std::string("MM\0*", 4));
    EXPECT_EQ(littleEndian.substr(0, 4), std::string("II*\0", 4));
    for (const std::string* tiff : {&bigEndian, &littleEndian}) {
        const auto decoded = test::DecodeTiff(*tiff);
        ASSERT_TRUE(decoded);
        ExpectSamePixels(image, *decoded);
    }
}

TEST(Gif, AnimationHasEveryFrameWithItsDelayAndLoops) {
    const RgbImage base = Art(40, 30);
    std::vector<GifFrame> frames;
    for (int i = 0; i < 5; ++i) {
        frames.push_back({PaintAnimationFrame(base, i, 5), 10 * (i + 1)});
    }
    const std::string bytes = EncodeAnimatedGif(frames);
    EXPECT_EQ(bytes.substr(0, 6), "GIF89a");
    const test::GifInfo gif = test::DecodeGif(bytes);
    EXPECT_TRUE(gif.complete);
    EXPECT_EQ(gif.width, 40);
    EXPECT_EQ(gif.height, 30);
    EXPECT_TRUE(gif.loops);
    EXPECT_EQ(gif.delays, (std::vector<int>{10, 20, 30, 40, 50}));
    ASSERT_EQ(gif.frames.size(), 5u);
    EXPECT_NE(gif.frames[0], gif.frames[1]) << "the frames move";
}

TEST(Gif, StillGif87aHasOneFrameAndNoExtensions) {
    const std::string bytes = EncodeGif87a(Art(33, 17));
    EXPECT_EQ(bytes.substr(0, 6), "GIF87a");
    const test::GifInfo gif = test::DecodeGif(bytes);
    EXPECT_TRUE(gif.complete);
    EXPECT_EQ(gif.frames.size(), 1u);
    EXPECT_TRUE(gif.delays.empty());
    EXPECT_FALSE(gif.loops);
}

TEST(Gif, RejectsFramesOfAnotherSize) {
    std::vector<GifFrame> frames;
    frames.push_back({Art(10, 10), 5});
    frames.push_back({Art(11, 10), 5});
    EXPECT_THROW(EncodeAnimatedGif(frames), std::invalid_argument);
    EXPECT_THROW(EncodeAnimatedGif({}), std::invalid_argument);
}
TEST(Movie, BoxesTileTheFileAndNameTheBrand) {
    const struct {
        MovieBrand brand;
        const char* major;
    } cases[] = {{MovieBrand::QuickTime, "qt  "},
                 {MovieBrand::Mp4, "mp42"},
                 {MovieBrand::M4a, "M4A "},
                 {MovieBrand::ThreeGpp, "3gp4"}};
    for (const auto& c : cases) {
        const std::string file = MakeMovieFile(c.brand, 10, 1000, 3);
        EXPECT_EQ(file.substr(4, 4), "ftyp");
        EXPECT_EQ(file.substr(8, 4), c.major);
        std::size_t at = 0;
        std::vector<std::string> types;
        while (at + 8 <= file.size()) {
            types.push_back(file.substr(at + 4, 4));
            at += test::BigEndianAt(file, at, 4);
        }
        EXPECT_EQ(at, file.size());
        EXPECT_EQ(types, (std::vector<std::string>{"ftyp", "moov", "free", "mdat"}));
    }
}

TEST(Mp3, Id3TagIsFollowedByFrameSync) {
    const std::string file = MakeMp3File("Title", "Artist", 3);
    ASSERT_EQ(file.substr(0, 3), "ID3");
    std::uint32_t tagSize = 0;
    for (int i = 6; i < 10; ++i) {
        tagSize = (tagSize << 7) | static_cast<std::uint8_t>(file[static_cast<std::size_t>(i)]);
    }
    const std::size_t audio = 10 + tagSize;
    ASSERT_EQ(file.size(), audio + 3 * 417);
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(file.substr(audio + static_cast<std::size_t>(frame) * 417, 2), "\xFF\xFB");
    }
}

}  // namespace
}  // namespace pixhaven::samplegen

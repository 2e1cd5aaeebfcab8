// Stored-file contents for the sample backups.
#include "tools/samplegen/media_maker.h"

#include <algorithm>
#include <vector>

#include "tools/samplegen/canvas.h"
#include "tools/samplegen/gif_encoder.h"
#include "tools/samplegen/jpeg_encoder.h"
#include "tools/samplegen/still_formats.h"

namespace pixhaven::samplegen {
namespace {

Blob Picture(std::string bytes, Content content, const RgbImage& image) {
    Blob blob;
    blob.bytes = std::make_shared<const std::string>(std::move(bytes));
    blob.content = content;
    blob.width = image.Width();
    blob.height = image.Height();
    return blob;
}

CameraFacts SampleCamera(int number, bool bigEndian) {
    CameraFacts camera;
    camera.make = "Apple";
    camera.model = number % 2 == 0 ? "iPhone 4S" : "iPhone 5";
    camera.dateTime = "2012:07:" + std::to_string(10 + number % 20) + " 18:05:09";
    camera.bigEndian = bigEndian;
    return camera;
}

}  // namespace

int MediaMaker::Scaled(int length) const {
    return preset_ == SamplePreset::Small ? std::max(16, length / 4) : length;
}

Blob MediaMaker::Jpeg(int width, int height) {
    const RgbImage image = PaintArtwork(Scaled(width), Scaled(height), NextNumber(), seed_);
    return Picture(EncodeJpeg(image, 85), Content::Jpeg, image);
}

Blob MediaMaker::CameraJpeg(int width, int height, bool bigEndianExif) {
    const int number = NextNumber();
    const RgbImage image = PaintArtwork(Scaled(width), Scaled(height), number, seed_);
    Blob blob =
        Picture(EncodeCameraJpeg(image, SampleCamera(number, bigEndianExif)), Content::Jpeg, image);
    blob.hasExif = true;
    return blob;
}

Blob MediaMaker::FullSizeCameraJpeg() {
    const int number = NextNumber();
    const RgbImage image = PaintArtwork(4000, 3000, number, seed_);
    Blob blob = Picture(EncodeCameraJpeg(image, SampleCamera(number, true)), Content::Jpeg, image);
    blob.hasExif = true;
    return blob;
}

Blob MediaMaker::JpegWithoutEnd(int width, int height) {
    const RgbImage image = PaintArtwork(Scaled(width), Scaled(height), NextNumber(), seed_);
    std::string bytes = EncodeJpeg(image, 85);
    bytes.resize(bytes.size() - 2);  // drop the FF D9 end-of-image marker
    return Picture(std::move(bytes), Content::JpegWithoutEnd, image);
}

Blob MediaMaker::JpegWithTrailingBytes(int width, int height) {
    const RgbImage image = PaintArtwork(Scaled(width), Scaled(height), NextNumber(), seed_);
    // Some cameras pad their files after the end marker; the signature test then fails.
    std::string bytes = EncodeJpeg(image, 85) + std::string(32, '\0');
    return Picture(std::move(bytes), Content::JpegWithoutEnd, image);
}

Blob MediaMaker::Png(int width, int height, bool withAlpha) {
    const RgbImage image = PaintArtwork(Scaled(width), Scaled(height), NextNumber(), seed_);
    return Picture(EncodePng(image, withAlpha), Content::Png, image);
}

Blob MediaMaker::Bmp(int width, int height) {
    const RgbImage image = PaintArtwork(Scaled(width), Scaled(height), NextNumber(), seed_);
    return Picture(EncodeBmp(image), Content::Bmp, image);
}

Blob MediaMaker::AnimatedGif(int width, int height, int frameCount) {
    const RgbImage base = PaintArtwork(Scaled(width), Scaled(height), NextNumber(), seed_);
    std::vector<GifFrame> frames;
    for (int i = 0; i < frameCount; ++i) {
        // Uneven delays, so a player that ignores per-frame delays shows it.
        frames.push_back({PaintAnimationFrame(base, i, frameCount), i == 0 ? 50 : 8 + 4 * (i % 3)});
    }
    Blob blob = Picture(EncodeAnimatedGif(frames), Content::Gif89a, base);
    blob.frames = frameCount;
    return blob;
}

Blob MediaMaker::Gif87a(int width, int height) {
    const RgbImage image = PaintArtwork(Scaled(width), Scaled(height), NextNumber(), seed_);
    Blob blob = Picture(EncodeGif87a(image), Content::Gif87a, image);
    blob.frames = 1;
    return blob;
}

Blob MediaMaker::Tiff(int width, int height, bool bigEndian) {
    const RgbImage image = PaintArtwork(Scaled(width), Scaled(height), NextNumber(), seed_);
    return Picture(EncodeTiff(image, bigEndian),
                   bigEndian ? Content::TiffBigEndian : Content::TiffLittleEndian, image);
}

Blob MediaMaker::Movie(MovieBrand brand, std::uint32_t seconds) {
    static constexpr Content kContents[] = {Content::QuickTime, Content::Mp4, Content::M4a,
                                            Content::ThreeGpp};
    const auto payload = static_cast<std::uint32_t>(Scaled(4096 + 512 * static_cast<int>(seconds)));
    Blob blob;
    blob.bytes = std::make_shared<const std::string>(
        MakeMovieFile(brand, seconds, payload, seed_ + static_cast<std::uint64_t>(nextNumber_)));
    blob.content = kContents[static_cast<int>(brand)];
    return blob;
}

Blob MediaMaker::Mp3(const std::string& title, int frames) {
    Blob blob;
    blob.bytes = std::make_shared<const std::string>(MakeMp3File(title, "Sample Artist", frames));
    blob.content = Content::Mp3;
    return blob;
}

Blob MediaMaker::Data(std::string bytes) {
    Blob blob;
    blob.content = bytes.empty() ? Content::Empty : Content::Other;
    blob.bytes = std::make_shared<const std::string>(std::move(bytes));
    return blob;
}

Blob MediaMaker::Empty() {
    return Data({});
}

}  // namespace pixhaven::samplegen

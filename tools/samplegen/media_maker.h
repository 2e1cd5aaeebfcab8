// Makes the contents of stored files: numbered pictures in every format, broken variants of them,
// and audio, video and plain data files, each tagged with what it really holds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tools/samplegen/media_formats.h"
#include "tools/samplegen/samplegen.h"

namespace pixhaven::samplegen {

// The bytes of one stored file and what they are. Blobs are shared so a picture pool can stand
// behind many records.
struct Blob {
    std::shared_ptr<const std::string> bytes;
    Content content = Content::Other;
    int width = 0;
    int height = 0;
    int frames = 0;
    bool hasExif = false;
};

class MediaMaker {
public:
    MediaMaker(std::uint64_t seed, SamplePreset preset) : seed_(seed), preset_(preset) {}

    // Each picture gets the next number, drawn large on it, so no two look alike.
    Blob Jpeg(int width, int height);
    Blob CameraJpeg(int width, int height, bool bigEndianExif = true);
    // A full 4000x3000 camera photo, whatever the preset.
    Blob FullSizeCameraJpeg();
    Blob JpegWithoutEnd(int width, int height);
    Blob JpegWithTrailingBytes(int width, int height);
    Blob Png(int width, int height, bool withAlpha = false);
    Blob Bmp(int width, int height);
    Blob AnimatedGif(int width, int height, int frameCount);
    Blob Gif87a(int width, int height);
    Blob Tiff(int width, int height, bool bigEndian);
    Blob Movie(MovieBrand brand, std::uint32_t seconds);
    Blob Mp3(const std::string& title, int frames);
    static Blob Data(std::string bytes);
    static Blob Empty();

    int PicturesMade() const { return nextNumber_ - 1; }

private:
    // Sizes are given for the full preset; the small preset shrinks them fourfold.
    int Scaled(int length) const;
    int NextNumber() { return nextNumber_++; }
    std::uint64_t seed_;
    SamplePreset preset_;
    int nextNumber_ = 1;
};

}  // namespace pixhaven::samplegen

// JPEG files through libjpeg, optionally carrying an EXIF block (written by libexif) with an
// embedded thumbnail the way camera photos do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/samplegen/canvas.h"

namespace pixhaven::samplegen {

// What a camera writes into its EXIF block.
struct CameraFacts {
    std::string make;
    std::string model;
    std::string dateTime;  // "YYYY:MM:DD HH:MM:SS"
    bool bigEndian = true;
};

std::string EncodeJpeg(const RgbImage& image, int quality);

// A camera photo: an APP1 "Exif" segment instead of JFIF, with IFD1 pointing at a small JPEG
// thumbnail of the same picture.
std::string EncodeCameraJpeg(const RgbImage& image, const CameraFacts& camera);

// The EXIF payload alone ("Exif\0\0" + TIFF structure), for tests and for the encoder above.
std::string BuildExifSegment(const CameraFacts& camera, int width, int height,
                             const std::string& thumbnailJpeg);

}  // namespace pixhaven::samplegen

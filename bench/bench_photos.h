// Camera photos for the user-interface benchmarks: a few distinct JPEGs encoded once and
// hard-linked (or copied) to as many names as a benchmark needs.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "tools/samplegen/canvas.h"
#include "tools/samplegen/jpeg_encoder.h"

namespace pixhaven::bench {

struct PhotoShape {
    int width = 4000;  // 12 megapixels
    int height = 3000;
    bool withExif = true;  // an EXIF block with its own thumbnail
    int distinct = 4;      // encoding is slow: the rest are links to these
};

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Writes `count` photos named IMG_nnnn.JPG into `folder` and returns their paths in order.
inline std::vector<std::filesystem::path> WritePhotos(const std::filesystem::path& folder,
                                                      const PhotoShape& shape, int count) {
    std::filesystem::create_directories(folder);
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < count; ++i) {
        const auto file = folder / ("IMG_" + std::to_string(1000 + i) + ".JPG");
        if (i < shape.distinct) {
            const auto image = samplegen::PaintArtwork(shape.width, shape.height, i + 1, 77);
            const samplegen::CameraFacts camera{"Apple", "iPhone 4S", "2012:07:14 18:05:09",
                                                i % 2 == 0};
            WriteBytes(file, shape.withExif ? samplegen::EncodeCameraJpeg(image, camera)
                                            : samplegen::EncodeJpeg(image, 88));
        } else {
            const auto& source = files[static_cast<std::size_t>(i % shape.distinct)];
            std::error_code linkFailed;
            std::filesystem::create_hard_link(source, file, linkFailed);
            if (linkFailed) {
                std::filesystem::copy_file(source, file);
            }
        }
        files.push_back(file);
    }
    return files;
}

}  // namespace pixhaven::bench

// Feeds arbitrary bytes to the EXIF thumbnail search and touches every byte it hands back, so a
// span reaching past the input shows up under the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <span>

#include "backup/exifthumb.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto found = pixhaven::backup::FindExifThumbnail(std::span(data, size));
    if (found) {
        unsigned sum = 0;
        for (const unsigned char byte : found->jpeg) {
            sum += byte;
        }
        volatile unsigned sink = sum;
        (void)sink;
    }
    return 0;
}

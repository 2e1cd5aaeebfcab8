// Feeds arbitrary bytes to the archived MBFile decoder that reads every row of Manifest.db.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "backup/mbfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pixhaven::backup::DecodeMbFile(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}

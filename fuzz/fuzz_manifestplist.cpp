// Feeds arbitrary bytes to the Manifest.plist reader (XML or binary) and the base64 decoder.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "backup/manifestplist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    pixhaven::backup::ParseManifestPlist(bytes);
    pixhaven::backup::DecodeBase64(bytes);
    return 0;
}

// Manifest parsing on arbitrary bytes: must never read out of bounds, and every record it returns
// must be readable in full.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "backup/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto manifest = pixhaven::backup::ParseManifest(
        std::string_view(reinterpret_cast<const char*>(data), size));
    if (!manifest) {
        return 0;
    }
    std::size_t total = 0;
    for (const auto& record : *manifest) {
        total += record.Domain().value_or("").size() + record.Path().value_or("").size() +
                 record.LinkTarget().value_or("").size() + record.DataHash().value_or("").size() +
                 record.EncryptionKey().value_or("").size() + record.ModifiedText().size() +
                 record.StoredName().size();
    }
    return total == SIZE_MAX ? 1 : 0;
}

// Treats arbitrary bytes as a whole database file and reads the first tables' rows from its pages.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "backup/rowidtable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pixhaven::backup;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto source = MemoryPages(bytes);
    // Every value's bytes are touched so a view past the input shows up under the sanitizers.
    unsigned sum = 0;
    const RowVisitor visit = [&](std::span<const StoredValue> values) {
        for (const StoredValue& value : values) {
            sum += static_cast<unsigned>(value.type) + static_cast<unsigned>(value.integer);
            // Only texts and blobs promise their bytes.
            if (value.type == StoredValue::Type::Text || value.type == StoredValue::Type::Blob) {
                for (const char c : value.bytes) {
                    sum += static_cast<unsigned char>(c);
                }
            }
        }
    };
    for (std::uint32_t root = 1; root <= 4; ++root) {
        const auto table = RowidTable::Open(*source, root);
        if (!table) {
            continue;
        }
        const std::size_t leaves = table->LeafCount();
        table->ReadRows(*source, 0, leaves, 5, visit);
        table->ReadRows(*source, leaves / 2, leaves, 1, visit);
    }
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}

// Small blocks come from the heap; large ones from the platform's page mapping.
#include "platform/largeblock.h"

#include <cstdlib>

#include "platform/largeblock_pages.h"

namespace pixhaven::platform {

void* AllocateLargeBlock(std::size_t bytes) noexcept {
    if (bytes < kLargeBlockThreshold) {
        return std::malloc(bytes == 0 ? 1 : bytes);
    }
    return MapPages(bytes);
}

void FreeLargeBlock(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) {
        return;
    }
    if (bytes < kLargeBlockThreshold) {
        std::free(block);
    } else {
        UnmapPages(block, bytes);
    }
}

}  // namespace pixhaven::platform

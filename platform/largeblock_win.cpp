// Large blocks from VirtualAlloc; large pages need a privilege users rarely hold, so none are
// asked.
#include "platform/largeblock.h"

#include <windows.h>

#include <cstdlib>

namespace pixhaven::platform {

void* AllocateLargeBlock(std::size_t bytes) noexcept {
    if (bytes < kLargeBlockThreshold) {
        return std::malloc(bytes == 0 ? 1 : bytes);
    }
    return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void FreeLargeBlock(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) {
        return;
    }
    if (bytes < kLargeBlockThreshold) {
        std::free(block);
    } else {
        VirtualFree(block, 0, MEM_RELEASE);
    }
}

}  // namespace pixhaven::platform

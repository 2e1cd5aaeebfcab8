// Large blocks as anonymous mappings, advised to use transparent huge pages on Linux.
#include "platform/largeblock.h"

#include <sys/mman.h>

#include <cstdlib>

namespace pixhaven::platform {

void* AllocateLargeBlock(std::size_t bytes) noexcept {
    if (bytes < kLargeBlockThreshold) {
        return std::malloc(bytes == 0 ? 1 : bytes);
    }
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        return nullptr;
    }
#ifdef MADV_HUGEPAGE
    madvise(block, bytes, MADV_HUGEPAGE);  // only advice: ordinary pages still work
#endif
    return block;
}

void FreeLargeBlock(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) {
        return;
    }
    if (bytes < kLargeBlockThreshold) {
        std::free(block);
    } else {
        munmap(block, bytes);
    }
}

}  // namespace pixhaven::platform

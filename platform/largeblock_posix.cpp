// Anonymous mappings, advised to use transparent huge pages on Linux.
#include <sys/mman.h>

#include "platform/largeblock_pages.h"

namespace pixhaven::platform {

void* MapPages(std::size_t bytes) noexcept {
    void* pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) {
        return nullptr;
    }
#ifdef MADV_HUGEPAGE
    madvise(pages, bytes, MADV_HUGEPAGE);  // only advice: ordinary pages still work
#endif
    return pages;
}

void UnmapPages(void* pages, std::size_t bytes) noexcept {
    munmap(pages, bytes);
}

}  // namespace pixhaven::platform

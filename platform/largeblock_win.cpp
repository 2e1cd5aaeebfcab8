// Pages from VirtualAlloc; large pages need a privilege users rarely hold, so none are asked.
#include <windows.h>

#include "platform/largeblock_pages.h"

namespace pixhaven::platform {

void* MapPages(std::size_t bytes) noexcept {
    return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void UnmapPages(void* pages, std::size_t) noexcept {
    VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace pixhaven::platform

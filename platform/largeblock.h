// Memory for large blocks that are filled once and then read (a whole file, a table of records).
// Where the system offers huge pages such a block asks for them: filling 60 MB of ordinary pages
// costs some 15,000 page faults, which on a virtual machine take longer than the parsing itself.
// bench_manifest and bench_manifestdb: ReadManifest's file image and record table.
#pragma once

#include <cstddef>
#include <new>

namespace pixhaven::platform {

// Blocks below this size come from the ordinary heap.
inline constexpr std::size_t kLargeBlockThreshold = std::size_t{1} << 21;

// nullptr when the memory cannot be had.
void* AllocateLargeBlock(std::size_t bytes) noexcept;
// Frees a block from AllocateLargeBlock of the same size; nullptr is ignored.
void FreeLargeBlock(void* block, std::size_t bytes) noexcept;

// A standard allocator over large blocks, for containers that grow once to their final size.
template <class T>
struct LargeBlockAllocator {
    using value_type = T;
    LargeBlockAllocator() = default;
    template <class U>
    LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        void* block = AllocateLargeBlock(n * sizeof(T));
        if (block == nullptr) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t n) noexcept { FreeLargeBlock(block, n * sizeof(T)); }

    template <class U>
    bool operator==(const LargeBlockAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace pixhaven::platform

// Memory for the records and texts of the lists a family hands out. A reader fills one arena per
// list and the family's free function drops whole arenas: a list of 500,000 messages is a few
// dozen huge-page blocks instead of two million heap allocations, and freeing it walks nothing.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace dbquarry {

class Arena {
public:
    Arena() = default;
    ~Arena();
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    // Zero-filled memory for `bytes` bytes aligned to `alignment`; null when none can be had.
    void* Allocate(std::size_t bytes, std::size_t alignment) noexcept;

    // A zero-filled plain record; null when it cannot be allocated.
    template <typename Record>
    Record* NewRecord() noexcept {
        void* memory = Allocate(sizeof(Record), alignof(Record));
        return memory != nullptr ? new (memory) Record{} : nullptr;
    }

    // An array of `count` zero-filled units; throws std::bad_alloc when it cannot be allocated.
    template <typename Unit>
    Unit* NewArray(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(Unit)) {
            throw std::bad_alloc();
        }
        void* memory = Allocate(count * sizeof(Unit), alignof(Unit));
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
        return static_cast<Unit*>(memory);
    }

private:
    struct Block {
        unsigned char* bytes = nullptr;
        std::size_t size = 0;
    };
    bool Grow(std::size_t atLeast) noexcept;

    std::vector<Block> blocks_;
    std::size_t used_ = 0;  // bytes used in the last block
};

using ArenaPtr = std::unique_ptr<Arena>;

}  // namespace dbquarry

#include "dbquarry/arena.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/largeblock.h"

namespace dbquarry {
namespace {

// A small list stays on the heap; large ones grow into huge-page blocks.
constexpr std::size_t kFirstBlock = std::size_t{64} << 10;
constexpr std::size_t kLargestBlock = std::size_t{32} << 20;

}  // namespace

Arena::~Arena() {
    for (const Block& block : blocks_) {
        pixhaven::platform::FreeLargeBlock(block.bytes, block.size);
    }
}

bool Arena::Grow(std::size_t atLeast) noexcept {
    const std::size_t previous = blocks_.empty() ? kFirstBlock / 2 : blocks_.back().size;
    std::size_t size = std::min(previous * 2, kLargestBlock);
    size = std::max(size, atLeast);
    try {
        blocks_.reserve(blocks_.size() + 1);
    } catch (...) {
        return false;
    }
    void* memory = pixhaven::platform::AllocateLargeBlock(size);
    if (memory == nullptr) {
        return false;
    }
    // Blocks from the ordinary heap may hold old bytes; records and texts must start zeroed.
    if (size < pixhaven::platform::kLargeBlockThreshold) {
        std::memset(memory, 0, size);
    }
    blocks_.push_back({static_cast<unsigned char*>(memory), size});
    used_ = 0;
    return true;
}

void* Arena::Allocate(std::size_t bytes, std::size_t alignment) noexcept {
    bytes = std::max<std::size_t>(bytes, 1);
    if (!blocks_.empty()) {
        const Block& block = blocks_.back();
        const std::size_t start = (used_ + alignment - 1) / alignment * alignment;
        if (start <= block.size && bytes <= block.size - start) {
            used_ = start + bytes;
            return block.bytes + start;
        }
    }
    if (bytes > static_cast<std::size_t>(-1) - alignment || !Grow(bytes + alignment)) {
        return nullptr;
    }
    const Block& block = blocks_.back();
    const auto address = reinterpret_cast<std::uintptr_t>(block.bytes);
    const std::size_t start = (alignment - address % alignment) % alignment;
    used_ = start + bytes;
    return block.bytes + start;
}

}  // namespace dbquarry

#include "dbquarry/arena.h"

#include <algorithm>
#include <cstring>

namespace dbquarry {

void* Arena::Allocate(std::size_t bytes, std::size_t alignment) noexcept {
    bytes = std::max<std::size_t>(bytes, 1);
    try {
        void* memory = memory_.allocate(bytes, alignment);
        std::memset(memory, 0, bytes);  // blocks reused from the heap may hold old bytes
        return memory;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace dbquarry

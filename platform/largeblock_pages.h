// Whole pages straight from the operating system, for blocks of at least kLargeBlockThreshold.
#pragma once

#include <cstddef>

namespace pixhaven::platform {

// nullptr when the pages cannot be had.
void* MapPages(std::size_t bytes) noexcept;
void UnmapPages(void* pages, std::size_t bytes) noexcept;

}  // namespace pixhaven::platform

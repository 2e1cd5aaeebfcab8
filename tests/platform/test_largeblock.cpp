// Large blocks behave as ordinary memory on both sides of the huge-page threshold.
#include "platform/largeblock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace pixhaven::platform {
namespace {

TEST(LargeBlock, ContainersGrowAcrossTheThreshold) {
    std::vector<std::uint64_t, LargeBlockAllocator<std::uint64_t>> values;
    for (std::uint64_t i = 0; i < 3 * kLargeBlockThreshold / sizeof(std::uint64_t); ++i) {
        values.push_back(i * 7);
    }
    for (std::size_t i = 0; i < values.size(); i += 4099) {
        ASSERT_EQ(values[i], i * 7);
    }
}

TEST(LargeBlock, ZeroSizeAndNullAreHarmless) {
    void* empty = AllocateLargeBlock(0);
    EXPECT_NE(empty, nullptr);
    FreeLargeBlock(empty, 0);
    FreeLargeBlock(nullptr, kLargeBlockThreshold);
    LargeBlockAllocator<std::uint64_t> allocator;
    EXPECT_THROW((void)allocator.allocate(static_cast<std::size_t>(-1) / 4),
                 std::bad_array_new_length);
}

}  // namespace
}  // namespace pixhaven::platform

// The bounded byte reader: big-endian numbers of every width, and a failure that sticks.
#include "platform/bytereader.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace pixhaven::platform {
namespace {

TEST(ByteReader, ReadsBigEndianNumbersOfEveryWidth) {
    const unsigned char bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    for (std::size_t width = 1; width <= 8; ++width) {
        std::uint64_t expected = 0;
        for (std::size_t i = 0; i < width; ++i) {
            expected = expected << 8 | bytes[i];
        }
        EXPECT_EQ(LoadBigEndian(bytes, width), expected) << width;
        ByteReader reader(bytes, bytes + width);
        EXPECT_EQ(reader.BigEndian(width), expected) << width;
        EXPECT_TRUE(reader.AtEnd());
        EXPECT_FALSE(reader.Failed());
    }
}

TEST(ByteReader, AReadPastTheEndFailsAndTheFailureSticks) {
    const unsigned char bytes[] = {0xAB, 0xCD, 0xEF};
    ByteReader reader(bytes, bytes + sizeof bytes);
    EXPECT_EQ(reader.BigEndian(2), 0xABCDu);
    EXPECT_EQ(reader.BigEndian(2), 0u);  // one byte left
    EXPECT_TRUE(reader.Failed());
    EXPECT_EQ(reader.Remaining(), 1u);   // nothing consumed by the failed read
    EXPECT_EQ(reader.BigEndian(1), 0u);  // would fit, but the failure sticks
    EXPECT_TRUE(reader.Bytes(1).empty());
    EXPECT_TRUE(reader.Failed());
}

}  // namespace
}  // namespace pixhaven::platform

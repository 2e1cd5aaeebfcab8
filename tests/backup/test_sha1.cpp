// SHA-1 against the FIPS 180-1 test vectors, whole and fed in pieces across block boundaries.
#include "backup/sha1.h"

#include <gtest/gtest.h>

#include <string>

namespace pixhaven::backup {
namespace {

std::string HexOf(Sha1Digest digest) {
    char hex[40];
    DigestHex(digest, hex);
    return std::string(hex, sizeof hex);
}

TEST(Sha1, MatchesFipsVectors) {
    EXPECT_EQ(Sha1Hex("abc", 3), "a9993e364706816aba3e25717850c26c9cd0d89d");
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Sha1Hex(twoBlocks.data(), twoBlocks.size()),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    const std::string million(1'000'000, 'a');
    EXPECT_EQ(Sha1Hex(million.data(), million.size()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(Sha1Hex("", 0), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(Sha1, PortableAndBestEnginesAgree) {
    std::string text;
    for (int i = 0; i < 5000; ++i) {
        text += static_cast<char>(i * 131 % 251);
        Sha1 best(Sha1Engine::Best);
        Sha1 portable(Sha1Engine::Portable);
        best.Update(text.data(), text.size());
        portable.Update(text.data(), text.size());
        ASSERT_EQ(HexOf(best.Finish()), HexOf(portable.Finish())) << "length " << text.size();
    }
}

TEST(Sha1, PiecewiseUpdatesEqualOneUpdate) {
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += static_cast<char>('a' + i % 26);
    }
    // Lengths around the 55/56/64-byte padding edges and pieces that straddle blocks.
    for (std::size_t length : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 300u}) {
        for (std::size_t piece : {1u, 7u, 63u, 64u, 100u}) {
            Sha1 sha;
            for (std::size_t at = 0; at < length; at += piece) {
                sha.Update(text.data() + at, std::min(piece, length - at));
            }
            EXPECT_EQ(HexOf(sha.Finish()), Sha1Hex(text.data(), length))
                << "length " << length << " piece " << piece;
        }
    }
}

}  // namespace
}  // namespace pixhaven::backup

// A plain, portable SHA-1. Stored names are hashed once per manifest record, so the block
// function is written to let the compiler keep everything in registers.
#include "backup/sha1.h"

#include <cstring>

namespace pixhaven::backup {
namespace {

constexpr std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

std::uint32_t LoadBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

void StoreBigEndian64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<std::uint8_t>(v);
        v >>= 8;
    }
}

}  // namespace

Sha1::Sha1() : state_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u} {}

void Sha1::Compress(const std::uint8_t* block) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
        w[i] = LoadBigEndian32(block + 4 * i);
    }
    for (int i = 16; i < 80; ++i) {
        w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    auto round = [&](std::uint32_t f, std::uint32_t k, std::uint32_t wi) {
        const std::uint32_t t = Rotl(a, 5) + f + e + k + wi;
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = t;
    };
    for (int i = 0; i < 20; ++i) round((b & c) | (~b & d), 0x5A827999u, w[i]);
    for (int i = 20; i < 40; ++i) round(b ^ c ^ d, 0x6ED9EBA1u, w[i]);
    for (int i = 40; i < 60; ++i) round((b & c) | (b & d) | (c & d), 0x8F1BBCDCu, w[i]);
    for (int i = 60; i < 80; ++i) round(b ^ c ^ d, 0xCA62C1D6u, w[i]);
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void Sha1::Update(const void* data, std::uint64_t length) {
    auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t used = length_ % 64;
    length_ += length;
    if (used != 0) {
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(64 - used, length));
        std::memcpy(buffer_.data() + used, bytes, take);
        bytes += take;
        length -= take;
        if (used + take < 64) {
            return;
        }
        Compress(buffer_.data());
    }
    for (; length >= 64; length -= 64, bytes += 64) {
        Compress(bytes);
    }
    if (length != 0) {
        std::memcpy(buffer_.data(), bytes, static_cast<std::size_t>(length));
    }
}

Sha1Digest Sha1::Finish() {
    const std::uint64_t bitLength = length_ * 8;
    static constexpr std::uint8_t kPad[64] = {0x80};
    const std::size_t used = length_ % 64;
    Update(kPad, used < 56 ? 56 - used : 120 - used);
    std::uint8_t lengthBytes[8];
    StoreBigEndian64(lengthBytes, bitLength);
    Update(lengthBytes, 8);
    Sha1Digest digest;
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 4; ++j) {
            digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
        }
    }
    return digest;
}

void Sha1Hex(const void* data, std::uint64_t length, char (&out)[40]) {
    static constexpr char kDigits[] = "0123456789abcdef";
    Sha1 sha;
    sha.Update(data, length);
    const Sha1Digest digest = sha.Finish();
    for (std::size_t i = 0; i < digest.size(); ++i) {
        out[2 * i] = kDigits[digest[i] >> 4];
        out[2 * i + 1] = kDigits[digest[i] & 0x0F];
    }
}

std::string Sha1Hex(const void* data, std::uint64_t length) {
    char hex[40];
    Sha1Hex(data, length, hex);
    return std::string(hex, sizeof hex);
}

}  // namespace pixhaven::backup

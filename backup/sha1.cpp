// SHA-1. Stored names are hashed once per manifest record, half a million times for a large
// backup, so x86 processors with the SHA extensions use them; everything else runs the portable
// block function (bench_manifest: BM_MakeStoredName about 90 ns with them,
// BM_Sha1PortableStoredName about 300 ns without).
#include "backup/sha1.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define PIXHAVEN_SHA1_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace pixhaven::backup {
namespace {

constexpr std::uint32_t Rotl(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

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

void CompressPortable(std::uint32_t* state, const std::uint8_t* block) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
        w[i] = LoadBigEndian32(block + 4 * i);
    }
    for (int i = 16; i < 80; ++i) {
        w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    auto round = [&](std::uint32_t f, std::uint32_t k, std::uint32_t wi) {
        const std::uint32_t t = Rotl(a, 5) + f + e + k + wi;
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = t;
    };
    for (int i = 0; i < 20; ++i)
        round((b & c) | (~b & d), 0x5A827999u, w[i]);
    for (int i = 20; i < 40; ++i)
        round(b ^ c ^ d, 0x6ED9EBA1u, w[i]);
    for (int i = 40; i < 60; ++i)
        round((b & c) | (b & d) | (c & d), 0x8F1BBCDCu, w[i]);
    for (int i = 60; i < 80; ++i)
        round(b ^ c ^ d, 0xCA62C1D6u, w[i]);
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

#ifdef PIXHAVEN_SHA1_X86

#define SHA1_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// Four rounds from the fifth group of four on (rounds 16-79). Groups alternate which of e0/e1 is
// fed and which takes the old abcd; message words rotate through m[0..3]. The message-schedule
// steps after the last use of a word are wasted but harmless.
template <int K>
SHA1_TARGET inline void ShaNiGroup(__m128i& abcd, __m128i& e0, __m128i& e1, __m128i (&m)[4]) {
    __m128i& fed = K % 2 == 0 ? e0 : e1;
    __m128i& saved = K % 2 == 0 ? e1 : e0;
    fed = _mm_sha1nexte_epu32(fed, m[K % 4]);
    saved = abcd;
    m[(K + 1) % 4] = _mm_sha1msg2_epu32(m[(K + 1) % 4], m[K % 4]);
    abcd = _mm_sha1rnds4_epu32(abcd, fed, K / 5);
    m[(K + 3) % 4] = _mm_sha1msg1_epu32(m[(K + 3) % 4], m[K % 4]);
    m[(K + 2) % 4] = _mm_xor_si128(m[(K + 2) % 4], m[K % 4]);
}

template <int... K>
SHA1_TARGET inline void ShaNiGroups(__m128i& abcd, __m128i& e0, __m128i& e1, __m128i (&m)[4],
                                    std::integer_sequence<int, K...>) {
    (ShaNiGroup<K + 4>(abcd, e0, e1, m), ...);
}

SHA1_TARGET void CompressShaNi(std::uint32_t* state, const std::uint8_t* block) {
    const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    const __m128i abcdSaved = abcd;
    const __m128i e0Saved = e0;
    __m128i m[4];
    for (int i = 0; i < 4; ++i) {
        m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i)),
                                byteSwap);
    }
    // Rounds 0-15 start the message schedule.
    e0 = _mm_add_epi32(e0, m[0]);
    __m128i e1 = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e0, 0);
    e1 = _mm_sha1nexte_epu32(e1, m[1]);
    e0 = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e1, 0);
    m[0] = _mm_sha1msg1_epu32(m[0], m[1]);
    e0 = _mm_sha1nexte_epu32(e0, m[2]);
    e1 = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e0, 0);
    m[1] = _mm_sha1msg1_epu32(m[1], m[2]);
    m[0] = _mm_xor_si128(m[0], m[2]);
    e1 = _mm_sha1nexte_epu32(e1, m[3]);
    e0 = abcd;
    m[0] = _mm_sha1msg2_epu32(m[0], m[3]);
    abcd = _mm_sha1rnds4_epu32(abcd, e1, 0);
    m[2] = _mm_sha1msg1_epu32(m[2], m[3]);
    m[1] = _mm_xor_si128(m[1], m[3]);
    ShaNiGroups(abcd, e0, e1, m, std::make_integer_sequence<int, 16>());
    e0 = _mm_sha1nexte_epu32(e0, e0Saved);
    abcd = _mm_add_epi32(abcd, abcdSaved);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e0, 3));
}

bool HasShaExtensions() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    const bool ssse3 = (ecx & (1u << 9)) != 0;
    const bool sse41 = (ecx & (1u << 19)) != 0;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    return ssse3 && sse41 && (ebx & (1u << 29)) != 0;
}

#endif

using CompressFunction = void (*)(std::uint32_t*, const std::uint8_t*);

CompressFunction ChooseCompress() {
#ifdef PIXHAVEN_SHA1_X86
    if (HasShaExtensions()) {
        return &CompressShaNi;
    }
#endif
    return &CompressPortable;
}

}  // namespace

Sha1::Sha1(Sha1Engine engine)
    : engine_(engine), state_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u} {}

void Sha1::Compress(const std::uint8_t* block) {
    static const CompressFunction best = ChooseCompress();
    (engine_ == Sha1Engine::Best ? best : &CompressPortable)(state_.data(), block);
}

void Sha1::Update(const void* data, std::uint64_t length) {
    auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t used = length_ % 64;
    length_ += length;
    if (used != 0) {
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(64 - used, length));
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

void DigestHex(const Sha1Digest& digest, char (&out)[40]) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < digest.size(); ++i) {
        out[2 * i] = kDigits[digest[i] >> 4];
        out[2 * i + 1] = kDigits[digest[i] & 0x0F];
    }
}

void Sha1Hex(const void* data, std::uint64_t length, char (&out)[40]) {
    Sha1 sha;
    sha.Update(data, length);
    DigestHex(sha.Finish(), out);
}

std::string Sha1Hex(const void* data, std::uint64_t length) {
    char hex[40];
    Sha1Hex(data, length, hex);
    return std::string(hex, sizeof hex);
}

}  // namespace pixhaven::backup

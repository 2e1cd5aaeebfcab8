// SHA-1 (FIPS 180-1), used only to derive the names under which a backup stores its files.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace pixhaven::backup {

using Sha1Digest = std::array<std::uint8_t, 20>;

enum class Sha1Engine {
    Best,      // the processor's SHA instructions where it has them
    Portable,  // plain C++ everywhere
};

class Sha1 {
public:
    explicit Sha1(Sha1Engine engine = Sha1Engine::Best);
    void Update(const void* data, std::uint64_t length);
    Sha1Digest Finish();

private:
    void Compress(const std::uint8_t* block);
    Sha1Engine engine_;
    std::array<std::uint32_t, 5> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::uint64_t length_ = 0;
};

// The digest as 40 lower-case hexadecimal characters, most significant digit of each byte first.
void DigestHex(const Sha1Digest& digest, char (&out)[40]);

// The digest of `length` bytes as 40 lower-case hexadecimal characters, written to `out`.
void Sha1Hex(const void* data, std::uint64_t length, char (&out)[40]);
std::string Sha1Hex(const void* data, std::uint64_t length);

}  // namespace pixhaven::backup

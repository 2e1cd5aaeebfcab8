// A small deterministic random source: the same seed gives the same sample root on every machine,
// which the standard distributions do not promise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pixhaven::samplegen {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    // SplitMix64: tiny, fast, and good enough for picking colours and dates.
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A value in [low, high]; the slight modulo bias does not matter here.
    std::uint32_t Between(std::uint32_t low, std::uint32_t high) {
        return low + static_cast<std::uint32_t>(Next() % (std::uint64_t{high} - low + 1));
    }

    std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 56); }

    // Drawn from the seed like everything else, so the keys of an encrypted sample are the same
    // on every run: sample data, not secrets.
    std::string Bytes(std::size_t count) {
        std::string bytes(count, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(Byte());
        }
        return bytes;
    }

    // A random source derived from this seed and a label, so adding draws in one place does not
    // shift every later picture.
    static Random Derived(std::uint64_t seed, std::uint64_t label) {
        Random mixer(seed ^ (label * 0xD1342543DE82EF95ull));
        return Random(mixer.Next());
    }

private:
    std::uint64_t state_;
};

}  // namespace pixhaven::samplegen

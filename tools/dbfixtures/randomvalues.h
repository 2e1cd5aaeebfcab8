// The random draws the fixture generators share: a fixed engine, so a seed always gives the same
// database.
#pragma once

#include <random>
#include <string>

namespace pixhaven::dbfixtures {

using Random = std::mt19937;

inline int Uniform(Random& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

inline bool Chance(Random& random, int percent) {
    return Uniform(random, 0, 99) < percent;
}

// A GUID as devices write them: 32 upper-case hex digits in groups of 8-4-4-4-12.
inline std::string RandomGuid(Random& random) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string guid;
    for (int i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) {
            guid += '-';
        }
        guid += kHex[Uniform(random, 0, 15)];
    }
    return guid;
}

}  // namespace pixhaven::dbfixtures

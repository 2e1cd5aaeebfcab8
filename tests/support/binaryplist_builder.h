// Binary property lists written object by object, sound or hostile, for the reader's tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pixhaven::test {

inline void AppendBigEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

// Writes lists with 4-byte offsets and 4-byte references, so tests can patch them easily.
class BinaryPlistBuilder {
public:
    std::uint64_t Ascii(std::string_view text) {
        return Add(Marker(0x5, text.size()) + std::string(text));
    }
    std::uint64_t Array(const std::vector<std::uint64_t>& refs) {
        std::string object = Marker(0xA, refs.size());
        for (const std::uint64_t ref : refs) {
            AppendBigEndian(object, ref, 4);
        }
        return Add(object);
    }
    std::uint64_t Dict(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& entries) {
        std::string object = Marker(0xD, entries.size());
        for (const auto& entry : entries) {
            AppendBigEndian(object, entry.first, 4);
        }
        for (const auto& entry : entries) {
            AppendBigEndian(object, entry.second, 4);
        }
        return Add(object);
    }
    // Any object's bytes, marker included.
    std::uint64_t Raw(std::string object) { return Add(std::move(object)); }

    std::string Build(std::uint64_t top) const {
        std::string out = "bplist00";
        std::vector<std::uint64_t> offsets;
        for (const std::string& object : objects_) {
            offsets.push_back(out.size());
            out += object;
        }
        const std::uint64_t tableOffset = out.size();
        for (const std::uint64_t offset : offsets) {
            AppendBigEndian(out, offset, 4);
        }
        out.append(6, '\0');
        out += '\x04';
        out += '\x04';
        AppendBigEndian(out, objects_.size(), 8);
        AppendBigEndian(out, top, 8);
        AppendBigEndian(out, tableOffset, 8);
        return out;
    }

    // A marker with its count, extended past 14 as a 4-byte integer.
    static std::string Marker(unsigned kind, std::size_t count) {
        std::string marker;
        if (count < 15) {
            marker += static_cast<char>((kind << 4) | count);
        } else {
            marker += static_cast<char>((kind << 4) | 0xF);
            marker += '\x12';
            AppendBigEndian(marker, count, 4);
        }
        return marker;
    }

private:
    std::uint64_t Add(std::string object) {
        objects_.push_back(std::move(object));
        return objects_.size() - 1;
    }

    std::vector<std::string> objects_;
};

}  // namespace pixhaven::test

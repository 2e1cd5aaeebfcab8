// A reader over a byte range that can never read past its end: a read that would pass the end
// returns zero or nothing and sets a sticky failure, so a parse loop checks once per record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pixhaven::platform {

class ByteReader {
public:
    ByteReader(const unsigned char* begin, const unsigned char* end) : cursor_(begin), end_(end) {}

    bool Failed() const { return failed_; }
    bool AtEnd() const { return cursor_ == end_; }
    const unsigned char* Cursor() const { return cursor_; }
    std::size_t Remaining() const { return static_cast<std::size_t>(end_ - cursor_); }

    // An unsigned big-endian integer of `bytes` bytes (1 to 8); wider values keep their low bits
    // in the result type the caller casts to.
    std::uint64_t BigEndian(std::size_t bytes) {
        if (!Has(bytes)) {
            return 0;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            value = (value << 8) | cursor_[i];
        }
        cursor_ += bytes;
        return value;
    }

    void Skip(std::size_t bytes) {
        if (Has(bytes)) {
            cursor_ += bytes;
        }
    }

    std::string_view Bytes(std::size_t bytes) {
        if (!Has(bytes)) {
            return {};
        }
        const std::string_view view(reinterpret_cast<const char*>(cursor_), bytes);
        cursor_ += bytes;
        return view;
    }

private:
    bool Has(std::size_t bytes) {
        if (failed_ || Remaining() < bytes) {
            failed_ = true;
            return false;
        }
        return true;
    }

    const unsigned char* cursor_;
    const unsigned char* end_;
    bool failed_ = false;
};

}  // namespace pixhaven::platform

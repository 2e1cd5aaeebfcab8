// Bytes that must not outlive their use — keys and passwords — wiped when they are released, so
// a closed backup leaves no key behind in freed memory.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace pixhaven::backup {

class SecretBytes {
public:
    SecretBytes() = default;
    explicit SecretBytes(std::size_t size) : bytes_(size) {}
    explicit SecretBytes(std::string_view bytes) : bytes_(bytes.begin(), bytes.end()) {}
    ~SecretBytes() { Wipe(); }
    SecretBytes(SecretBytes&& other) noexcept : bytes_(std::move(other.bytes_)) {}
    SecretBytes& operator=(SecretBytes&& other) noexcept {
        if (this != &other) {
            Wipe();
            bytes_ = std::move(other.bytes_);
        }
        return *this;
    }
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;

    unsigned char* data() { return bytes_.data(); }
    const unsigned char* data() const { return bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    std::span<const unsigned char> Span() const { return bytes_; }
    // Keeps the first `size` bytes, wiping the rest.
    void Shrink(std::size_t size);

private:
    void Wipe();

    std::vector<unsigned char> bytes_;
};

}  // namespace pixhaven::backup

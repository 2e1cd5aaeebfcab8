#include "platform/sqlitewal.h"

#include <array>

#include "platform/bytereader.h"

namespace pixhaven::sqlitepages {
namespace {

constexpr std::uint32_t kMagic = 0x377F0682;
constexpr std::uint32_t kFormatVersion = 3007000;

std::uint32_t LoadLittle32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

// Runs the log's checksum on over `bytes` (a multiple of 8 long).
void Checksum(bool bigEndian, std::span<const unsigned char> bytes, std::uint32_t& s1,
              std::uint32_t& s2) {
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
        const unsigned char* p = bytes.data() + i;
        s1 += (bigEndian ? Load32(p) : LoadLittle32(p)) + s2;
        s2 += (bigEndian ? Load32(p + 4) : LoadLittle32(p + 4)) + s1;
    }
}

}  // namespace

std::optional<WalHeader> ParseWalHeader(std::span<const unsigned char> bytes) {
    if (bytes.size() < kWalHeaderSize) {
        return std::nullopt;
    }
    platform::ByteReader in(bytes.data(), bytes.data() + kWalHeaderSize);
    const auto word = [&in] { return static_cast<std::uint32_t>(in.BigEndian(4)); };
    // A braced list is read left to right: eight big-endian words, in the order of the fields.
    const WalHeader header{word(), word(), word(), word(), word(), word(), word(), word()};
    std::uint32_t s1 = 0;
    std::uint32_t s2 = 0;
    Checksum(header.BigEndianChecksums(), bytes.first(24), s1, s2);
    // A stored 1 is no page size here: the log writes 65,536 out.
    if ((header.magic & ~1U) != kMagic || header.formatVersion != kFormatVersion ||
        header.pageSize == 1 || PageSizeFromStored(header.pageSize) == 0 ||
        s1 != header.checksum1 || s2 != header.checksum2) {
        return std::nullopt;
    }
    return header;
}

std::optional<WalReader> WalReader::Open(PageSource& log) {
    std::array<unsigned char, kWalHeaderSize> bytes{};
    if (!log.Read(0, bytes)) {
        return std::nullopt;
    }
    const std::optional<WalHeader> header = ParseWalHeader(bytes);
    if (!header) {
        return std::nullopt;
    }
    return WalReader(log, *header);
}

WalReader::WalReader(PageSource& log, const WalHeader& header)
    : log_(&log),
      header_(header),
      sum1_(header.checksum1),
      sum2_(header.checksum2),
      buffer_(kWalFrameHeaderSize + header.pageSize + kPagePadding, 0) {}

bool WalReader::Next() {
    if (ended_) {
        return false;
    }
    const std::uint64_t frameSize = kWalFrameHeaderSize + header_.pageSize;
    const std::uint64_t at = kWalHeaderSize + nextIndex_ * frameSize;
    const auto frame = std::span(buffer_).first(static_cast<std::size_t>(frameSize));
    ended_ = !log_->Read(at, frame) || !ChainsOn(frame);
    if (ended_) {
        return false;
    }
    const unsigned char* p = frame.data();
    frame_ = {nextIndex_++, at + kWalFrameHeaderSize, Load32(p), Load32(p + 4)};
    return true;
}

bool WalReader::ChainsOn(std::span<const unsigned char> frame) {
    const unsigned char* p = frame.data();
    if (Load32(p) == 0 || Load32(p + 8) != header_.salt1 || Load32(p + 12) != header_.salt2) {
        return false;
    }
    std::uint32_t s1 = sum1_;
    std::uint32_t s2 = sum2_;
    Checksum(header_.BigEndianChecksums(), frame.first(8), s1, s2);
    Checksum(header_.BigEndianChecksums(), frame.subspan(kWalFrameHeaderSize), s1, s2);
    if (s1 != Load32(p + 16) || s2 != Load32(p + 20)) {
        return false;
    }
    sum1_ = s1;
    sum2_ = s2;
    return true;
}

}  // namespace pixhaven::sqlitepages

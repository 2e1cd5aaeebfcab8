// The write-ahead log beside an SQLite database (`name-wal`), read raw and only read: pages that
// were written but not yet copied back into the database. Nothing here checkpoints, locks or
// writes; the frames are handed out as they lie in the log.
//
// clang-format off
// The layout relied on (integers big-endian):
//
//   log header    the first 32 bytes
//                  0  magic (4): 0x377F0682, or 0x377F0683 when the checksums read big-endian words
//                  4  format version (4): 3,007,000
//                  8  page size (4): a power of two from 512 to 65,536
//                 12  checkpoint sequence (4)
//                 16  salt 1 (4), 20 salt 2 (4): new for every checkpoint, copied into every frame
//                 24  checksum 1 (4), 28 checksum 2 (4): of bytes 0 to 23
//   frame         from byte 32, one after another: a 24-byte header, then one page
//                  0  page number (4), never 0
//                  4  pages in the database after the commit (4) on a transaction's last frame;
//                     0 on every other
//                  8  salt 1 (4), 12 salt 2 (4): the log header's, or the frame is left over
//                     from before the last checkpoint
//                 16  checksum 1 (4), 20 checksum 2 (4): running on from the frame before (the
//                     log header's for the first) over header bytes 0 to 7 and the page
//   checksum      over 32-bit words of the magic's byte order, two at a time:
//                 s1 += w0 + s2, s2 += w1 + s1 (wrapping)
// clang-format on
//
// SQLite believes a log up to the first frame that fails, and of that only up to the last frame
// that ends a transaction. Frames are read here from the first on, the same way, but those after
// the last transaction's end are handed out too: they hold what a writer never committed. A caller
// tells them apart by WalFrame::EndsTransaction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/sqlitepages.h"

namespace pixhaven::sqlitepages {

constexpr std::size_t kWalHeaderSize = 32;
constexpr std::size_t kWalFrameHeaderSize = 24;

struct WalHeader {
    std::uint32_t magic = 0;
    std::uint32_t formatVersion = 0;
    std::uint32_t pageSize = 0;
    std::uint32_t checkpointSequence = 0;
    std::uint32_t salt1 = 0;
    std::uint32_t salt2 = 0;
    std::uint32_t checksum1 = 0;
    std::uint32_t checksum2 = 0;

    bool BigEndianChecksums() const { return (magic & 1) != 0; }
};

// The log header at the start of `bytes`; none without the magic, the format version, a page
// size or a matching checksum.
std::optional<WalHeader> ParseWalHeader(std::span<const unsigned char> bytes);

struct WalFrame {
    std::uint64_t index = 0;       // 0 for the first frame of the log
    std::uint64_t pageOffset = 0;  // where the frame's page lies in the log
    std::uint32_t pageNumber = 0;
    std::uint32_t commitSize = 0;  // pages in the database after the commit; 0 for none

    bool EndsTransaction() const { return commitSize != 0; }
};

// The valid frames of a log, first to last.
class WalReader {
public:
    // None when the log's header is not sound.
    static std::optional<WalReader> Open(PageSource& log);

    const WalHeader& Header() const { return header_; }

    // Moves to the next frame; false, from then on, at the first frame that is cut short, carries
    // other salts or page number 0, or breaks the checksum chain.
    bool Next();
    const WalFrame& Frame() const { return frame_; }
    // The frame's page (Header().pageSize bytes and kPagePadding zeros).
    const unsigned char* Page() const { return buffer_.data() + kWalFrameHeaderSize; }

private:
    WalReader(PageSource& log, const WalHeader& header);
    // Whether `frame` carries this log's salts and a checksum that runs on from the frame before;
    // when it does, the running checksum moves on.
    bool ChainsOn(std::span<const unsigned char> frame);

    PageSource* log_;
    WalHeader header_;
    WalFrame frame_;
    std::uint64_t nextIndex_ = 0;
    std::uint32_t sum1_;
    std::uint32_t sum2_;
    bool ended_ = false;
    std::vector<unsigned char> buffer_;  // the frame's header, page and padding
};

}  // namespace pixhaven::sqlitepages

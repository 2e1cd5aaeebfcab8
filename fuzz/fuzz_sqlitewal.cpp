// Treats arbitrary bytes as a write-ahead log and reads every frame it hands out, each page as a
// b-tree page. Each input is read twice: as it is, and with its header and frame checksums and
// salts made to chain, so that mutations reach the frames and not only the checksum test.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/sqlitepages.h"
#include "platform/sqlitewal.h"

namespace {

namespace pages = pixhaven::sqlitepages;

std::uint32_t LoadWord(const unsigned char* p, bool bigEndian) {
    return bigEndian
               ? pages::Load32(p)
               : static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
                     static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

void Store32(unsigned char* p, std::uint32_t value) {
    for (int i = 3; i >= 0; --i) {
        p[i] = static_cast<unsigned char>(value);
        value >>= 8;
    }
}

void RunChecksum(const unsigned char* p, std::size_t length, bool bigEndian, std::uint32_t& s1,
                 std::uint32_t& s2) {
    for (std::size_t i = 0; i + 8 <= length; i += 8) {
        s1 += LoadWord(p + i, bigEndian) + s2;
        s2 += LoadWord(p + i + 4, bigEndian) + s1;
    }
}

// Rewrites the header's checksum, then every whole frame's salts and running checksum.
void Seal(std::vector<unsigned char>& log) {
    if (log.size() < pages::kWalHeaderSize) {
        return;
    }
    unsigned char* header = log.data();
    const bool bigEndian = (header[3] & 1) != 0;
    std::uint32_t s1 = 0;
    std::uint32_t s2 = 0;
    RunChecksum(header, 24, bigEndian, s1, s2);
    Store32(header + 24, s1);
    Store32(header + 28, s2);
    const std::uint32_t pageSize = pages::Load32(header + 8);
    if (pageSize < 512 || pageSize > 65536) {
        return;
    }
    const std::size_t frameSize = pages::kWalFrameHeaderSize + pageSize;
    for (std::size_t at = pages::kWalHeaderSize; frameSize <= log.size() - at; at += frameSize) {
        unsigned char* frame = log.data() + at;
        std::copy(header + 16, header + 24, frame + 8);
        RunChecksum(frame, 8, bigEndian, s1, s2);
        RunChecksum(frame + pages::kWalFrameHeaderSize, pageSize, bigEndian, s1, s2);
        Store32(frame + 16, s1);
        Store32(frame + 20, s2);
    }
}

unsigned ReadLog(std::span<const unsigned char> bytes) {
    const auto source = pages::MemoryPages(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    auto reader = pages::WalReader::Open(*source);
    if (!reader) {
        return 0;
    }
    const std::uint32_t pageSize = reader->Header().pageSize;
    unsigned sum = 0;
    pages::FreeblockWalker walker;
    std::vector<pages::Freeblock> blocks;
    pages::Cell cell;
    while (reader->Next()) {
        const pages::WalFrame& frame = reader->Frame();
        const unsigned char* page = reader->Page();
        sum += frame.pageNumber + frame.commitSize + static_cast<unsigned>(frame.index);
        for (std::size_t i = 0; i < pageSize; ++i) {
            sum += page[i];
        }
        // Frames carry pages of a database of the same page size; a usable size below 480 is
        // none SQLite makes, so the whole page is taken as usable.
        const pages::BtreePage btree(page, pages::HeaderOffsetOf(frame.pageNumber), pageSize);
        if (!btree.IsBtree()) {
            continue;
        }
        for (std::uint32_t i = 0; i < btree.CellCount(); ++i) {
            if (btree.CellAt(btree.CellOffset(i), cell)) {
                sum += page[cell.end - 1];
            }
        }
        walker.Collect(btree, blocks);
        sum += static_cast<unsigned>(blocks.size());
    }
    // Once ended, the reader stays ended.
    if (reader->Next()) {
        __builtin_trap();
    }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    unsigned sum = ReadLog(std::span(data, size));
    std::vector<unsigned char> sealed(data, data + size);
    Seal(sealed);
    sum += ReadLog(sealed);
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}

// The page layer of SQLite 3 database files read raw, shared by every reader that bypasses SQLite:
// the file header, b-tree pages with their cells, freeblocks and unallocated gap, overflow chains,
// the database's freelist, records, varints and serial types. Every read is checked against the
// page and the file; damage ends a walk quietly, or refuses it where the caller asks, and never
// reads outside memory. The write-ahead log beside a database is read by platform/sqlitewal.h.
//
// clang-format off
// The format relied on (integers big-endian, sizes in bytes, pages numbered from 1):
//
//   file header     the first 100 bytes of page 1
//                    0  "SQLite format 3\0"
//                   16  page size (2): a power of two from 512 to 32,768, or 1 for 65,536
//                   18  write version, 19 read version (1 each): 1 rollback journal, 2 write-ahead log
//                   20  bytes reserved at the end of every page (1); what is left is the usable
//                       size U, never below 480
//                   21  payload fractions (1 each): always 64, 32, 32
//                   24  change counter (4)
//                   28  pages in the database (4), to be believed only when offset 92 holds the
//                       change counter
//                   32  first freelist trunk page (4); 36 freelist pages, trunks included (4)
//                   56  text encoding (4): 1 UTF-8, 2 UTF-16le, 3 UTF-16be
//   page n          bytes (n - 1) x page size on; on page 1 the b-tree header follows the file header
//   b-tree header    0  type (1): 2 index interior, 5 table interior, 10 index leaf, 13 table leaf
//                    1  first freeblock (2), 0 when none
//                    3  cell count (2)
//                    5  start of the cell content area (2), 0 meaning 65,536
//                    7  fragmented free bytes (1)
//                    8  right-most child page (4), interior pages only
//   cell pointers   after the 8-byte leaf or 12-byte interior header, 2 bytes per cell in key order,
//                   each the page offset of its cell; cells lie from the content start to U
//   unallocated gap from the end of the cell pointer array to the content start
//   freeblock       a freed run of the content area: next freeblock (2, 0 ends the chain; SQLite keeps
//                   the chain ascending and never lets two blocks touch), size with these 4 bytes (2).
//                   Runs of 1 to 3 free bytes are fragments, only counted in the header
//   table leaf cell payload size varint, rowid varint, the payload's local part, and when the payload
//                   spills, the first overflow page (4)
//   table interior  left child page (4), rowid varint: the child holds the rowids up to that one
//   index cell      left child page (4, interior only), payload size varint, local part, first
//                   overflow page (4) when it spills
//   local part      a table leaf keeps a payload P whole when P <= U - 35, an index cell when
//                   P <= X = (U - 12) x 64 / 255 - 23. Otherwise, with M = (U - 12) x 32 / 255 - 23
//                   and K = M + (P - M) mod (U - 4), K bytes stay when K <= the limit, else M
//   overflow page   next overflow page (4, 0 at the end), then up to U - 4 bytes of payload
//   freelist trunk  next trunk (4, 0 at the end), leaf count L (4, at most U / 4 - 2), then L leaf
//                   page numbers (4 each); freelist leaves hold nothing that matters to SQLite
//   record          header size varint (itself included), one serial type varint per column, then
//                   the values in column order
//   serial type     0 null; 1 to 6 integers of 1, 2, 3, 4, 6, 8 bytes; 7 a real of 8; 8 and 9 the
//                   integers 0 and 1, with no bytes; 10 and 11 reserved; even N >= 12 a blob and
//                   odd N >= 13 a text, of (N - 12) / 2 or (N - 13) / 2 bytes
//   varint          1 to 9 bytes of 7 bits each, high bit set on all but the last; a ninth byte
//                   gives all 8 bits. 0x7F is 127, 0x81 0x00 is 128, 0x81 0x80 0x01 is 16,385
// clang-format on
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/bytereader.h"

namespace pixhaven::sqlitepages {

constexpr std::size_t kFileHeaderSize = 100;
// Zero bytes after every page a reader hands out, so that a varint or a signature test that
// starts inside the page stays inside memory.
constexpr std::size_t kPagePadding = 64;
// SQLite refuses trees deeper than 20; a deeper one is a loop or damage.
constexpr std::size_t kMaxTreeDepth = 64;

enum PageType : std::uint8_t {
    kIndexInterior = 2,
    kTableInterior = 5,
    kIndexLeaf = 10,
    kTableLeaf = 13,
};

inline std::uint32_t Load16(const unsigned char* p) {
    return static_cast<std::uint32_t>(platform::LoadBigEndian(p, 2));
}
inline std::uint32_t Load32(const unsigned char* p) {
    return static_cast<std::uint32_t>(platform::LoadBigEndian(p, 4));
}

// ---- Varints and serial types

// A varint at `pos` of [data, data + size), moving `pos` past it; false when it runs past the
// end. Most varints of a row are one byte, so that case comes first (bench_manifestdb).
inline bool ReadVarint(const unsigned char* data, std::size_t size, std::size_t& pos,
                       std::uint64_t& value) {
    if (pos < size && data[pos] < 0x80) {
        value = data[pos++];
        return true;
    }
    value = 0;
    for (int i = 0; i < 9; ++i) {
        if (pos >= size) {
            return false;
        }
        const unsigned char byte = data[pos++];
        if (i == 8) {
            value = value << 8 | byte;
            return true;
        }
        value = value << 7 | (byte & 0x7F);
        if ((byte & 0x80) == 0) {
            return true;
        }
    }
    return true;
}

// A varint at `p`, of which nine bytes must be readable (a padded page or buffer); returns the
// bytes it took, 1 to 9.
inline int DecodeVarint(const unsigned char* p, std::uint64_t& value) {
    if (p[0] < 0x80) {
        value = p[0];
        return 1;
    }
    if (p[1] < 0x80) {
        value = std::uint64_t{p[0] & 0x7FU} << 7 | p[1];
        return 2;
    }
    std::uint64_t v = std::uint64_t{p[0] & 0x7FU} << 7 | (p[1] & 0x7FU);
    for (int i = 2; i < 8; ++i) {
        v = v << 7 | (p[i] & 0x7FU);
        if (p[i] < 0x80) {
            value = v;
            return i + 1;
        }
    }
    value = v << 8 | p[8];
    return 9;
}

// The bytes a value of serial type `type` takes in the record's body (0 for the reserved 10, 11).
inline std::uint64_t SerialTypeLength(std::uint64_t type) {
    constexpr unsigned char kFixed[12] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
    return type < 12 ? kFixed[type] : (type - 12) / 2;
}

enum class SerialClass : std::uint8_t { Null, Integer, Real, Constant, Reserved, Blob, Text };

// Integer: 1 to 6; Constant: 8 and 9 (the integers 0 and 1).
inline SerialClass ClassOf(std::uint64_t type) {
    if (type >= 12) {
        return type % 2 == 0 ? SerialClass::Blob : SerialClass::Text;
    }
    constexpr SerialClass kClasses[12] = {
        SerialClass::Null,     SerialClass::Integer,  SerialClass::Integer,  SerialClass::Integer,
        SerialClass::Integer,  SerialClass::Integer,  SerialClass::Integer,  SerialClass::Real,
        SerialClass::Constant, SerialClass::Constant, SerialClass::Reserved, SerialClass::Reserved};
    return kClasses[type];
}

// One value of a record: its serial type and where its bytes lie, from the start of the region
// the record was parsed in.
struct RecordField {
    std::uint64_t type = 0;
    std::size_t offset = 0;
    std::size_t length = 0;
};

enum class RecordParse {
    Complete,   // the header and every value lie within the region
    Truncated,  // the header does, but a value passes the region's end: the fields before it
    Invalid,    // no record: a header that passes the region, a broken varint, a reserved type
};

// Parses the record that starts `region`: its header size, serial types and where each value
// lies. `fields` receives the values found (those before the first that passes the region).
RecordParse ParseRecord(std::span<const unsigned char> region, std::vector<RecordField>& fields);

// ---- The file header

struct FileHeader {
    std::uint32_t pageSize = 0;
    std::uint32_t usableSize = 0;  // page size less the reserved bytes
    std::uint8_t reservedBytes = 0;
    std::uint8_t writeVersion = 0;
    std::uint8_t readVersion = 0;
    std::uint8_t maxPayloadFraction = 0;
    std::uint8_t minPayloadFraction = 0;
    std::uint8_t leafPayloadFraction = 0;
    std::uint32_t changeCounter = 0;
    std::uint32_t pageCount = 0;  // the header's own count; see PageCountValid
    std::uint32_t firstFreelistTrunk = 0;
    std::uint32_t freelistCount = 0;
    std::uint32_t textEncoding = 0;
    std::uint32_t versionValidFor = 0;

    bool WriteAheadLog() const { return writeVersion == 2 || readVersion == 2; }
    bool PageCountValid() const { return pageCount != 0 && changeCounter == versionValidFor; }
};

// The page size a stored value at offset 16 means; 0 for anything but a power of two from 512
// to 65,536 (stored as 1).
std::uint32_t PageSizeFromStored(std::uint32_t stored);

// The header at the start of `bytes`; none without the magic, a page size or a usable size of
// at least 480 bytes.
std::optional<FileHeader> ParseFileHeader(std::span<const unsigned char> bytes);

// The offset of the b-tree header on page `number`.
inline std::size_t HeaderOffsetOf(std::uint64_t number) {
    return number == 1 ? kFileHeaderSize : 0;
}

// ---- Sources of a file's bytes

// Positional reads of a database's (or a log's) bytes. Each thread reads through its own source.
class PageSource {
public:
    virtual ~PageSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Copies up to out.size() bytes from `position`; returns how many arrived.
    virtual std::size_t ReadUpTo(std::uint64_t position, std::span<unsigned char> out) = 0;
    // Another source over the same bytes, for another thread; none when this one cannot make one.
    virtual std::unique_ptr<PageSource> Clone() const = 0;

    // Fills `out` from `position`; false when the bytes are not all there.
    bool Read(std::uint64_t position, std::span<unsigned char> out) {
        return position <= Size() && out.size() <= Size() - position &&
               ReadUpTo(position, out) == out.size();
    }
};

// None when the file cannot be opened.
std::unique_ptr<PageSource> OpenFilePages(const std::filesystem::path& file);
// Over bytes the caller keeps alive.
std::unique_ptr<PageSource> MemoryPages(std::string_view bytes);

// Over a stream the caller opened and keeps (unbuffered is fastest: reads are large), of `size`
// bytes. It cannot be cloned.
class StreamPages final : public PageSource {
public:
    StreamPages(std::istream& stream, std::uint64_t size) : stream_(stream), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadUpTo(std::uint64_t position, std::span<unsigned char> out) override;
    std::unique_ptr<PageSource> Clone() const override { return nullptr; }

private:
    std::istream& stream_;
    std::uint64_t size_;
};

// Whole pages, read a window of neighbours at a time, each followed in memory by at least
// kPagePadding zero bytes (or by the next page).
class PageReader {
public:
    enum class LastPage {
        WholeOnly,   // a last page the file cuts short is outside the file
        ZeroFilled,  // it is read, zeros after the file's end
    };

    // Windows of `windowBytes` (at least one page) start at multiples of their length, so walks up
    // and down a file both stay inside one.
    PageReader(PageSource& source, std::uint32_t pageSize, std::size_t windowBytes,
               LastPage lastPage = LastPage::WholeOnly);

    std::uint32_t PageSize() const { return pageSize_; }
    // The pages that can be read: 1 to PageCount().
    std::uint64_t PageCount() const { return pageCount_; }
    PageSource& Source() const { return *source_; }

    // Page `number`'s bytes; nullptr outside the file or when the read fails. Valid until the next
    // call that loads pages.
    const unsigned char* Page(std::uint64_t number) {
        if (number >= first_ && number - first_ < loaded_) {
            return window_.data() + (number - first_) * pageSize_;
        }
        return Load(number);
    }

    // Loads pages first..last in one read, so that Page() finds each of them there; false when
    // they are not all in the file.
    bool LoadRun(std::uint64_t first, std::uint64_t last);

private:
    const unsigned char* Load(std::uint64_t number);
    // Reads `count` pages from `first`; how many arrived (a cut last page counts when zero-filled).
    std::uint64_t Fill(std::uint64_t first, std::uint64_t count);

    PageSource* source_;
    std::uint32_t pageSize_;
    std::uint64_t pageCount_ = 0;
    std::uint64_t windowPages_;
    LastPage lastPage_;
    std::vector<unsigned char> window_;
    std::uint64_t first_ = 0;  // first page of the window
    std::uint64_t loaded_ = 0;
};

// ---- B-tree pages

// A run of a page's bytes: [offset, offset + length).
struct Region {
    std::size_t offset = 0;
    std::size_t length = 0;
};

// The bytes between the end of a cell pointer array and the cell content start (cut at the usable
// end); none when the content starts before the array ends.
inline Region UnallocatedGap(std::size_t pointerArrayEnd, std::uint32_t contentStart,
                             std::uint32_t usable) {
    const std::size_t end = contentStart < usable ? contentStart : usable;
    return end > pointerArrayEnd ? Region{pointerArrayEnd, end - pointerArrayEnd} : Region{};
}

// The bytes of a cell's payload kept on its page: all of a payload of `payload` bytes, or the
// part the formulas above give when it spills.
inline std::uint64_t LocalPayloadSize(std::uint64_t payload, std::uint32_t usable, bool tableLeaf) {
    const std::uint64_t most = tableLeaf ? usable - 35 : (usable - 12) * 64 / 255 - 23;
    if (payload <= most) {
        return payload;
    }
    const std::uint64_t least = (usable - 12) * 32 / 255 - 23;
    const std::uint64_t kept = least + (payload - least) % (usable - 4);
    return kept <= most ? kept : least;
}

// One cell, as far as its page tells.
struct Cell {
    std::size_t offset = 0;       // of the cell on its page
    std::size_t end = 0;          // one past its last byte
    std::uint32_t leftChild = 0;  // interior pages
    std::int64_t rowid = 0;       // table pages
    std::uint64_t payloadSize = 0;
    std::size_t payloadOffset = 0;  // the local part of the payload on the page
    std::size_t localSize = 0;
    std::uint32_t firstOverflow = 0;  // 0 when the payload is all local
};

// A view of one b-tree page. `bytes` holds a whole page; only its first `usable` bytes are read.
// `usable` is from 480 to 65,536. The header fields cells are found by are read once, here: rows
// are read cell by cell (bench_manifestdb).
class BtreePage {
public:
    BtreePage(const unsigned char* bytes, std::size_t headerOffset, std::uint32_t usable)
        : bytes_(bytes),
          header_(headerOffset),
          usable_(usable),
          type_(bytes[headerOffset]),
          pointers_(headerOffset + (IsInterior() ? 12 : 8)),
          cells_(FittingCells()) {}

    const unsigned char* Bytes() const { return bytes_; }
    std::uint32_t Usable() const { return usable_; }
    std::size_t HeaderOffset() const { return header_; }

    std::uint8_t Type() const { return type_; }
    bool IsInterior() const { return type_ == kTableInterior || type_ == kIndexInterior; }
    bool IsBtree() const { return IsInterior() || type_ == kTableLeaf || type_ == kIndexLeaf; }
    std::size_t HeaderSize() const { return pointers_ - header_; }

    std::uint32_t FirstFreeblock() const { return Load16(bytes_ + header_ + 1); }
    std::uint32_t StoredCellCount() const { return Load16(bytes_ + header_ + 3); }
    // The stored count, cut to the pointers that fit the page.
    std::uint32_t CellCount() const { return cells_; }
    std::uint32_t ContentStart() const {
        const std::uint32_t stored = Load16(bytes_ + header_ + 5);
        return stored == 0 ? 65536 : stored;
    }
    std::uint8_t FragmentedBytes() const { return bytes_[header_ + 7]; }
    // 0 on leaf pages.
    std::uint32_t RightChild() const { return IsInterior() ? Load32(bytes_ + header_ + 8) : 0; }

    std::size_t PointerArrayStart() const { return pointers_; }
    std::size_t PointerArrayEnd() const { return pointers_ + 2 * std::size_t{cells_}; }
    // The offset cell `index` (below CellCount()) points at; not yet checked.
    std::uint32_t CellOffset(std::size_t index) const {
        return Load16(bytes_ + pointers_ + 2 * index);
    }
    // Whether `bytes` bytes at `offset` lie between the pointer array and the usable end.
    bool InContentArea(std::size_t offset, std::size_t bytes) const {
        return offset >= PointerArrayEnd() && offset <= usable_ && bytes <= usable_ - offset;
    }

    // Parses the cell at `offset` after this page's type; false when it passes the usable end or
    // the page is not a b-tree page. (Filled in place: a returned optional is copied through the
    // stack, which cost bench_manifestdb's BM_VisitRowsOnly 12%.)
    bool CellAt(std::size_t offset, Cell& cell) const;

    // The gap between the cell pointer array (of the stored cell count) and the content start.
    Region Gap() const {
        return UnallocatedGap(pointers_ + 2 * std::size_t{StoredCellCount()}, ContentStart(),
                              usable_);
    }

private:
    std::uint32_t FittingCells() const {
        const std::size_t fitting = pointers_ < usable_ ? (usable_ - pointers_) / 2 : 0;
        const std::uint32_t stored = StoredCellCount();
        return stored <= fitting ? stored : static_cast<std::uint32_t>(fitting);
    }

    const unsigned char* bytes_;
    std::size_t header_;
    std::uint32_t usable_;
    std::uint8_t type_;
    std::size_t pointers_;  // where the cell pointer array starts
    std::uint32_t cells_;
};

inline bool BtreePage::CellAt(std::size_t offset, Cell& cell) const {
    const std::uint8_t type = type_;
    cell = Cell{};
    cell.offset = offset;
    std::size_t pos = offset;
    if (type == kTableInterior || type == kIndexInterior) {
        if (offset > usable_ || usable_ - offset < 4) {
            return false;
        }
        cell.leftChild = Load32(bytes_ + offset);
        pos += 4;
    }
    std::uint64_t key = 0;
    if (type == kTableInterior) {
        if (!ReadVarint(bytes_, usable_, pos, key)) {
            return false;
        }
        cell.rowid = static_cast<std::int64_t>(key);
        cell.end = pos;
        return true;
    }
    if ((type != kTableLeaf && type != kIndexLeaf && type != kIndexInterior) ||
        !ReadVarint(bytes_, usable_, pos, cell.payloadSize) ||
        (type == kTableLeaf && !ReadVarint(bytes_, usable_, pos, key))) {
        return false;
    }
    cell.rowid = static_cast<std::int64_t>(key);
    cell.payloadOffset = pos;
    const std::uint64_t local = LocalPayloadSize(cell.payloadSize, usable_, type == kTableLeaf);
    const std::size_t tail = local < cell.payloadSize ? 4 : 0;
    if (local > usable_ - pos || tail > usable_ - pos - local) {
        return false;
    }
    cell.localSize = static_cast<std::size_t>(local);
    cell.firstOverflow = tail != 0 ? Load32(bytes_ + pos + cell.localSize) : 0;
    cell.end = pos + cell.localSize + tail;
    return true;
}

// Reads the overflow chains of cells whose payload spills, each page read alone (not through a
// reader's window).
class OverflowReader {
public:
    OverflowReader(PageSource& source, std::uint32_t pageSize, std::uint32_t usable);

    // The cell's whole payload into `payload`: its local part on `page`, then the chain. False
    // when the chain leaves the file, ends early or comes back to a page it passed, or when the
    // payload is longer than the file could hold.
    bool Gather(const BtreePage& page, const Cell& cell, std::vector<unsigned char>& payload);

private:
    PageSource* source_;
    std::uint32_t pageSize_;
    std::uint32_t usable_;
    std::uint64_t pageCount_;
    std::vector<unsigned char> page_;
    // Pages passed, marked with the chain's number so the marks never need clearing.
    std::vector<std::uint32_t> passed_;
    std::uint32_t chain_ = 0;
};

// ---- Free space of a page

struct Freeblock {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;  // as stored: the 4 header bytes included
};

enum class FreeblockRules {
    // The chain SQLite keeps: each block after the pointer array, past the end of the one
    // before, of 4 bytes or more, and within the page. The chain ends quietly at the first
    // block that is not so.
    Sqlite,
    // Only a repeated offset or a block header past the page ends the chain; blocks may run
    // backwards, overlap or claim sizes past the page (the carvers' reading, kept as it was).
    RepeatsOnly,
};

class FreeblockWalker {
public:
    explicit FreeblockWalker(FreeblockRules rules = FreeblockRules::Sqlite) : rules_(rules) {}
    // The chain of `page`, in chain order, into `out` (cleared first).
    void Collect(const BtreePage& page, std::vector<Freeblock>& out);

private:
    FreeblockRules rules_;
    std::vector<std::uint32_t> seen_;  // offsets passed, marked with the chain's number
    std::uint32_t chain_ = 0;
};

// ---- Trees and the freelist

struct TreeWalkRules {
    // Any damage (a child outside the file or seen before, a page that is no table page, cells
    // that do not fit, a cell outside the content area, a tree too deep) refuses the whole walk;
    // otherwise that branch is left and the walk goes on.
    bool refuseDamage = true;
    // Children in key order, or the right-most child first and then the cells in order.
    bool rightChildFirst = false;
    // Page 1's b-tree header follows the file header; without this it is read like any other
    // page (the carvers never meet page 1 in a real table and read it so).
    bool fileHeaderOnPageOne = true;
    // All leaves lie at one depth: once the first is found, pages at its depth are taken as
    // leaves without reading them. Only for callers that check each leaf's type when they read it.
    bool leavesByDepth = false;
};

// The leaf pages of the table b-tree rooted at `root`, in the walk's order; none when the walk was
// refused (never with refuseDamage off).
std::optional<std::vector<std::uint32_t>> TableLeaves(PageReader& pages, std::uint32_t root,
                                                      std::uint32_t usable,
                                                      const TreeWalkRules& rules = {});

struct Freelist {
    std::vector<std::uint32_t> trunks;
    std::vector<std::uint32_t> leaves;
    // The chain ended at 0 after as many pages as the header counts, none of them skipped.
    bool complete = false;
};

// The database's free pages from the header's first trunk. A trunk outside the file or seen
// before ends the chain; a leaf outside the file or seen before is skipped; a leaf count past what
// a trunk holds is cut to it.
Freelist ReadFreelist(PageReader& pages, const FileHeader& header);

}  // namespace pixhaven::sqlitepages

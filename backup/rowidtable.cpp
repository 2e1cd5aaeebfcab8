// The on-disk layout relied on (all integers big-endian):
//
//   file header  the first 100 bytes of page 1: "SQLite format 3\0"; page size at 16 (2 bytes,
//                1 meaning 65,536); write and read versions at 18 and 19 (2 = write-ahead log);
//                bytes reserved at the end of each page at 20; text encoding at 56 (1 = UTF-8)
//   page n       at (n - 1) x page size; on page 1 the b-tree header follows the file header
//   b-tree page  type (0x05 table interior, 0x0D table leaf), first freeblock 2, cell count 2,
//                content start 2, fragmented bytes 1, and on interior pages the right-most
//                child 4; then one 2-byte cell offset per cell, in key order
//   interior     cell: left child page 4, rowid varint; children hold smaller rowids
//   leaf cell    payload size varint, rowid varint, the payload's first bytes, and when the
//                payload does not fit the page, the first overflow page 4
//   overflow     next overflow page 4 (0 at the end), then usable size - 4 payload bytes
//   record       header size varint (itself included), one serial type varint per column,
//                then the values: 0 null, 1-6 integers of 1, 2, 3, 4, 6, 8 bytes, 7 a real,
//                8 and 9 the integers 0 and 1, even N >= 12 a blob and odd N >= 13 a text
//                of (N - 12) / 2 or (N - 13) / 2 bytes
//   varint       1 to 9 bytes, 7 bits each with the high bit set on all but the last; the
//                ninth byte gives 8 bits
#include "backup/rowidtable.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <fstream>
#include <string>

namespace pixhaven::backup {
namespace {

constexpr std::string_view kMagic{"SQLite format 3\0", 16};
constexpr std::size_t kFileHeaderSize = 100;
constexpr unsigned char kInteriorPage = 0x05;
constexpr unsigned char kLeafPage = 0x0D;
constexpr std::size_t kInteriorHeaderSize = 12;
constexpr std::size_t kLeafHeaderSize = 8;
// SQLite itself refuses trees deeper than 20; a deeper one here is a loop or damage.
constexpr std::size_t kMaxDepth = 64;
// Runs of neighbouring leaf pages are read this much at a time: large enough to make reads
// few, small enough to stay in the processor's cache while the rows are decoded.
// bench_manifestdb (BM_VisitRowsOnly) measures it.
constexpr std::size_t kWindowBytes = 256 * 1024;

std::uint32_t Read16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0] << 8 | p[1]);
}

std::uint32_t Read32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// A varint at `pos` of [data, data + size); false when it runs past the end. Most varints in a
// row are one byte, so that case comes first (bench_manifestdb).
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

std::int64_t ReadSignedInteger(const unsigned char* p, std::size_t width) {
    std::uint64_t value = (p[0] & 0x80) != 0 ? ~std::uint64_t{0} : 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = value << 8 | p[i];
    }
    return static_cast<std::int64_t>(value);
}

// Decodes one value of serial type `type` from `body` into `value`; false for a reserved type or
// one that runs past the payload.
inline bool ReadValue(std::uint64_t type, std::string_view payload, std::size_t& body,
                      StoredValue& value) {
    static constexpr std::array<std::size_t, 7> kIntegerWidths = {0, 1, 2, 3, 4, 6, 8};
    value.bytes = {};  // only texts and blobs have bytes; never a view left from another row
    const std::size_t left = payload.size() - body;
    const auto* bytes = reinterpret_cast<const unsigned char*>(payload.data()) + body;
    if (type >= 12) {
        const std::uint64_t length = (type - 12) / 2;
        if (length > left) {
            return false;
        }
        value.type = type % 2 == 0 ? StoredValue::Type::Blob : StoredValue::Type::Text;
        value.bytes = payload.substr(body, length);
        body += length;
    } else if (type == 0) {
        value.type = StoredValue::Type::Null;
    } else if (type <= 6) {
        const std::size_t length = kIntegerWidths[type];
        if (length > left) {
            return false;
        }
        value.type = StoredValue::Type::Integer;
        value.integer = ReadSignedInteger(bytes, length);
        body += length;
    } else if (type == 7) {
        if (left < 8) {
            return false;
        }
        value.type = StoredValue::Type::Real;
        value.real = std::bit_cast<double>(static_cast<std::uint64_t>(ReadSignedInteger(bytes, 8)));
        body += 8;
    } else if (type == 8 || type == 9) {
        value.type = StoredValue::Type::Integer;
        value.integer = static_cast<std::int64_t>(type - 8);
    } else {
        return false;
    }
    return true;
}

class FilePages final : public PageSource {
public:
    static std::unique_ptr<FilePages> Open(const std::filesystem::path& file) {
        auto pages = std::unique_ptr<FilePages>(new FilePages(file));
        std::error_code error;
        pages->size_ = std::filesystem::file_size(file, error);
        // Unbuffered: every read is a large positioned read straight into the caller's memory.
        pages->stream_.rdbuf()->pubsetbuf(nullptr, 0);
        pages->stream_.open(file, std::ios::binary);
        if (error || !pages->stream_) {
            return nullptr;
        }
        return pages;
    }

    std::uint64_t Size() const override { return size_; }

    bool Read(std::uint64_t position, std::span<unsigned char> out) override {
        if (position > size_ || out.size() > size_ - position) {
            return false;
        }
        std::filebuf& buffer = *stream_.rdbuf();
        if (buffer.pubseekpos(static_cast<std::streamoff>(position), std::ios::in) !=
            std::streampos(static_cast<std::streamoff>(position))) {
            return false;
        }
        const auto wanted = static_cast<std::streamsize>(out.size());
        return buffer.sgetn(reinterpret_cast<char*>(out.data()), wanted) == wanted;
    }

    std::unique_ptr<PageSource> Clone() const override { return Open(file_); }

private:
    explicit FilePages(std::filesystem::path file) : file_(std::move(file)) {}

    std::filesystem::path file_;
    std::ifstream stream_;
    std::uint64_t size_ = 0;
};

class MemoryPageSource final : public PageSource {
public:
    explicit MemoryPageSource(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool Read(std::uint64_t position, std::span<unsigned char> out) override {
        if (position > bytes_.size() || out.size() > bytes_.size() - position) {
            return false;
        }
        std::memcpy(out.data(), bytes_.data() + position, out.size());
        return true;
    }
    std::unique_ptr<PageSource> Clone() const override {
        return std::make_unique<MemoryPageSource>(bytes_);
    }

private:
    std::string_view bytes_;
};

}  // namespace

std::unique_ptr<PageSource> OpenFilePages(const std::filesystem::path& file) {
    return FilePages::Open(file);
}

std::unique_ptr<PageSource> MemoryPages(std::string_view bytes) {
    return std::make_unique<MemoryPageSource>(bytes);
}

std::optional<RowidTable::Geometry> RowidTable::ReadGeometry(PageSource& source) {
    std::array<unsigned char, kFileHeaderSize> header{};
    if (!source.Read(0, header) ||
        std::string_view(reinterpret_cast<const char*>(header.data()), kMagic.size()) != kMagic) {
        return std::nullopt;
    }
    Geometry geometry;
    const std::uint32_t rawSize = Read16(&header[16]);
    geometry.pageSize = rawSize == 1 ? 65536 : rawSize;
    const bool legacyJournal = header[18] == 1 && header[19] == 1;
    // Fixed payload fractions: anything else is not a file SQLite would read either.
    const bool fractions = header[21] == 64 && header[22] == 32 && header[23] == 32;
    const bool utf8 = Read32(&header[56]) == 1;
    if (!std::has_single_bit(geometry.pageSize) || geometry.pageSize < 512 ||
        geometry.pageSize > 65536 || !legacyJournal || !fractions || !utf8) {
        return std::nullopt;
    }
    geometry.usable = geometry.pageSize - header[20];
    geometry.pageCount = source.Size() / geometry.pageSize;
    if (geometry.usable < 480) {
        return std::nullopt;
    }
    return geometry;
}

std::optional<std::vector<std::uint32_t>> RowidTable::CollectLeaves(PageSource& source,
                                                                    const Geometry& geometry,
                                                                    std::uint32_t root) {
    struct Pending {
        std::uint32_t page;
        std::size_t depth;
    };
    std::vector<bool> visited(geometry.pageCount + 1);
    std::vector<Pending> pending{{root, 0}};
    std::vector<std::uint32_t> leaves;
    std::vector<unsigned char> page(geometry.pageSize);
    std::vector<std::uint32_t> children;
    // All leaves of a b-tree lie at one depth: once the left-most is found, pages at its depth
    // are taken as leaves without reading them here (the leaf walk checks their type).
    std::optional<std::size_t> leafDepth;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        if (next.page == 0 || next.page > geometry.pageCount || visited[next.page] ||
            next.depth > kMaxDepth) {
            return std::nullopt;
        }
        visited[next.page] = true;
        if (next.depth == leafDepth) {
            leaves.push_back(next.page);
            continue;
        }
        if (!source.Read(std::uint64_t{next.page - 1} * geometry.pageSize, page)) {
            return std::nullopt;
        }
        const std::size_t header = next.page == 1 ? kFileHeaderSize : 0;
        if (page[header] == kLeafPage) {
            leafDepth = leafDepth.value_or(next.depth);
            leaves.push_back(next.page);
            continue;
        }
        const std::size_t cells = Read16(&page[header + 3]);
        const std::size_t pointers = header + kInteriorHeaderSize;
        if (page[header] != kInteriorPage || pointers + 2 * cells > geometry.usable) {
            return std::nullopt;
        }
        children.clear();
        for (std::size_t i = 0; i < cells; ++i) {
            const std::size_t offset = Read16(&page[pointers + 2 * i]);
            if (offset < pointers + 2 * cells || offset + 4 > geometry.usable) {
                return std::nullopt;
            }
            children.push_back(Read32(&page[offset]));
        }
        children.push_back(Read32(&page[header + 8]));
        // Last pushed is visited first: the left-most child.
        for (auto child = children.rbegin(); child != children.rend(); ++child) {
            pending.push_back({*child, next.depth + 1});
        }
    }
    return leaves;
}

std::optional<RowidTable> RowidTable::Open(PageSource& source, std::uint32_t rootPage) {
    const std::optional<Geometry> geometry = ReadGeometry(source);
    if (!geometry) {
        return std::nullopt;
    }
    std::optional<std::vector<std::uint32_t>> leaves = CollectLeaves(source, *geometry, rootPage);
    if (!leaves) {
        return std::nullopt;
    }
    return RowidTable(*geometry, std::move(*leaves));
}

// Reads runs of leaf pages into one window and walks their cells; a payload that spills onto
// overflow pages is gathered into a scratch buffer first.
class RowidTable::LeafReader {
public:
    LeafReader(const Geometry& geometry, PageSource& source, std::size_t columns,
               const RowVisitor& visit)
        : geometry_(geometry), source_(source), visit_(visit), values_(columns) {}

    // Reads pages run.front() to run.back() in one go (any pages between them too) and walks
    // the leaves among them.
    bool ReadRun(std::span<const std::uint32_t> run) {
        const std::uint32_t base = run.front();
        window_.resize(std::size_t{run.back() - base + 1} * geometry_.pageSize);
        if (!source_.Read(std::uint64_t{base - 1} * geometry_.pageSize, window_)) {
            return false;
        }
        for (const std::uint32_t leaf : run) {
            if (!ReadLeaf(window_.data() + std::size_t{leaf - base} * geometry_.pageSize, leaf)) {
                return false;
            }
        }
        return true;
    }

private:
    bool ReadLeaf(const unsigned char* page, std::uint32_t number) {
        const std::size_t header = number == 1 ? kFileHeaderSize : 0;
        const std::size_t cells = Read16(page + header + 3);
        const std::size_t pointers = header + kLeafHeaderSize;
        if (page[header] != kLeafPage || pointers + 2 * cells > geometry_.usable) {
            return false;
        }
        for (std::size_t i = 0; i < cells; ++i) {
            const std::size_t offset = Read16(page + pointers + 2 * i);
            if (offset < pointers + 2 * cells || offset >= geometry_.usable ||
                !ReadCell(page, offset)) {
                return false;
            }
        }
        return true;
    }

    bool ReadCell(const unsigned char* page, std::size_t pos) {
        const std::size_t end = geometry_.usable;
        std::uint64_t size = 0;
        std::uint64_t rowid = 0;  // not needed: rows come in rowid order
        if (!ReadVarint(page, end, pos, size) || !ReadVarint(page, end, pos, rowid)) {
            return false;
        }
        const std::uint64_t maxLocal = end - 35;
        if (size <= maxLocal) {
            if (size > end - pos) {
                return false;
            }
            return ReadRecord({reinterpret_cast<const char*>(page + pos), size});
        }
        const std::uint64_t minLocal = (end - 12) * 32 / 255 - 23;
        const std::uint64_t spill = minLocal + (size - minLocal) % (end - 4);
        const std::uint64_t local = spill <= maxLocal ? spill : minLocal;
        if (local + 4 > end - pos) {
            return false;
        }
        return GatherOverflow(page + pos, local, size) &&
               ReadRecord({reinterpret_cast<const char*>(payload_.data()), payload_.size()});
    }

    bool GatherOverflow(const unsigned char* local, std::uint64_t localSize, std::uint64_t size) {
        // Each overflow page carries usable - 4 bytes, so a sound chain fits the file.
        if (size - localSize > geometry_.pageCount * (geometry_.usable - 4)) {
            return false;
        }
        payload_.assign(local, local + localSize);
        payload_.resize(size);
        overflowPage_.resize(geometry_.pageSize);
        std::uint32_t next = Read32(local + localSize);
        std::size_t filled = localSize;
        while (filled < size) {
            if (next == 0 || next > geometry_.pageCount ||
                !source_.Read(std::uint64_t{next - 1} * geometry_.pageSize, overflowPage_)) {
                return false;
            }
            const std::size_t take = std::min<std::size_t>(size - filled, geometry_.usable - 4);
            std::memcpy(payload_.data() + filled, overflowPage_.data() + 4, take);
            filled += take;
            next = Read32(overflowPage_.data());
        }
        return true;
    }

    bool ReadRecord(std::string_view payload) {
        const auto* data = reinterpret_cast<const unsigned char*>(payload.data());
        std::size_t pos = 0;
        std::uint64_t headerSize = 0;
        if (!ReadVarint(data, payload.size(), pos, headerSize) || headerSize < pos ||
            headerSize > payload.size()) {
            return false;
        }
        const auto header = static_cast<std::size_t>(headerSize);
        std::size_t body = header;
        for (StoredValue& value : values_) {
            std::uint64_t type = 0;
            if (!ReadVarint(data, header, pos, type) || !ReadValue(type, payload, body, value)) {
                return false;
            }
        }
        visit_(values_);
        return true;
    }

    const Geometry& geometry_;
    PageSource& source_;
    const RowVisitor& visit_;
    std::vector<StoredValue> values_;
    std::vector<unsigned char> window_;
    std::vector<unsigned char> payload_;
    std::vector<unsigned char> overflowPage_;
};

bool RowidTable::ReadRows(PageSource& source, std::size_t first, std::size_t last,
                          std::size_t columns, const RowVisitor& visit) const {
    last = std::min(last, leaves_.size());
    LeafReader reader(geometry_, source, columns, visit);
    const std::size_t windowPages = std::max<std::size_t>(1, kWindowBytes / geometry_.pageSize);
    for (std::size_t i = first; i < last;) {
        // Leaves usually lie in ascending runs with a few index or overflow pages between them;
        // one read takes such a run whole.
        std::size_t run = 1;
        while (i + run < last && leaves_[i + run] > leaves_[i + run - 1] &&
               leaves_[i + run] - leaves_[i] < windowPages) {
            ++run;
        }
        if (!reader.ReadRun(std::span(leaves_).subspan(i, run))) {
            return false;
        }
        i += run;
    }
    return true;
}

}  // namespace pixhaven::backup

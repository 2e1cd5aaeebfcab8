// The page layout (file header, b-tree pages, cells, overflow chains, records) is written at the
// top of platform/sqlitepages.h. Values are decoded here after their serial type: integers of
// 1, 2, 3, 4, 6 or 8 bytes, two's complement; reals as 8-byte IEEE doubles; the integers 0 and 1
// with no bytes; texts and blobs handed out in place.
#include "backup/rowidtable.h"

#include <algorithm>
#include <array>
#include <bit>

namespace pixhaven::backup {
namespace {

namespace pages = sqlitepages;

// Runs of neighbouring leaf pages are read this much at a time: large enough to make reads
// few, small enough to stay in the processor's cache while the rows are decoded.
// bench_manifestdb (BM_VisitRowsOnly) measures it.
constexpr std::size_t kWindowBytes = 256 * 1024;

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

}  // namespace

std::optional<RowidTable::Geometry> RowidTable::ReadGeometry(PageSource& source) {
    std::array<unsigned char, pages::kFileHeaderSize> bytes{};
    if (!source.Read(0, bytes)) {
        return std::nullopt;
    }
    const std::optional<pages::FileHeader> header = pages::ParseFileHeader(bytes);
    // A rollback journal, the fixed payload fractions and UTF-8 only: a write-ahead log may hold
    // newer pages, and other fractions make a file SQLite would not read either.
    if (!header || header->writeVersion != 1 || header->readVersion != 1 ||
        header->maxPayloadFraction != 64 || header->minPayloadFraction != 32 ||
        header->leafPayloadFraction != 32 || header->textEncoding != 1) {
        return std::nullopt;
    }
    return Geometry{header->pageSize, header->usableSize};
}

std::optional<std::vector<std::uint32_t>> RowidTable::CollectLeaves(PageSource& source,
                                                                    const Geometry& geometry,
                                                                    std::uint32_t root) {
    // Interior pages lie apart: each is read alone. Leaves are checked when their rows are read.
    pages::PageReader reader(source, geometry.pageSize, geometry.pageSize);
    pages::TreeWalkRules rules;
    rules.leavesByDepth = true;
    return pages::TableLeaves(reader, root, geometry.usable, rules);
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
        : geometry_(geometry),
          pages_(source, geometry.pageSize, kWindowBytes),
          overflow_(source, geometry.pageSize, geometry.usable),
          visit_(visit),
          values_(columns) {}

    // Reads pages run.front() to run.back() in one go (any pages between them too) and walks
    // the leaves among them.
    bool ReadRun(std::span<const std::uint32_t> run) {
        if (!pages_.LoadRun(run.front(), run.back())) {
            return false;
        }
        for (const std::uint32_t leaf : run) {
            if (!ReadLeaf(pages::BtreePage(pages_.Page(leaf), pages::HeaderOffsetOf(leaf),
                                           geometry_.usable))) {
                return false;
            }
        }
        return true;
    }

private:
    bool ReadLeaf(const pages::BtreePage& page) {
        const std::uint32_t cells = page.StoredCellCount();
        if (page.Type() != pages::kTableLeaf || page.CellCount() != cells) {
            return false;
        }
        for (std::uint32_t i = 0; i < cells; ++i) {
            const std::size_t offset = page.CellOffset(i);
            if (!page.InContentArea(offset, 1) || !ReadCell(page, offset)) {
                return false;
            }
        }
        return true;
    }

    bool ReadCell(const pages::BtreePage& page, std::size_t offset) {
        pages::Cell cell;
        if (!page.CellAt(offset, cell)) {
            return false;
        }
        if (cell.localSize == cell.payloadSize) {
            return ReadRecord(
                {reinterpret_cast<const char*>(page.Bytes()) + cell.payloadOffset, cell.localSize});
        }
        return overflow_.Gather(page, cell, payload_) &&
               ReadRecord({reinterpret_cast<const char*>(payload_.data()), payload_.size()});
    }

    bool ReadRecord(std::string_view payload) {
        const auto* data = reinterpret_cast<const unsigned char*>(payload.data());
        std::size_t pos = 0;
        std::uint64_t headerSize = 0;
        if (!pages::ReadVarint(data, payload.size(), pos, headerSize) || headerSize < pos ||
            headerSize > payload.size()) {
            return false;
        }
        const auto header = static_cast<std::size_t>(headerSize);
        std::size_t body = header;
        for (StoredValue& value : values_) {
            std::uint64_t type = 0;
            if (!pages::ReadVarint(data, header, pos, type) ||
                !ReadValue(type, payload, body, value)) {
                return false;
            }
        }
        visit_(values_);
        return true;
    }

    const Geometry& geometry_;
    pages::PageReader pages_;
    pages::OverflowReader overflow_;
    const RowVisitor& visit_;
    std::vector<StoredValue> values_;
    std::vector<unsigned char> payload_;
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

// Treats arbitrary bytes as a whole SQLite file and reads it through the page layer the way its
// users do: the file header, the freelist, the table leaf walk under each set of rules, and every
// b-tree page's cells, overflow chains, records, freeblock chains and gap. The ends of every region
// a reader vouches for are touched, so a view past the input shows up under the sanitizers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string_view>
#include <vector>

#include "platform/sqlitepages.h"

namespace {

namespace pages = pixhaven::sqlitepages;

// Pages read cell by cell per reading, and payloads gathered per page, so that one input stays
// quick.
constexpr std::uint64_t kMostPages = 48;
constexpr std::uint32_t kMostPayloads = 16;

// Where a reading finds b-tree headers and how much of a page it believes.
struct Geometry {
    std::uint32_t pageSize = 0;
    std::uint32_t usable = 0;
    bool fileHeaderOnPageOne = true;
};

class Reading {
public:
    Reading(pages::PageSource& source, const Geometry& geometry)
        : geometry_(geometry), overflow_(source, geometry.pageSize, geometry.usable) {}

    void ReadPage(std::uint64_t number, const unsigned char* bytes) {
        if (bytes == nullptr) {
            return;
        }
        const std::size_t header =
            geometry_.fileHeaderOnPageOne ? pages::HeaderOffsetOf(number) : 0;
        const pages::BtreePage page(bytes, header, geometry_.usable);
        if (!page.IsBtree()) {
            return;
        }
        ReadCells(page);
        TouchEnds(bytes, page.Gap());
        for (pages::FreeblockWalker& walker : walkers_) {
            walker.Collect(page, blocks_);
            for (const pages::Freeblock& block : blocks_) {
                // Only the block's header is promised inside the page under either rule.
                TouchEnds(bytes, {block.offset, 4});
            }
        }
    }

    unsigned Sum() const { return sum_; }

private:
    // The first and last byte of a region a reader vouched for: the last is the one that would
    // pass the page, and touching every byte of every region makes each input slow.
    void TouchEnds(const unsigned char* bytes, const pages::Region& region) {
        if (region.length > 0) {
            sum_ += bytes[region.offset] + bytes[region.offset + region.length - 1];
        }
    }

    void ReadCells(const pages::BtreePage& page) {
        pages::Cell cell;
        for (std::uint32_t i = 0; i < page.CellCount(); ++i) {
            if (!page.CellAt(page.CellOffset(i), cell)) {
                continue;
            }
            TouchEnds(page.Bytes(), {cell.offset, cell.end - cell.offset});
            // Table interior cells hold a key and no payload; a few payloads per page suffice.
            if (page.Type() != pages::kTableInterior && i < kMostPayloads &&
                overflow_.Gather(page, cell, payload_)) {
                ReadRecord(payload_);
            }
        }
    }

    void ReadRecord(std::span<const unsigned char> payload) {
        if (pages::ParseRecord(payload, fields_) == pages::RecordParse::Invalid) {
            return;
        }
        for (const pages::RecordField& field : fields_) {
            TouchEnds(payload.data(), {field.offset, field.length});
        }
    }

    Geometry geometry_;
    pages::OverflowReader overflow_;
    pages::FreeblockWalker walkers_[2] = {
        pages::FreeblockWalker(pages::FreeblockRules::Sqlite),
        pages::FreeblockWalker(pages::FreeblockRules::RepeatsOnly)};
    std::vector<pages::Freeblock> blocks_;
    std::vector<unsigned char> payload_;
    std::vector<pages::RecordField> fields_;
    unsigned sum_ = 0;
};

// Both varint readers over every position of the input: where nine bytes follow they must agree.
void CompareVarints(std::span<const unsigned char> bytes) {
    std::vector<unsigned char> padded(bytes.begin(), bytes.end());
    padded.resize(bytes.size() + 9, 0);
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        std::uint64_t decoded = 0;
        const int length = pages::DecodeVarint(padded.data() + at, decoded);
        std::size_t pos = at;
        std::uint64_t read = 0;
        const bool whole = pages::ReadVarint(bytes.data(), bytes.size(), pos, read);
        if (whole ? (read != decoded || pos - at != static_cast<std::size_t>(length))
                  : at + 9 <= bytes.size()) {
            __builtin_trap();
        }
    }
}

// The rules of each user of the walk; where page 1's header lies is the geometry's.
std::vector<pages::TreeWalkRules> WalkRules() {
    pages::TreeWalkRules strict;
    pages::TreeWalkRules carving;
    carving.refuseDamage = false;
    carving.rightChildFirst = true;
    pages::TreeWalkRules byDepth;
    byDepth.leavesByDepth = true;
    return {strict, carving, byDepth};
}

// The freelist and the first tables' leaf walks, then every page among the first ones and the
// leaves the walks found, each read once.
void ReadAsDatabase(pages::PageSource& source, const Geometry& geometry,
                    const std::optional<pages::FileHeader>& header, unsigned& sum) {
    pages::PageReader reader(source, geometry.pageSize, std::size_t{1} << 16,
                             pages::PageReader::LastPage::ZeroFilled);
    std::set<std::uint64_t> wanted;
    if (header) {
        const pages::Freelist list = pages::ReadFreelist(reader, *header);
        sum += static_cast<unsigned>(list.trunks.size() + list.leaves.size()) + list.complete;
    }
    for (std::uint64_t number = 1; number <= reader.PageCount() && number <= kMostPages; ++number) {
        wanted.insert(number);
    }
    // Interior pages one at a time, as the rowid table reader reads them.
    pages::PageReader alone(source, geometry.pageSize, geometry.pageSize);
    for (pages::TreeWalkRules rules : WalkRules()) {
        rules.fileHeaderOnPageOne = geometry.fileHeaderOnPageOne;
        for (std::uint32_t root = 1; root <= 4; ++root) {
            const auto leaves = pages::TableLeaves(rules.leavesByDepth ? alone : reader, root,
                                                   geometry.usable, rules);
            if (!leaves || leaves->empty()) {
                continue;
            }
            alone.LoadRun(leaves->front(), leaves->back());
            for (const std::uint32_t leaf : *leaves) {
                if (wanted.size() < 2 * kMostPages) {
                    wanted.insert(leaf);
                }
            }
        }
    }
    Reading reading(source, geometry);
    for (const std::uint64_t number : wanted) {
        reading.ReadPage(number, reader.Page(number));
    }
    sum += reading.Sum();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const unsigned char> bytes(data, size);
    const auto source =
        pages::MemoryPages(std::string_view(reinterpret_cast<const char*>(data), size));
    unsigned sum = 0;
    CompareVarints(bytes.first(std::min<std::size_t>(size, 4096)));

    const std::optional<pages::FileHeader> header = pages::ParseFileHeader(bytes);
    if (header) {
        ReadAsDatabase(*source, {header->pageSize, header->usableSize, true}, header, sum);
    }
    // The carvers' reading: the page size alone, every page wholly usable, page 1 read like any
    // other.
    std::uint32_t pageSize = 512;
    if (size >= 18) {
        const std::uint32_t stored = pages::PageSizeFromStored(pages::Load16(data + 16));
        pageSize = stored != 0 ? stored : pageSize;
    }
    ReadAsDatabase(*source, {pageSize, pageSize, false}, std::nullopt, sum);

    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}

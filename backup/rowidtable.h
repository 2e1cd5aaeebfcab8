// Reads the rows of one rowid table straight from a SQLite file's pages, without SQLite's pager.
// Stepping a statement over a table of hundreds of megabytes costs more than reading its pages;
// this reader copies each run of leaf pages once and hands out the stored values in place.
// It is deliberately narrow: a file it does not fully understand (a write-ahead log, another text
// encoding, a damaged page, a row with fewer columns than asked for) makes it give up, and the
// caller reads the table through SQLite instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/sqlitepages.h"

namespace pixhaven::backup {

// One column of a row as it is stored.
struct StoredValue {
    enum class Type : std::uint8_t { Null, Integer, Real, Text, Blob };
    Type type = Type::Null;
    std::int64_t integer = 0;  // Integer
    double real = 0;           // Real
    std::string_view bytes;    // Text and Blob; valid only during the row's visit
};

// Reads of the database's bytes, from the shared page layer.
using sqlitepages::MemoryPages;
using sqlitepages::OpenFilePages;
using sqlitepages::PageSource;

using RowVisitor = std::function<void(std::span<const StoredValue> columns)>;

class RowidTable {
public:
    // The table whose b-tree starts at `rootPage`; none when the file's header is one this reader
    // does not handle or the tree's interior pages are damaged.
    static std::optional<RowidTable> Open(PageSource& source, std::uint32_t rootPage);

    // Leaf pages in rowid order; rows are read by ranges of them.
    std::size_t LeafCount() const { return leaves_.size(); }

    // Visits the first `columns` values of every row on leaves [first, last), in rowid order.
    // False, part way through, when a page is damaged or a row holds fewer values.
    bool ReadRows(PageSource& source, std::size_t first, std::size_t last, std::size_t columns,
                  const RowVisitor& visit) const;

private:
    struct Geometry {
        std::uint32_t pageSize = 0;
        std::uint32_t usable = 0;  // page size less the bytes each page reserves
    };
    class LeafReader;

    RowidTable(Geometry geometry, std::vector<std::uint32_t> leaves)
        : geometry_(geometry), leaves_(std::move(leaves)) {}
    static std::optional<Geometry> ReadGeometry(PageSource& source);
    static std::optional<std::vector<std::uint32_t>> CollectLeaves(PageSource& source,
                                                                   const Geometry& geometry,
                                                                   std::uint32_t root);

    Geometry geometry_;
    std::vector<std::uint32_t> leaves_;
};

}  // namespace pixhaven::backup

// Raw reading of an SQLite 3 file for carving: the leaf pages of one table b-tree, their freeblock
// chains and unassigned areas, and the record walk every carver shares. Pages are read through the
// shared page layer, whose header (platform/sqlitepages.h) describes the layout relied on.
// Every read is bounded by the file and the page: damaged and hostile files yield fewer rows,
// never a crash, a hang or a read outside the page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "cellsalvage/export.h"
#include "cellsalvage/parsetypes.h"

class CELLSALVAGE_API SqliteParseBase {
public:
    virtual ~SqliteParseBase();
    virtual void startParse(ePaserType type, eOSType os) = 0;

    SqliteParseBase(const SqliteParseBase&) = delete;
    SqliteParseBase& operator=(const SqliteParseBase&) = delete;

protected:
    SqliteParseBase();

    // Carved rows: the wanted columns' bytes of one record.
    using Pair = std::pair<std::string, std::string>;
    using Triple = std::tuple<std::string, std::string, std::string>;

    // Scratch space for one freeblock or unassigned area: every byte past `length` is zero, and
    // the padding keeps a signature test or varint read that starts inside the area in the buffer.
    struct Scratch {
        static constexpr std::size_t kPadding = 64;
        std::vector<unsigned char> bytes;
        std::size_t length = 0;  // bytes of the area; the rest is zero
        const unsigned char* data() const { return bytes.data(); }
    };

    // One wanted column of a record walk: its index in walk numbering (the first serial type read
    // is column 0), and where the walk found its content.
    struct WantedColumn {
        int index = 0;
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };

    enum class WalkEnd {
        Complete,   // every column walked and the record lies within the limit
        Overrun,    // every column walked but the record passes the limit
        Truncated,  // the record reached the limit before its last column
    };

    struct WalkRules {
        bool zeroLengthFiveToTwelve = false;  // freeblock carvers of the iOS tables
        int zeroLengthColumn = -1;            // a column counted as empty whatever its type
    };

    struct WalkResult {
        WalkEnd end = WalkEnd::Truncated;
        std::size_t extent = 0;        // header bytes walked plus content bytes, from the start
        std::size_t contentStart = 0;  // absolute position of column 0's content
    };

    // Reads the page size (offset 16) of the file; leaves pageSize unchanged when the file cannot
    // be opened. Sizes that are not a power of two from 512 to 65,536 read as 0, so nothing is
    // carved from such a file.
    void readPageSize(const std::u16string& path);
    // Opens dbStream on the file for raw reading; false when it cannot be opened.
    bool openDbStream(const std::u16string& path);

    // Appends the leaf pages of the table b-tree rooted at rootPage (page 0 and pages already seen
    // are not followed; the walk's depth is bounded).
    void collectLeafPages(int rootPage);
    void sortLeafPages();
    // Fills freeblockMap from the given leaf pages; a chain ends at 0, at a repeated offset or at
    // an offset outside the page.
    void collectFreeblocks(std::vector<std::int32_t> pages);
    void clearPageLists();
    // The leaf pages of the table rooted at rootPage, sorted, and their freeblocks.
    void loadTable(int rootPage);

    // Reads the content of the freeblock at `offset` of `page` (its size − 4 bytes from offset + 4,
    // cut at the page's end) into `scratch`; false when it has no content.
    bool readFreeblockContent(std::int32_t page, int offset, Scratch& scratch);
    // Reads the unassigned area of a leaf page into `scratch`; false when the page has none.
    bool readUnassignedArea(std::int32_t page, Scratch& scratch);
    // A scratch buffer large enough for any page of this file.
    Scratch makeScratch() const;

    // Decodes an SQLite varint at p; returns the bytes used (1..9). A value wider than 32 bits
    // gives 0xFFFFFFFF. Reads at most 9 bytes: callers keep p at least 9 bytes before the end of
    // its buffer (Scratch padding guarantees that).
    static int getVarint32(const unsigned char* p, std::uint32_t& value);
    static std::uint32_t serialTypeLength(std::uint32_t serialType);
    static bool isIntegerType(std::uint32_t t) { return t >= 1 && t <= 6; }
    static bool isTextType(std::uint32_t t) { return t >= 13 && (t & 1) == 1; }
    static bool isBlobType(std::uint32_t t) { return t > 12 && (t & 1) == 0; }
    static bool isConstantType(std::uint32_t t) { return t >= 8 && t <= 11; }

    // Walks `columns` serial types from `start` of `scratch`, filling offset and length of each
    // wanted column; `limit` bounds the record's extent, counted from `start`.
    static WalkResult walkRecord(const Scratch& scratch, std::size_t start, std::size_t limit,
                                 int columns, std::vector<WantedColumn>& wanted,
                                 const WalkRules& rules);
    static WalkResult walkRecord(const Scratch& scratch, std::size_t start, std::size_t limit,
                                 int columns, std::vector<WantedColumn>& wanted);
    // The content bytes of a wanted column after a walk (empty when they would leave the area).
    static std::string columnValue(const Scratch& scratch, const WalkResult& walk,
                                   const WantedColumn& column);

    // Walks the record at `start` to the end of the area and, when it lies complete within it,
    // appends the wanted columns' contents to `rows` as one row (a text, a Pair or a Triple) and
    // returns the record's extent.
    template <typename Row>
    static std::optional<std::size_t> keepRecord(const Scratch& scratch, std::size_t start,
                                                 int columns, std::vector<WantedColumn>& wanted,
                                                 std::vector<Row>& rows) {
        return keepRecord(scratch, start, columns, wanted, rows, WalkRules{});
    }
    template <typename Row>
    static std::optional<std::size_t> keepRecord(const Scratch& scratch, std::size_t start,
                                                 int columns, std::vector<WantedColumn>& wanted,
                                                 std::vector<Row>& rows, const WalkRules& rules) {
        const WalkResult walk =
            walkRecord(scratch, start, scratch.length - start, columns, wanted, rules);
        if (walk.end != WalkEnd::Complete) {
            return std::nullopt;
        }
        if constexpr (std::is_same_v<Row, std::string>) {
            rows.push_back(columnValue(scratch, walk, wanted[0]));
        } else {
            rows.push_back([&]<std::size_t... I>(std::index_sequence<I...>) {
                return Row{columnValue(scratch, walk, wanted[I])...};
            }(std::make_index_sequence<std::tuple_size_v<Row>>{}));
        }
        return walk.extent;
    }

    // The loop every freeblock carver shares: deleted cells merged into one freeblock follow each
    // other, the next one's serial types `gap` bytes after the end of the previous record, one byte
    // later when the byte there is a header size (at least, or with `strictlyGreater` more than,
    // the column count). `walkOne(position)` walks and keeps one record and returns its extent, or
    // nothing when the freeblock ends there.
    template <typename WalkOne>
    static void carveMergedRecords(const Scratch& scratch, std::size_t first, int columnCount,
                                   std::size_t gap, bool strictlyGreater, WalkOne walkOne) {
        std::size_t position = first;
        while (position < scratch.length) {
            const std::optional<std::size_t> extent = walkOne(position);
            if (!extent || *extent == 0) {
                return;
            }
            position += *extent + gap;
            if (position < scratch.length) {
                const int next = scratch.bytes[position];
                if (strictlyGreater ? next > columnCount : next >= columnCount) {
                    ++position;
                }
            }
        }
    }

    // The loop every unassigned-area carver shares: `tryAt(p)` tests the signature at p and, on a
    // match, walks and keeps the record and returns its extent; the scan then moves past the
    // record (by one byte when the extent is 0 or not below the area length).
    template <typename TryAt>
    static void slideSignature(const Scratch& scratch, std::size_t stop, TryAt tryAt) {
        for (std::size_t p = 0; p < stop;) {
            const std::optional<std::size_t> extent = tryAt(p);
            p += extent && *extent > 0 && *extent < scratch.length ? *extent : 1;
        }
    }

    // Calls visit(scratch) for every freeblock with content, pages ascending, in chain order.
    template <typename Visit>
    void forEachFreeblock(Visit visit) {
        Scratch scratch = makeScratch();
        for (const auto& [page, offsets] : freeblockMap) {
            for (const int offset : offsets) {
                if (readFreeblockContent(page, offset, scratch)) {
                    visit(scratch);
                }
            }
        }
    }

    // Calls visit(scratch) for the unassigned area of every leaf page that has one, in list order.
    template <typename Visit>
    void forEachUnassignedArea(Visit visit) {
        Scratch scratch = makeScratch();
        for (const std::int32_t page : leafPages) {
            if (readUnassignedArea(page, scratch)) {
                visit(scratch);
            }
        }
    }

    // UTF-8 up to its first zero byte, in the locale's charset; invalid UTF-8 gives "".
    static std::string utf8ToAnsi(const std::string& utf8);

    std::vector<std::int32_t> leafPages;
    std::int32_t pageSize = 0;
    std::ifstream dbStream;
    std::map<int, std::vector<int>> freeblockMap;

private:
    // The page layer over dbStream: pages read a window of neighbours at a time, so the passes over
    // the leaf pages cost a few large reads rather than two system calls per page.
    struct PageAccess;
    // The page access for the current page size (made anew when it changed).
    PageAccess& access();
    // The bytes of one page (a short last page is padded with zeros); nullptr when the page lies
    // outside the file.
    const unsigned char* loadPage(std::int32_t page);
    void forgetLoadedPage();

    std::uint64_t fileSize = 0;
    std::unique_ptr<PageAccess> pageAccess;
};

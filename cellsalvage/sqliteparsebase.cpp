#include "cellsalvage/sqliteparsebase.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/textcodec.h"

namespace {

constexpr std::uint8_t kInteriorTablePage = 5;
constexpr std::uint8_t kLeafTablePage = 13;
constexpr int kInteriorHeaderSize = 12;
constexpr int kLeafHeaderSize = 8;
// Real table b-trees are a handful of levels deep; anything deeper is a damaged or hostile file.
constexpr int kMaxTreeDepth = 64;
// Bytes read at once around a wanted page (bench_cellsalvage).
constexpr std::size_t kWindowBytes = std::size_t{1} << 20;

std::uint32_t ReadBigEndian16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 8 | p[1];
}

std::uint32_t ReadBigEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::int32_t PageSizeFromHeader(std::uint32_t stored) {
    const std::uint32_t size = stored == 1 ? 65536U : stored;
    const bool powerOfTwo = (size & (size - 1)) == 0;
    return size >= 512 && size <= 65536 && powerOfTwo ? static_cast<std::int32_t>(size) : 0;
}

// (Templates: the scratch type is protected in the class.)
// Copies `length` bytes into the scratch buffer and zeroes what an earlier, longer area left.
template <typename Scratch>
void FillScratch(Scratch& scratch, const unsigned char* from, std::size_t length,
                 std::size_t capacity) {
    if (scratch.bytes.size() < capacity) {
        scratch.bytes.resize(capacity, 0);
    }
    if (length > 0) {
        std::memcpy(scratch.bytes.data(), from, length);
    }
    if (scratch.length > length) {
        std::fill(scratch.bytes.begin() + static_cast<std::ptrdiff_t>(length),
                  scratch.bytes.begin() + static_cast<std::ptrdiff_t>(scratch.length), 0);
    }
    scratch.length = length;
}

template <typename Scratch>
void EmptyScratch(Scratch& scratch) {
    std::fill(scratch.bytes.begin(),
              scratch.bytes.begin() +
                  static_cast<std::ptrdiff_t>(std::min(scratch.length, scratch.bytes.size())),
              0);
    scratch.length = 0;
}

}  // namespace

SqliteParseBase::SqliteParseBase() = default;

SqliteParseBase::~SqliteParseBase() = default;

void SqliteParseBase::readPageSize(const std::u16string& path) {
    std::ifstream file(pixhaven::platform::PathFromUtf16(path), std::ios::binary);
    if (!file) {
        return;
    }
    unsigned char bytes[2] = {0, 0};
    file.seekg(16);
    file.read(reinterpret_cast<char*>(bytes), 2);
    pageSize = file.gcount() == 2 ? PageSizeFromHeader(ReadBigEndian16(bytes)) : 0;
    forgetLoadedPage();
}

bool SqliteParseBase::openDbStream(const std::u16string& path) {
    if (dbStream.is_open()) {
        dbStream.close();
    }
    dbStream.clear();
    forgetLoadedPage();
    fileSize = 0;
    // Unbuffered: page windows are read straight into their own buffer (bench_cellsalvage).
    dbStream.rdbuf()->pubsetbuf(nullptr, 0);
    dbStream.open(pixhaven::platform::PathFromUtf16(path), std::ios::binary | std::ios::in);
    if (!dbStream.is_open()) {
        dbStream.clear();
        return false;
    }
    dbStream.seekg(0, std::ios::end);
    const std::streamoff end = dbStream.tellg();
    fileSize = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    dbStream.clear();
    dbStream.seekg(0);
    return true;
}

void SqliteParseBase::collectLeafPages(int rootPage) {
    if (pageSize <= 0 || fileSize == 0) {
        return;
    }
    const std::uint64_t pageCount = (fileSize + static_cast<std::uint64_t>(pageSize) - 1) /
                                    static_cast<std::uint64_t>(pageSize);
    std::vector<bool> visited(static_cast<std::size_t>(pageCount) + 1, false);
    collectLeafPagesFrom(rootPage, 0, visited);
}

void SqliteParseBase::collectLeafPagesFrom(std::int32_t page, int depth,
                                           std::vector<bool>& visited) {
    if (page <= 0 || static_cast<std::size_t>(page) >= visited.size() ||
        visited[static_cast<std::size_t>(page)] || depth > kMaxTreeDepth) {
        return;
    }
    visited[static_cast<std::size_t>(page)] = true;
    const unsigned char* bytes = loadPage(page);
    if (bytes == nullptr) {
        return;
    }
    if (bytes[0] == kLeafTablePage) {
        leafPages.push_back(page);
        return;
    }
    if (bytes[0] != kInteriorTablePage) {
        return;
    }
    // The children are taken out of the page first: walking them loads other pages.
    const auto size = static_cast<std::uint32_t>(pageSize);
    const std::uint32_t fitting = (size - kInteriorHeaderSize) / 2;
    const std::uint32_t cellCount = std::min(ReadBigEndian16(bytes + 3), fitting);
    std::vector<std::int32_t> children;
    children.reserve(cellCount + 1);
    children.push_back(static_cast<std::int32_t>(ReadBigEndian32(bytes + 8)));
    for (std::uint32_t i = 0; i < cellCount; ++i) {
        const std::uint32_t pointer = ReadBigEndian16(bytes + kInteriorHeaderSize + 2 * i);
        if (pointer + 4 <= size) {
            children.push_back(static_cast<std::int32_t>(ReadBigEndian32(bytes + pointer)));
        }
    }
    for (const std::int32_t child : children) {
        collectLeafPagesFrom(child, depth + 1, visited);
    }
}

void SqliteParseBase::sortLeafPages() {
    std::sort(leafPages.begin(), leafPages.end());
}

void SqliteParseBase::collectFreeblocks(std::vector<std::int32_t> pages) {
    if (pageSize <= 0) {
        return;
    }
    const auto size = static_cast<std::uint32_t>(pageSize);
    // Marks which offsets a chain already passed; the mark is the chain's number, so the table is
    // never cleared between pages.
    std::vector<std::uint32_t> seenInChain(size, 0);
    std::uint32_t chain = 0;
    for (const std::int32_t page : pages) {
        const unsigned char* bytes = loadPage(page);
        if (bytes == nullptr) {
            continue;
        }
        ++chain;
        std::vector<int> offsets;
        std::uint32_t offset = ReadBigEndian16(bytes + 1);
        while (offset != 0 && offset + 4 <= size && seenInChain[offset] != chain) {
            seenInChain[offset] = chain;
            offsets.push_back(static_cast<int>(offset));
            offset = ReadBigEndian16(bytes + offset);
        }
        if (!offsets.empty()) {
            freeblockMap.insert_or_assign(page, std::move(offsets));
        }
    }
}

void SqliteParseBase::loadTable(int rootPage) {
    collectLeafPages(rootPage);
    sortLeafPages();
    collectFreeblocks(leafPages);
}

void SqliteParseBase::clearPageLists() {
    leafPages.clear();
    freeblockMap.clear();
}

bool SqliteParseBase::readFreeblockContent(std::int32_t page, int offset, Scratch& scratch) {
    const unsigned char* bytes = loadPage(page);
    const auto size = static_cast<std::int64_t>(pageSize);
    if (bytes == nullptr || offset < 0 || offset + 4 > size) {
        EmptyScratch(scratch);
        return false;
    }
    const auto declared = static_cast<std::int64_t>(ReadBigEndian16(bytes + offset + 2)) - 4;
    const std::int64_t length = std::min(declared, size - offset - 4);
    if (length <= 0) {
        EmptyScratch(scratch);
        return false;
    }
    FillScratch(scratch, bytes + offset + 4, static_cast<std::size_t>(length),
                static_cast<std::size_t>(pageSize) + Scratch::kPadding);
    return true;
}

bool SqliteParseBase::readUnassignedArea(std::int32_t page, Scratch& scratch) {
    const unsigned char* bytes = loadPage(page);
    if (bytes == nullptr) {
        EmptyScratch(scratch);
        return false;
    }
    const auto size = static_cast<std::int64_t>(pageSize);
    const auto cellCount = static_cast<std::int64_t>(ReadBigEndian16(bytes + 3));
    const std::int64_t start = kLeafHeaderSize + 2 * cellCount;
    std::int64_t length = size - kLeafHeaderSize;
    if (cellCount != 0) {
        const std::uint32_t stored = ReadBigEndian16(bytes + 5);
        const std::int64_t contentStart = stored == 0 ? 65536 : stored;
        length = contentStart - 2 * cellCount - kLeafHeaderSize;
    }
    // A content start past the page end is damage; the area is cut at the page end.
    length = std::min(length, size - start);
    if (length <= 0) {
        EmptyScratch(scratch);
        return false;
    }
    FillScratch(scratch, bytes + start, static_cast<std::size_t>(length),
                static_cast<std::size_t>(pageSize) + Scratch::kPadding);
    return true;
}

SqliteParseBase::Scratch SqliteParseBase::makeScratch() const {
    Scratch scratch;
    scratch.bytes.assign(static_cast<std::size_t>(std::max(pageSize, 0)) + Scratch::kPadding, 0);
    return scratch;
}

int SqliteParseBase::getVarint32(const unsigned char* p, std::uint32_t& value) {
    if (p[0] < 0x80) {
        value = p[0];
        return 1;
    }
    if (p[1] < 0x80) {
        value = (static_cast<std::uint32_t>(p[0] & 0x7F) << 7) | p[1];
        return 2;
    }
    if (p[2] < 0x80) {
        value = (static_cast<std::uint32_t>(p[0] & 0x7F) << 14) |
                (static_cast<std::uint32_t>(p[1] & 0x7F) << 7) | p[2];
        return 3;
    }
    std::uint64_t full = 0;
    int used = 0;
    while (used < 8) {
        const unsigned char byte = p[used++];
        full = (full << 7) | (byte & 0x7FU);
        if (byte < 0x80) {
            break;
        }
    }
    if (used == 8 && p[7] >= 0x80) {
        full = (full << 8) | p[8];
        used = 9;
    }
    value = full > 0xFFFFFFFFULL ? 0xFFFFFFFFU : static_cast<std::uint32_t>(full);
    return used;
}

std::uint32_t SqliteParseBase::serialTypeLength(std::uint32_t serialType) {
    static constexpr std::uint32_t kFixed[12] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
    if (serialType < 12) {
        return kFixed[serialType];
    }
    return (serialType - 12 - (serialType & 1)) / 2;
}

SqliteParseBase::WalkResult SqliteParseBase::walkRecord(const Scratch& scratch, std::size_t start,
                                                        std::size_t limit, int columns,
                                                        std::vector<WantedColumn>& wanted,
                                                        const WalkRules& rules) {
    for (WantedColumn& column : wanted) {
        column.offset = 0;
        column.length = 0;
    }
    WalkResult result;
    std::size_t header = start;
    std::uint64_t extent = 0;
    std::uint64_t contentTotal = 0;
    for (int j = 0; j < columns; ++j) {
        // Varints are read whole from the padded buffer; a start past it is no record.
        if (extent >= limit || header + 9 > scratch.bytes.size()) {
            result.extent = static_cast<std::size_t>(extent);
            result.end = WalkEnd::Truncated;
            return result;
        }
        std::uint32_t type = 0;
        const int used = std::max(getVarint32(scratch.data() + header, type), 1);
        const bool zeroLength = j == rules.zeroLengthColumn ||
                                (rules.zeroLengthFiveToTwelve && type >= 5 && type <= 12);
        const std::uint32_t length = zeroLength ? 0 : serialTypeLength(type);
        header += static_cast<std::size_t>(used);
        extent += static_cast<std::uint64_t>(used) + length;
        contentTotal += length;
        for (WantedColumn& column : wanted) {
            if (column.index == j + 1) {
                column.offset = static_cast<std::uint32_t>(std::min<std::uint64_t>(
                    contentTotal, std::numeric_limits<std::uint32_t>::max()));
            }
            if (column.index == j) {
                column.length = length;
            }
        }
    }
    result.extent = static_cast<std::size_t>(extent);
    result.contentStart = header;
    result.end = extent > limit ? WalkEnd::Overrun : WalkEnd::Complete;
    return result;
}

SqliteParseBase::WalkResult SqliteParseBase::walkRecord(const Scratch& scratch, std::size_t start,
                                                        std::size_t limit, int columns,
                                                        std::vector<WantedColumn>& wanted) {
    return walkRecord(scratch, start, limit, columns, wanted, WalkRules{});
}

std::string SqliteParseBase::columnValue(const Scratch& scratch, const WalkResult& walk,
                                         const WantedColumn& column) {
    const std::uint64_t begin = static_cast<std::uint64_t>(walk.contentStart) + column.offset;
    const std::uint64_t end = begin + column.length;
    if (column.length == 0 || end > scratch.length) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(scratch.data()) + begin, column.length);
}

std::string SqliteParseBase::utf8ToAnsi(const std::string& utf8) {
    const std::string_view text(utf8.c_str());  // up to the first zero byte
    if (text.empty()) {
        return {};
    }
    const std::optional<std::u16string> wide = pixhaven::platform::Utf8ToUtf16Strict(text);
    return wide ? pixhaven::platform::Utf16ToAnsi(*wide) : std::string();
}

bool SqliteParseBase::readAt(std::uint64_t position, unsigned char* out, std::size_t length) {
    return readUpTo(position, out, length) == length;
}

std::size_t SqliteParseBase::readUpTo(std::uint64_t position, unsigned char* out,
                                      std::size_t length) {
    if (!dbStream.is_open() || position >= fileSize || length == 0) {
        return 0;
    }
    dbStream.clear();
    dbStream.seekg(static_cast<std::streamoff>(position));
    dbStream.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(length));
    const auto arrived = static_cast<std::size_t>(std::max<std::streamsize>(dbStream.gcount(), 0));
    dbStream.clear();
    return arrived;
}

const unsigned char* SqliteParseBase::loadPage(std::int32_t page) {
    if (page <= 0 || pageSize <= 0) {
        return nullptr;
    }
    const auto size = static_cast<std::size_t>(pageSize);
    if (page >= loadedPage && page < loadedPage + loadedPageCount) {
        return loadedPageBytes.data() + static_cast<std::size_t>(page - loadedPage) * size;
    }
    const std::uint64_t position = static_cast<std::uint64_t>(page - 1) * size;
    if (position >= fileSize) {
        return nullptr;
    }
    // The window starts at a multiple of its own length, so ascending and descending walks both
    // stay inside it.
    const auto windowPages =
        static_cast<std::int32_t>(std::max<std::size_t>(kWindowBytes / size, 1));
    const std::int32_t first = (page - 1) / windowPages * windowPages + 1;
    const std::uint64_t windowStart = static_cast<std::uint64_t>(first - 1) * size;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(
        static_cast<std::uint64_t>(windowPages) * size, fileSize - windowStart));
    const std::size_t pages = (wanted + size - 1) / size;
    loadedPageBytes.resize(pages * size);
    const std::size_t arrived = readUpTo(windowStart, loadedPageBytes.data(), wanted);
    std::fill(loadedPageBytes.begin() + static_cast<std::ptrdiff_t>(arrived), loadedPageBytes.end(),
              0);
    const std::size_t whole = (arrived + size - 1) / size;  // pages with at least one byte read
    if (position >= windowStart + arrived) {
        loadedPage = 0;
        loadedPageCount = 0;
        return nullptr;
    }
    loadedPage = first;
    loadedPageCount = static_cast<std::int32_t>(whole);
    return loadedPageBytes.data() + static_cast<std::size_t>(page - first) * size;
}

void SqliteParseBase::forgetLoadedPage() {
    loadedPage = 0;
}

#include "cellsalvage/sqliteparsebase.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/sqlitepages.h"
#include "platform/textcodec.h"

namespace pages = pixhaven::sqlitepages;

namespace {

constexpr std::size_t kLeafHeaderSize = 8;
// Bytes read at once around a wanted page (bench_cellsalvage).
constexpr std::size_t kWindowBytes = std::size_t{1} << 20;

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

struct SqliteParseBase::PageAccess {
    PageAccess(std::istream& stream, std::uint64_t size, std::uint32_t pageSize)
        : source(stream, size),
          reader(source, pageSize, kWindowBytes, pages::PageReader::LastPage::ZeroFilled) {}

    pages::StreamPages source;
    pages::PageReader reader;
};

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
    pageSize = file.gcount() == 2
                   ? static_cast<std::int32_t>(pages::PageSizeFromStored(pages::Load16(bytes)))
                   : 0;
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
    if (pageSize <= 0 || fileSize == 0 || rootPage <= 0 || !dbStream.is_open()) {
        return;
    }
    // Damage ends a branch, not the walk; the right-most child comes first, and page 1 is read like
    // any other page, as the carvers always have.
    pages::TreeWalkRules rules;
    rules.refuseDamage = false;
    rules.rightChildFirst = true;
    rules.fileHeaderOnPageOne = false;
    const std::optional<std::vector<std::uint32_t>> leaves =
        pages::TableLeaves(access().reader, static_cast<std::uint32_t>(rootPage),
                           static_cast<std::uint32_t>(pageSize), rules);
    for (const std::uint32_t leaf : leaves.value_or(std::vector<std::uint32_t>{})) {
        leafPages.push_back(static_cast<std::int32_t>(leaf));
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
    pages::FreeblockWalker walker(pages::FreeblockRules::RepeatsOnly);
    std::vector<pages::Freeblock> chain;
    for (const std::int32_t page : pages) {
        const unsigned char* bytes = loadPage(page);
        if (bytes == nullptr) {
            continue;
        }
        walker.Collect(pages::BtreePage(bytes, 0, size), chain);
        if (!chain.empty()) {
            std::vector<int> offsets;
            offsets.reserve(chain.size());
            for (const pages::Freeblock& block : chain) {
                offsets.push_back(static_cast<int>(block.offset));
            }
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
    const auto declared = static_cast<std::int64_t>(pages::Load16(bytes + offset + 2)) - 4;
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
    const auto size = static_cast<std::uint32_t>(pageSize);
    const pages::BtreePage leaf(bytes, 0, size);
    const std::uint32_t cellCount = leaf.StoredCellCount();
    // A leaf without cells is free after its header, whatever its content start says.
    const pages::Region area =
        cellCount == 0 ? pages::Region{kLeafHeaderSize, size - kLeafHeaderSize}
                       : pages::UnallocatedGap(kLeafHeaderSize + 2 * std::size_t{cellCount},
                                               leaf.ContentStart(), size);
    if (area.length == 0) {
        EmptyScratch(scratch);
        return false;
    }
    FillScratch(scratch, bytes + area.offset, area.length,
                static_cast<std::size_t>(pageSize) + Scratch::kPadding);
    return true;
}

SqliteParseBase::Scratch SqliteParseBase::makeScratch() const {
    Scratch scratch;
    scratch.bytes.assign(static_cast<std::size_t>(std::max(pageSize, 0)) + Scratch::kPadding, 0);
    return scratch;
}

int SqliteParseBase::getVarint32(const unsigned char* p, std::uint32_t& value) {
    std::uint64_t full = 0;
    const int used = pages::DecodeVarint(p, full);
    value = full > 0xFFFFFFFFULL ? 0xFFFFFFFFU : static_cast<std::uint32_t>(full);
    return used;
}

std::uint32_t SqliteParseBase::serialTypeLength(std::uint32_t serialType) {
    return static_cast<std::uint32_t>(pages::SerialTypeLength(serialType));
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

const unsigned char* SqliteParseBase::loadPage(std::int32_t page) {
    if (page <= 0 || pageSize <= 0 || !dbStream.is_open()) {
        return nullptr;
    }
    return access().reader.Page(static_cast<std::uint64_t>(page));
}

SqliteParseBase::PageAccess& SqliteParseBase::access() {
    const auto size = static_cast<std::uint32_t>(pageSize);
    if (!pageAccess || pageAccess->reader.PageSize() != size) {
        pageAccess = std::make_unique<PageAccess>(dbStream, fileSize, size);
    }
    return *pageAccess;
}

void SqliteParseBase::forgetLoadedPage() {
    pageAccess.reset();
}

// The raw-reading primitives every carver shares: varints, serial types, text conversion, the
// leaf walk, freeblock chains, unassigned areas and the record walk, on databases SQLite built and
// on hand-made hostile pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cellsalvage/sqliteparsebase.h"
#include "platform/textcodec.h"
#include "tests/support/tempdir.h"
#include "tools/dbfixtures/dbfixtures.h"

namespace {

using pixhaven::dbfixtures::CreateFromSchema;
using pixhaven::dbfixtures::Database;
using pixhaven::test::TempDir;

class Probe : public SqliteParseBase {
public:
    void startParse(ePaserType, eOSType) override {}

    using SqliteParseBase::Scratch;
    using SqliteParseBase::WalkEnd;
    using SqliteParseBase::WalkResult;
    using SqliteParseBase::WalkRules;
    using SqliteParseBase::WantedColumn;

    using SqliteParseBase::clearPageLists;
    using SqliteParseBase::collectFreeblocks;
    using SqliteParseBase::collectLeafPages;
    using SqliteParseBase::columnValue;
    using SqliteParseBase::getVarint32;
    using SqliteParseBase::makeScratch;
    using SqliteParseBase::openDbStream;
    using SqliteParseBase::readFreeblockContent;
    using SqliteParseBase::readPageSize;
    using SqliteParseBase::readUnassignedArea;
    using SqliteParseBase::serialTypeLength;
    using SqliteParseBase::sortLeafPages;
    using SqliteParseBase::utf8ToAnsi;
    using SqliteParseBase::walkRecord;

    using SqliteParseBase::freeblockMap;
    using SqliteParseBase::leafPages;
    using SqliteParseBase::pageSize;

    // The steps a carver takes before carving one table.
    void open(const std::filesystem::path& file, int rootPage) {
        const std::u16string path = pixhaven::platform::PathToUtf16(file);
        readPageSize(path);
        openDbStream(path);
        collectLeafPages(rootPage);
        sortLeafPages();
        collectFreeblocks(leafPages);
    }

    std::string area(std::int32_t page) {
        Scratch scratch = makeScratch();
        if (!readUnassignedArea(page, scratch)) {
            return "<none>";
        }
        return std::string(reinterpret_cast<const char*>(scratch.data()), scratch.length);
    }
};

// A file of `pages` pages of `size` bytes, page size stored at offset 16.
class PageFile {
public:
    PageFile(std::uint32_t size, int pages, std::uint32_t stored)
        : size_(size),
          bytes_(static_cast<std::size_t>(size) * static_cast<std::size_t>(pages), '\0') {
        put16(16, stored);
    }
    PageFile(std::uint32_t size, int pages) : PageFile(size, pages, size) {}

    void put8(std::size_t at, std::uint32_t value) {
        bytes_.at(at) = static_cast<char>(value & 0xFF);
    }
    void put16(std::size_t at, std::uint32_t value) {
        put8(at, value >> 8);
        put8(at + 1, value);
    }
    void put32(std::size_t at, std::uint32_t value) {
        put16(at, value >> 16);
        put16(at + 2, value);
    }
    std::size_t page(int n) const { return static_cast<std::size_t>(n - 1) * size_; }
    void leaf(int n, std::uint32_t firstFreeblock, std::uint32_t cells,
              std::uint32_t contentStart) {
        put8(page(n), 13);
        put16(page(n) + 1, firstFreeblock);
        put16(page(n) + 3, cells);
        put16(page(n) + 5, contentStart);
    }
    void interior(int n, std::uint32_t rightChild, const std::vector<std::uint32_t>& children) {
        put8(page(n), 5);
        put16(page(n) + 3, static_cast<std::uint32_t>(children.size()));
        put32(page(n) + 8, rightChild);
        std::uint32_t cell = size_ - 8;
        for (std::size_t i = 0; i < children.size(); ++i, cell -= 8) {
            put16(page(n) + 12 + 2 * i, cell);
            put32(page(n) + cell, children[i]);
        }
    }
    std::filesystem::path write(const TempDir& dir, const std::string& name) const {
        pixhaven::test::WriteFile(dir / name, bytes_);
        return dir / name;
    }
    std::string& bytes() { return bytes_; }

private:
    std::uint32_t size_;
    std::string bytes_;
};

Probe::Scratch ScratchOf(const std::vector<unsigned char>& bytes) {
    Probe::Scratch scratch;
    scratch.bytes = bytes;
    scratch.length = bytes.size();
    scratch.bytes.resize(bytes.size() + Probe::Scratch::kPadding, 0);
    return scratch;
}

std::pair<std::uint32_t, int> Varint(std::vector<unsigned char> bytes) {
    bytes.resize(16, 0);
    std::uint32_t value = 0;
    const int used = Probe::getVarint32(bytes.data(), value);
    return {value, used};
}

TEST(CellsalvagePrimitives, VarintForms) {
    using Result = std::pair<std::uint32_t, int>;
    EXPECT_EQ(Varint({0x05}), Result(5, 1));
    EXPECT_EQ(Varint({0x7F, 0x85}), Result(127, 1));
    EXPECT_EQ(Varint({0x81, 0x00}), Result(128, 2));
    EXPECT_EQ(Varint({0xFF, 0x7F}), Result(16383, 2));
    EXPECT_EQ(Varint({0x81, 0x80, 0x01}), Result(16385, 3));
    EXPECT_EQ(Varint({0x81, 0x80, 0x80, 0x01}), Result(2097153, 4));
    EXPECT_EQ(Varint({0x8F, 0xFF, 0xFF, 0xFF, 0x7F}), Result(0xFFFFFFFFU, 5));
    // One more bit than 32: saturates.
    EXPECT_EQ(Varint({0x90, 0x80, 0x80, 0x80, 0x00}), Result(0xFFFFFFFFU, 5));
    // The ninth byte contributes all eight bits.
    EXPECT_EQ(Varint({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0xFF}), Result(0xFF, 9));
    EXPECT_EQ(Varint({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x81, 0x00}), Result(0x100, 9));
    EXPECT_EQ(Varint({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
              Result(0xFFFFFFFFU, 9));
}

TEST(CellsalvagePrimitives, SerialTypeLengths) {
    const std::vector<std::uint32_t> expected = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0, 0, 0, 1, 1};
    for (std::uint32_t type = 0; type < expected.size(); ++type) {
        EXPECT_EQ(Probe::serialTypeLength(type), expected[type]) << type;
    }
    EXPECT_EQ(Probe::serialTypeLength(85), 36U);
    EXPECT_EQ(Probe::serialTypeLength(112), 50U);
    EXPECT_EQ(Probe::serialTypeLength(0xFFFFFFFFU), 0x7FFFFFF9U);
}

TEST(CellsalvagePrimitives, Utf8ToAnsiIsStrictAndStopsAtZero) {
    std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(Probe::utf8ToAnsi("Zoë Ångström"), "Zoë Ångström");
    EXPECT_EQ(Probe::utf8ToAnsi(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(Probe::utf8ToAnsi(std::string("\x00\x80", 2)), "");
    EXPECT_EQ(Probe::utf8ToAnsi("\x01\xF4"), "");      // an integer's bytes
    EXPECT_EQ(Probe::utf8ToAnsi("\xC0\xAF"), "");      // overlong
    EXPECT_EQ(Probe::utf8ToAnsi("\xED\xA0\x80"), "");  // surrogate
    EXPECT_EQ(Probe::utf8ToAnsi(""), "");
    std::setlocale(LC_ALL, "C");
}

TEST(CellsalvagePrimitives, RecordWalkOutcomes) {
    // Types NULL, 1-byte integer, 5-byte text; then their contents.
    const Probe::Scratch scratch = ScratchOf({0x00, 0x01, 0x17, 0x2A, 'h', 'e', 'l', 'l', 'o'});
    std::vector<Probe::WantedColumn> wanted = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {-1, 0, 0}};

    Probe::WalkResult walk = Probe::walkRecord(scratch, 0, scratch.length, 3, wanted);
    EXPECT_EQ(walk.end, Probe::WalkEnd::Complete);
    EXPECT_EQ(walk.extent, 9U);
    EXPECT_EQ(walk.contentStart, 3U);
    EXPECT_EQ(Probe::columnValue(scratch, walk, wanted[0]), "");
    EXPECT_EQ(Probe::columnValue(scratch, walk, wanted[1]), "*");
    EXPECT_EQ(Probe::columnValue(scratch, walk, wanted[2]), "hello");
    EXPECT_EQ(Probe::columnValue(scratch, walk, wanted[3]), "");

    EXPECT_EQ(Probe::walkRecord(scratch, 0, 8, 3, wanted).end, Probe::WalkEnd::Overrun);
    EXPECT_EQ(Probe::walkRecord(scratch, 0, 2, 3, wanted).end, Probe::WalkEnd::Truncated);

    // Walking from column 1 shifts the numbering down by one.
    std::vector<Probe::WantedColumn> shifted = {{1, 0, 0}};
    walk = Probe::walkRecord(scratch, 1, scratch.length - 1, 2, shifted);
    EXPECT_EQ(walk.end, Probe::WalkEnd::Complete);
    EXPECT_EQ(walk.extent, 8U);
    EXPECT_EQ(Probe::columnValue(scratch, walk, shifted[0]), "hello");

    Probe::WalkRules rules;
    rules.zeroLengthColumn = 1;
    walk = Probe::walkRecord(scratch, 0, scratch.length, 3, wanted, rules);
    EXPECT_EQ(walk.extent, 8U);
    EXPECT_EQ(Probe::columnValue(scratch, walk, wanted[2]), "*hell");

    // A text longer than the area: its value is empty, not bytes past the area.
    const Probe::Scratch cut = ScratchOf({0x00, 0x21, 'a', 'b'});
    std::vector<Probe::WantedColumn> text = {{1, 0, 0}};
    walk = Probe::walkRecord(cut, 0, 1000, 2, text);
    EXPECT_EQ(walk.end, Probe::WalkEnd::Complete);
    EXPECT_EQ(Probe::columnValue(cut, walk, text[0]), "");
}

TEST(CellsalvagePrimitives, FreeblockRuleCountsFiveToTwelveAsEmpty) {
    const Probe::Scratch scratch = ScratchOf({0x06, 0x07, 0x0C, 0x0F, 1, 2, 3, 4, 5, 6, 7, 8, 'x'});
    std::vector<Probe::WantedColumn> wanted = {{3, 0, 0}};
    Probe::WalkRules rules;
    rules.zeroLengthFiveToTwelve = true;
    Probe::WalkResult walk = Probe::walkRecord(scratch, 0, scratch.length, 4, wanted, rules);
    EXPECT_EQ(walk.extent, 5U);
    EXPECT_EQ(Probe::columnValue(scratch, walk, wanted[0]), std::string(1, '\x01'));
    // Without the rule the two 8-byte values pass the area before the last column.
    walk = Probe::walkRecord(scratch, 0, scratch.length, 4, wanted);
    EXPECT_EQ(walk.end, Probe::WalkEnd::Truncated);
}

class CellsalvageRealDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        file = dir / "call_history.db";
        Database db = CreateFromSchema(file, "call-history.sql", 1024);
        db.Exec("BEGIN");
        for (int i = 0; i < 400; ++i) {
            const std::string address = (i % 3 == 1 ? "deleted-" : "kept-") + std::to_string(i);
            db.Run(
                "INSERT INTO call (address, date, duration, flags, name) VALUES (?1,?2,?3,?4,?5)",
                {address, std::int64_t{1350000000 + i}, std::int64_t{i}, std::int64_t{4},
                 std::string(30, 'n')});
        }
        db.Exec("COMMIT");
        rootPage = std::stoi(db.QueryText("SELECT rootpage FROM sqlite_master WHERE name='call'"));
        leaves = Pages(db, "leaf");
        interiors = Pages(db, "internal");
        db.Exec("DELETE FROM call WHERE address LIKE 'deleted-%'");
    }

    static std::vector<std::int32_t> Pages(Database& db, const std::string& type) {
        std::vector<std::int32_t> pages;
        sqlite3_stmt* statement = nullptr;
        const std::string sql =
            "SELECT pageno FROM dbstat WHERE name='call' AND pagetype='" + type + "'";
        if (sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            return pages;
        }
        while (sqlite3_step(statement) == SQLITE_ROW) {
            pages.push_back(sqlite3_column_int(statement, 0));
        }
        sqlite3_finalize(statement);
        std::sort(pages.begin(), pages.end());
        return pages;
    }

    TempDir dir;
    std::filesystem::path file;
    int rootPage = 0;
    std::vector<std::int32_t> leaves;
    std::vector<std::int32_t> interiors;
};

TEST_F(CellsalvageRealDatabase, LeafPagesAreWhatSqliteHas) {
    Probe probe;
    probe.open(file, rootPage);
    EXPECT_EQ(probe.pageSize, 1024);
    ASSERT_GT(probe.leafPages.size(), 10U);
    EXPECT_TRUE(std::is_sorted(probe.leafPages.begin(), probe.leafPages.end()));
    if (!leaves.empty()) {
        EXPECT_FALSE(interiors.empty());
        EXPECT_EQ(probe.leafPages, leaves);
    }
    // Another table of the same file after clearing.
    probe.clearPageLists();
    EXPECT_TRUE(probe.leafPages.empty());
    EXPECT_TRUE(probe.freeblockMap.empty());
}

TEST_F(CellsalvageRealDatabase, DeletedRowsLieInFreeblocks) {
    Probe probe;
    probe.open(file, rootPage);
    ASSERT_FALSE(probe.freeblockMap.empty());
    std::string freed;
    Probe::Scratch scratch = probe.makeScratch();
    for (const auto& [page, offsets] : probe.freeblockMap) {
        EXPECT_TRUE(std::binary_search(probe.leafPages.begin(), probe.leafPages.end(), page));
        EXPECT_TRUE(std::is_sorted(offsets.begin(), offsets.end()));  // SQLite keeps them ordered
        for (const int offset : offsets) {
            ASSERT_TRUE(probe.readFreeblockContent(page, offset, scratch));
            ASSERT_LE(scratch.length, 1024U);
            for (std::size_t i = scratch.length; i < scratch.bytes.size(); ++i) {
                ASSERT_EQ(scratch.bytes[i], 0) << "stale byte past the area";
            }
            freed.append(reinterpret_cast<const char*>(scratch.data()), scratch.length);
        }
    }
    // Cells freed at the content start join the unassigned area instead; most become freeblocks.
    std::size_t found = 0;
    for (std::size_t at = freed.find("deleted-"); at != std::string::npos;
         at = freed.find("deleted-", at + 1)) {
        ++found;
    }
    EXPECT_GT(found, 100U);
    EXPECT_EQ(freed.find("kept-"), std::string::npos);
}

TEST(CellsalvagePrimitives, UnassignedAreaBounds) {
    TempDir dir;
    PageFile file(512, 4);
    file.leaf(2, 0, 0, 0);  // no cells: everything after the header
    file.put8(file.page(2) + 8, 'A');
    file.put8(file.page(2) + 511, 'Z');
    file.leaf(3, 0, 2, 400);  // two cells: from 12 to 400
    file.put8(file.page(3) + 12, 'B');
    file.put8(file.page(3) + 399, 'Y');
    file.leaf(4, 0, 300, 100);  // content start inside the pointer array: none
    Probe probe;
    probe.open(file.write(dir, "areas.db"), 0);
    const std::string empty = probe.area(2);
    ASSERT_EQ(empty.size(), 504U);
    EXPECT_EQ(empty.front(), 'A');
    EXPECT_EQ(empty.back(), 'Z');
    const std::string two = probe.area(3);
    ASSERT_EQ(two.size(), 388U);
    EXPECT_EQ(two.front(), 'B');
    EXPECT_EQ(two.back(), 'Y');
    EXPECT_EQ(probe.area(4), "<none>");
    EXPECT_EQ(probe.area(5), "<none>");  // past the file
    EXPECT_EQ(probe.area(0), "<none>");
}

TEST(CellsalvagePrimitives, HostileFreeblockChains) {
    TempDir dir;
    PageFile file(512, 5);
    file.leaf(2, 100, 0, 0);  // 100 → 200 → 100: a cycle
    file.put16(file.page(2) + 100, 200);
    file.put16(file.page(2) + 102, 20);
    file.put16(file.page(2) + 200, 100);
    file.put16(file.page(2) + 202, 0xFFFF);  // size past the page
    file.leaf(3, 509, 0, 0);                 // header would pass the page end
    file.leaf(4, 300, 0, 0);                 // points outside the page
    file.put16(file.page(4) + 300, 60000);
    file.put16(file.page(4) + 302, 4);  // no content bytes
    file.leaf(5, 0, 0, 0);
    Probe probe;
    const std::filesystem::path path = file.write(dir, "chains.db");
    probe.open(path, 0);
    probe.collectFreeblocks({2, 3, 4, 5, 0, -7, 99});
    ASSERT_EQ(probe.freeblockMap.size(), 2U);
    EXPECT_EQ(probe.freeblockMap.at(2), (std::vector<int>{100, 200}));
    EXPECT_EQ(probe.freeblockMap.at(4), (std::vector<int>{300}));

    Probe::Scratch scratch = probe.makeScratch();
    ASSERT_TRUE(probe.readFreeblockContent(2, 200, scratch));
    EXPECT_EQ(scratch.length, 512U - 204U);  // cut at the page end
    ASSERT_TRUE(probe.readFreeblockContent(2, 100, scratch));
    EXPECT_EQ(scratch.length, 16U);
    EXPECT_EQ(scratch.bytes[16], 0);  // the longer read before left nothing behind
    EXPECT_FALSE(probe.readFreeblockContent(4, 300, scratch));
    EXPECT_EQ(scratch.length, 0U);
    EXPECT_FALSE(probe.readFreeblockContent(2, 510, scratch));
    EXPECT_FALSE(probe.readFreeblockContent(9, 100, scratch));
}

TEST(CellsalvagePrimitives, HostileChildPointers) {
    TempDir dir;
    PageFile file(512, 8);
    file.interior(2, 3, {0, 2, 7, 4, 1000});  // page 0, itself, a leaf, a loop, past the file
    file.interior(3, 2, {5, 3});              // back to the root
    file.leaf(4, 0, 0, 0);
    file.leaf(5, 0, 0, 0);
    file.put8(file.page(6), 10);           // an index leaf: ignored
    file.interior(7, 6, {4});              // a leaf seen twice
    file.put16(file.page(7) + 3, 0xFFFF);  // more cells than fit the page
    Probe probe;
    probe.open(file.write(dir, "cycle.db"), 2);
    EXPECT_EQ(probe.leafPages, (std::vector<std::int32_t>{4, 5}));
}

TEST(CellsalvagePrimitives, DeepInteriorChainEnds) {
    TempDir dir;
    constexpr int kPages = 3000;
    PageFile file(512, kPages);
    for (int n = 2; n < kPages; ++n) {
        file.interior(n, static_cast<std::uint32_t>(n + 1), {});
    }
    file.leaf(kPages, 0, 0, 0);
    file.leaf(2, 0, 0, 0);
    file.interior(3, 4, {});
    Probe probe;
    probe.open(file.write(dir, "deep.db"), 3);
    EXPECT_TRUE(probe.leafPages.empty());  // deeper than any real tree
}

TEST(CellsalvagePrimitives, PageSizeValues) {
    TempDir dir;
    const auto sizeOf = [&](std::uint32_t stored, std::size_t bytes) {
        PageFile file(512, 1, stored);
        file.bytes().resize(bytes);
        Probe probe;
        probe.pageSize = 77;
        probe.readPageSize(pixhaven::platform::PathToUtf16(file.write(dir, "size.db")));
        return probe.pageSize;
    };
    EXPECT_EQ(sizeOf(512, 512), 512);
    EXPECT_EQ(sizeOf(4096, 512), 4096);
    EXPECT_EQ(sizeOf(32768, 512), 32768);
    EXPECT_EQ(sizeOf(1, 512), 65536);
    EXPECT_EQ(sizeOf(0, 512), 0);
    EXPECT_EQ(sizeOf(256, 512), 0);
    EXPECT_EQ(sizeOf(300, 512), 0);
    EXPECT_EQ(sizeOf(0xFFFF, 512), 0);
    EXPECT_EQ(sizeOf(4096, 17), 0);  // shorter than its header

    Probe missing;
    missing.pageSize = 77;
    missing.readPageSize(pixhaven::platform::PathToUtf16(dir / "absent.db"));
    EXPECT_EQ(missing.pageSize, 77);
}

// Pages are read in windows of neighbours: pages on both sides of a window's edge, and a last page
// cut short, read as themselves.
TEST(CellsalvagePrimitives, PagesAcrossReadWindows) {
    TempDir dir;
    constexpr int kPages = 4200;
    PageFile file(512, kPages);
    std::vector<std::uint32_t> leaves;
    for (int n = 2040; n <= kPages; n += 3) {
        file.leaf(n, 100, 0, 0);
        file.put16(file.page(n) + 102, 12);
        file.put32(file.page(n) + 104, static_cast<std::uint32_t>(n));
        leaves.push_back(static_cast<std::uint32_t>(n));
    }
    // Root page 2 over interior pages 3, 4, … of 40 leaves each (as many as fit a 512-byte page).
    std::vector<std::uint32_t> middles;
    for (std::size_t i = 0; i < leaves.size(); i += 40) {
        const auto middle = static_cast<int>(3 + middles.size());
        const std::size_t end = std::min(i + 40, leaves.size());
        file.interior(
            middle, leaves[end - 1],
            std::vector<std::uint32_t>(leaves.begin() + static_cast<std::ptrdiff_t>(i),
                                       leaves.begin() + static_cast<std::ptrdiff_t>(end) - 1));
        middles.push_back(static_cast<std::uint32_t>(middle));
    }
    file.interior(2, middles.back(),
                  std::vector<std::uint32_t>(middles.begin(), middles.end() - 1));
    file.bytes().resize(file.bytes().size() - 300);  // the last page loses its end
    Probe probe;
    probe.open(file.write(dir, "windows.db"), 2);
    ASSERT_EQ(probe.leafPages.size(), leaves.size());
    ASSERT_EQ(probe.freeblockMap.size(), leaves.size());
    Probe::Scratch scratch = probe.makeScratch();
    for (const std::int32_t page : probe.leafPages) {
        ASSERT_TRUE(probe.readFreeblockContent(page, 100, scratch)) << page;
        ASSERT_EQ(scratch.length, 8U);
        const std::uint32_t stored = static_cast<std::uint32_t>(scratch.bytes[0]) << 24 |
                                     static_cast<std::uint32_t>(scratch.bytes[1]) << 16 |
                                     static_cast<std::uint32_t>(scratch.bytes[2]) << 8 |
                                     scratch.bytes[3];
        EXPECT_EQ(stored, static_cast<std::uint32_t>(page));
        EXPECT_EQ(probe.area(page).size(), 504U);
    }
}

TEST(CellsalvagePrimitives, FilesThatAreNotDatabases) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "This is a plain text file, line " + std::to_string(i) + ".\n";
    }
    pixhaven::test::WriteFile(dir / "notes.txt", text);
    Probe probe;
    probe.open(dir / "notes.txt", 1);
    probe.collectLeafPages(3);
    EXPECT_TRUE(probe.leafPages.empty());

    // A real page size, but the file ends inside page 2: what arrived is read, the rest is zero.
    PageFile file(1024, 2);
    file.leaf(2, 0, 0, 0);
    file.put8(file.page(2) + 8, 'Q');
    file.bytes().resize(1024 + 20);
    Probe shortProbe;
    shortProbe.open(file.write(dir, "short.db"), 2);
    EXPECT_EQ(shortProbe.leafPages, (std::vector<std::int32_t>{2}));
    const std::string area = shortProbe.area(2);
    ASSERT_EQ(area.size(), 1016U);
    EXPECT_EQ(area[0], 'Q');
    EXPECT_EQ(area.find_first_not_of('\0', 1), std::string::npos);
}

}  // namespace

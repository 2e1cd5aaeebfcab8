// Files the rowid table reader has to refuse (write-ahead logs, UTF-16, bad roots and headers,
// tables without rowids) or survive when damaged, without handing out rows SQLite would not.
#include "backup/rowidtable.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/backup/rowidtable_test.h"
#include "tests/support/tempdir.h"

namespace pixhaven::backup {
namespace {

using namespace rowid_test;

std::string Key(const Row& row) {
    std::string key;
    for (const Value& value : row) {
        key += std::to_string(static_cast<int>(value.type)) + ':' + std::to_string(value.integer) +
               ':' + std::to_string(value.realBits) + ':' + std::to_string(value.bytes.size()) +
               ':' + value.bytes + ';';
    }
    return key;
}

TEST_F(RowidTableRead, RefusesFilesItDoesNotHandle) {
    const auto make = [&](const std::filesystem::path& path, const std::string& setup) {
        Database db(path, 1024);
        db.Exec(setup);
        db.Exec("CREATE TABLE t(a, b)");
        std::vector<Row> rows = MixedRows(50);
        for (Row& row : rows) {
            row.resize(2);
        }
        db.Insert("t", rows);
    };
    const std::filesystem::path wal = dir / "wal.db";
    make(wal, "PRAGMA journal_mode = WAL");
    ASSERT_EQ(test::ReadFile(wal)[18], 2);
    EXPECT_FALSE(ReadFile(wal, RootPage(wal, "t"), 2).opened);

    const std::filesystem::path utf16 = dir / "utf16.db";
    make(utf16, "PRAGMA encoding = 'UTF-16le'");
    EXPECT_FALSE(ReadFile(utf16, RootPage(utf16, "t"), 2).opened);

    const std::filesystem::path plain = dir / "plain.db";
    make(plain, "PRAGMA user_version = 1");
    ASSERT_TRUE(ReadFile(plain, RootPage(plain, "t"), 2).complete);
    const std::string bytes = test::ReadFile(plain);
    const auto pages = static_cast<std::uint32_t>(bytes.size() / 1024);
    for (const std::uint32_t root : {0u, pages + 1, 0xFFFFFFFFu}) {
        EXPECT_FALSE(ReadFile(plain, root, 2).opened) << root;
    }
    // Header fields changed one at a time on an otherwise readable copy.
    const auto patched = [&](std::size_t offset, unsigned char value) {
        std::string copy = bytes;
        copy[offset] = static_cast<char>(value);
        return ReadPages(*MemoryPages(copy), RootPage(plain, "t"), 2).opened;
    };
    EXPECT_FALSE(patched(0, 'X'));    // magic
    EXPECT_FALSE(patched(16, 0x05));  // page size 1280
    EXPECT_FALSE(patched(17, 0x01));  // page size 1025
    EXPECT_FALSE(patched(19, 2));     // read version of a write-ahead log
    EXPECT_FALSE(patched(59, 3));     // UTF-16be
    EXPECT_FALSE(ReadPages(*MemoryPages(std::string_view(bytes).substr(0, 99)), 1, 1).opened);
    EXPECT_FALSE(ReadPages(*MemoryPages(""), 1, 1).opened);
}

TEST_F(RowidTableRead, WithoutRowidTablesAndIndexesGiveNoRows) {
    {
        Database db(file, 512);
        db.Exec("CREATE TABLE small(k TEXT PRIMARY KEY, v) WITHOUT ROWID");
        db.Exec("CREATE TABLE big(k TEXT PRIMARY KEY, v) WITHOUT ROWID");
        db.Exec("CREATE TABLE t(a, b)");
        db.Exec("CREATE INDEX tb ON t(b)");
        db.Insert("small", {{Text("k"), Int(1)}});
        std::vector<Row> rows;
        for (int i = 0; i < 800; ++i) {
            rows.push_back({Text(Letters(20, static_cast<unsigned>(i)) + std::to_string(i)),
                            Blob(Bytes(40, 1))});
        }
        db.Insert("big", rows);
        db.Insert("t", rows);
    }
    for (const char* name : {"small", "big", "tb"}) {
        const PageRead read = ReadFile(file, RootPage(file, name), 2);
        EXPECT_FALSE(read.opened && read.complete) << name;
        EXPECT_TRUE(read.rows.empty()) << name;
    }
}

// Damaged copies: giving up is always allowed; rows reported as read must be SQLite's.
class RowidTableDamaged : public RowidTableRead {
protected:
    void SetUp() override {
        std::vector<Row> rows = MixedRows(400);
        rows.push_back({Blob(Bytes(3000, 9)), Int(1), Int(2), Int(3), Text("after overflow")});
        {
            Database db(file, 512);
            db.Exec("CREATE TABLE t(a, b, c, d, e)");
            db.Insert("t", rows);
        }
        original = test::ReadFile(file);
        root = RootPage(file, "t");
    }

    void Check(const std::string& bytes, const std::string& what) {
        SCOPED_TRACE(what);
        const PageRead read = ReadPages(*MemoryPages(bytes), root, 5);
        if (!read.complete) {
            ++refused;
            return;
        }
        ++accepted;
        const std::filesystem::path copy = dir / "copy.db";
        test::WriteFile(copy, bytes);
        const SqliteRead expected = ReadWithSqlite(copy, "SELECT a, b, c, d, e FROM t");
        if (expected.complete) {
            EXPECT_EQ(read.rows, expected.rows);
            return;
        }
        // SQLite gave up part way (or could not read the schema): the reader's rows must still
        // be ones SQLite returned or the table's own.
        ++sqliteRefused;
        std::set<std::string> known;
        for (const std::vector<Row>* rows : {&expected.rows, &originalRows()}) {
            for (const Row& row : *rows) {
                known.insert(Key(row));
            }
        }
        for (const Row& row : read.rows) {
            EXPECT_TRUE(known.count(Key(row)) != 0) << testing::PrintToString(row);
        }
    }

    const std::vector<Row>& originalRows() {
        if (originalRows_.empty()) {
            originalRows_ = ReadWithSqlite(file, "SELECT a, b, c, d, e FROM t").rows;
        }
        return originalRows_;
    }

    std::string original;
    std::uint32_t root = 0;
    int accepted = 0;
    int refused = 0;
    int sqliteRefused = 0;
    std::vector<Row> originalRows_;
};

TEST_F(RowidTableDamaged, TruncatedAtManyPoints) {
    ASSERT_EQ(original.size() % 512, 0u);
    for (std::size_t cut : {std::size_t{0}, std::size_t{50}, std::size_t{99}, std::size_t{100},
                            std::size_t{511}, std::size_t{512}, std::size_t{1024}}) {
        Check(original.substr(0, cut), "cut " + std::to_string(cut));
    }
    for (std::size_t cut = 2048; cut < original.size(); cut += 512 * 7 + 13) {
        Check(original.substr(0, cut), "cut " + std::to_string(cut));
        Check(original.substr(0, cut - cut % 512), "cut " + std::to_string(cut - cut % 512));
    }
    Check(original.substr(0, original.size() - 1), "last byte");
    EXPECT_GT(refused, 0);
}

TEST_F(RowidTableDamaged, FlippedBytes) {
    std::mt19937 random(20240611);
    for (int seed = 0; seed < 400; ++seed) {
        std::string copy = original;
        const int flips = 1 + seed % 4;
        std::string what = "seed " + std::to_string(seed) + ":";
        for (int i = 0; i < flips; ++i) {
            // Most flips land past the file header; a few in it.
            const std::size_t span = seed % 10 == 0 ? 100 : copy.size();
            const std::size_t at = random() % span;
            const auto mask = static_cast<unsigned char>(1 + random() % 255);
            copy[at] = static_cast<char>(copy[at] ^ mask);
            what += " " + std::to_string(at) + "^" + std::to_string(mask);
        }
        Check(copy, what);
    }
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
    RecordProperty("sqlite_refused_reader_accepted", sqliteRefused);
    RecordProperty("accepted", accepted);
    RecordProperty("refused", refused);
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.at(at + static_cast<std::size_t>(i)) = static_cast<char>(value >> (24 - 8 * i));
    }
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
    }
    return value;
}

std::size_t Get16(const std::string& bytes, std::size_t at) {
    return static_cast<std::size_t>(static_cast<unsigned char>(bytes.at(at))) << 8 |
           static_cast<unsigned char>(bytes.at(at + 1));
}

TEST_F(RowidTableDamaged, LoopsAndBadPointersInInteriorPagesAreRefusedQuickly) {
    const std::size_t rootAt = std::size_t{root - 1} * 512;
    ASSERT_EQ(original[rootAt], 0x05) << "the table should be more than one page";
    const std::uint32_t child = Get32(original, rootAt + Get16(original, rootAt + 12));
    const std::size_t childAt = std::size_t{child - 1} * 512;
    ASSERT_EQ(original[childAt], 0x05) << "the table should be at least three levels deep";
    const auto pages = static_cast<std::uint32_t>(original.size() / 512);

    const auto refusedQuickly = [&](const std::string& bytes) {
        const auto start = std::chrono::steady_clock::now();
        const PageRead read = ReadPages(*MemoryPages(bytes), root, 5);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        return !read.opened;
    };
    std::string copy = original;
    Put32(copy, rootAt + 8, root);  // right-most child of the root is the root
    EXPECT_TRUE(refusedQuickly(copy));
    copy = original;
    Put32(copy, Get16(copy, childAt + 12) + childAt, child);  // a child pointing at itself
    EXPECT_TRUE(refusedQuickly(copy));
    copy = original;
    Put32(copy, childAt + 8, root);  // back up to the root
    EXPECT_TRUE(refusedQuickly(copy));
    for (const std::uint32_t bad : {0u, pages + 1, 0x80000000u}) {
        copy = original;
        Put32(copy, childAt + 8, bad);
        EXPECT_TRUE(refusedQuickly(copy)) << bad;
    }
    // Two cells naming the same child.
    copy = original;
    const std::size_t second = childAt + Get16(copy, childAt + 14);
    Put32(copy, second, Get32(copy, childAt + Get16(copy, childAt + 12)));
    EXPECT_TRUE(refusedQuickly(copy));
    // A cell pointer into the header or past the page's usable end.
    for (const std::size_t offset : {std::size_t{4}, std::size_t{509}, std::size_t{0xFFFF}}) {
        copy = original;
        copy[childAt + 12] = static_cast<char>(offset >> 8);
        copy[childAt + 13] = static_cast<char>(offset & 0xFF);
        EXPECT_TRUE(refusedQuickly(copy)) << offset;
    }
}

TEST_F(RowidTableDamaged, ChainsOfInteriorPagesDeeperThanAnyRealTree) {
    // A leaf of the real table below a hand-made run of single-child interior pages.
    const std::uint32_t leaf = [&] {
        std::uint32_t page = root;
        while (original[std::size_t{page - 1} * 512] == 0x05) {
            const std::size_t at = std::size_t{page - 1} * 512;
            page = Get32(original, at + Get16(original, at + 12));
        }
        return page;
    }();
    ASSERT_NE(leaf, root);
    const auto build = [&](std::uint32_t depth) {
        std::string bytes = original;
        const auto first = static_cast<std::uint32_t>(bytes.size() / 512 + 1);
        for (std::uint32_t i = 0; i < depth; ++i) {
            std::string page(512, '\0');
            page[0] = 0x05;
            page[5] = 0x02;  // content start 512
            Put32(page, 8, i + 1 == depth ? leaf : first + i + 1);
            bytes += page;
        }
        return std::pair{bytes, first};
    };
    const auto [shallow, shallowRoot] = build(10);
    const PageRead read = ReadPages(*MemoryPages(shallow), shallowRoot, 5);
    ASSERT_TRUE(read.complete);
    EXPECT_EQ(read.leaves, 1u);
    EXPECT_FALSE(read.rows.empty());

    const auto [deep, deepRoot] = build(200);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReadPages(*MemoryPages(deep), deepRoot, 5).opened);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace pixhaven::backup

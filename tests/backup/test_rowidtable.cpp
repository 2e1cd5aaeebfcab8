// Reading a rowid table straight from its pages gives what SQLite returns: every stored value,
// deep and wide trees, rowids of every length, overflow chains, reserved bytes and leaf ranges.
#include "backup/rowidtable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tests/backup/rowidtable_test.h"
#include "tests/support/tempdir.h"

namespace pixhaven::backup {
namespace {

using namespace rowid_test;

// Reads table `t` both ways and expects the same rows in the same order.
void ExpectSameRows(const std::filesystem::path& file, const std::string& columns,
                    std::size_t count, std::size_t expectedRows) {
    const SqliteRead expected =
        ReadWithSqlite(file, "SELECT " + columns + " FROM t ORDER BY rowid");
    ASSERT_TRUE(expected.complete);
    ASSERT_EQ(expected.rows.size(), expectedRows);
    const PageRead read = ReadFile(file, RootPage(file, "t"), count);
    ASSERT_TRUE(read.opened);
    EXPECT_TRUE(read.complete);
    ASSERT_EQ(read.rows.size(), expected.rows.size());
    for (std::size_t i = 0; i < read.rows.size(); ++i) {
        ASSERT_EQ(read.rows[i], expected.rows[i]) << "row " << i;
    }
}

TEST_F(RowidTableRead, EveryStoredTypeInDeepAndWideTrees) {
    for (const int pageSize : {512, 65536}) {
        SCOPED_TRACE(pageSize);
        std::filesystem::remove(file);
        const std::vector<Row> rows = MixedRows(3000);
        {
            Database db(file, pageSize);
            db.Exec("CREATE TABLE t(a, b, c, d, e)");
            db.Insert("t", rows);
        }
        ExpectSameRows(file, "a, b, c, d, e", 5, rows.size());
        const PageRead read = ReadFile(file, RootPage(file, "t"), 5);
        EXPECT_GT(read.leaves, pageSize == 512 ? 200u : 5u);
        ASSERT_EQ(read.rows.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            ASSERT_EQ(read.rows[i], rows[i]) << "row " << i;
        }
        // Fewer columns than the row holds: the leading ones.
        const PageRead two = ReadFile(file, RootPage(file, "t"), 2);
        ASSERT_TRUE(two.complete);
        ASSERT_EQ(two.rows.size(), rows.size());
        EXPECT_EQ(two.rows[17], Row(rows[17].begin(), rows[17].begin() + 2));
    }
}

TEST_F(RowidTableRead, TableOnThePageOfTheFileHeader) {
    // The schema table lives on page 1, behind the 100-byte file header.
    {
        Database db(file, 1024);
        for (int i = 0; i < 3; ++i) {
            db.Exec("CREATE TABLE t" + std::to_string(i) + "(x)");
        }
    }
    const SqliteRead expected =
        ReadWithSqlite(file, "SELECT type, name, tbl_name, rootpage, sql FROM sqlite_schema");
    const PageRead read = ReadFile(file, 1, 5);
    ASSERT_TRUE(read.complete);
    EXPECT_EQ(read.rows, expected.rows);
    EXPECT_EQ(read.rows.size(), 3u);
}

TEST_F(RowidTableRead, RowidsOfEveryVarintLength) {
    // Negative and huge rowids take nine bytes in leaf and interior cells alike.
    std::vector<std::int64_t> rowids;
    for (int bits = 0; bits < 63; bits += 7) {
        for (std::int64_t near = -2; near <= 2; ++near) {
            rowids.push_back((std::int64_t{1} << bits) + near);
            rowids.push_back(-(std::int64_t{1} << bits) + near);
        }
    }
    rowids.push_back(std::numeric_limits<std::int64_t>::max());
    rowids.push_back(std::numeric_limits<std::int64_t>::min());
    {
        Database db(file, 512);
        db.Exec("CREATE TABLE t(a, b)");
        db.Exec("BEGIN");
        for (const std::int64_t rowid : rowids) {
            db.Exec("INSERT OR IGNORE INTO t(rowid, a, b) VALUES (" + std::to_string(rowid) + ", " +
                    std::to_string(rowid) + ", randomblob(" + std::to_string(rowid & 0xFF) + "))");
        }
        db.Exec("COMMIT");
    }
    const std::size_t stored = ReadWithSqlite(file, "SELECT a FROM t").rows.size();
    EXPECT_GT(stored, 60u);
    ExpectSameRows(file, "a, b", 2, stored);
}

TEST_F(RowidTableRead, PayloadsAroundTheLocalLimitAndLongOverflowChains) {
    for (const int pageSize : {512, 1024, 65536}) {
        SCOPED_TRACE(pageSize);
        std::filesystem::remove(file);
        const std::size_t usable = static_cast<std::size_t>(pageSize);
        std::vector<std::size_t> sizes;
        if (pageSize < 65536) {
            for (std::size_t size = 0; size < 3 * usable; ++size) {
                sizes.push_back(size);
            }
        } else {
            // All local up to U - 35; past it the local part switches between the minimum
            // and the remainder of a page near 2U - 39.
            for (std::size_t around : {usable - 35, 2 * usable - 39}) {
                for (std::size_t size = around - 32; size < around + 8; ++size) {
                    sizes.push_back(size);
                }
            }
        }
        for (const std::size_t pages : {5, 9}) {
            sizes.push_back(pages * usable + 3);
        }
        std::vector<Row> rows;
        for (const std::size_t size : sizes) {
            const auto seed = static_cast<unsigned>(size);
            rows.push_back({size % 2 == 0 ? Blob(Bytes(size, seed)) : Text(Letters(size, seed)),
                            Int(static_cast<std::int64_t>(size)), Text("end")});
        }
        {
            Database db(file, pageSize);
            db.Exec("CREATE TABLE t(a, b, c)");
            db.Insert("t", rows);
        }
        ExpectSameRows(file, "a, b, c", 3, rows.size());
    }
}

TEST_F(RowidTableRead, PagesWithReservedBytes) {
    for (const auto& [pageSize, reserve] :
         {std::pair{512, 32}, std::pair{1024, 7}, std::pair{4096, 255}}) {
        SCOPED_TRACE(std::to_string(pageSize) + "/" + std::to_string(reserve));
        std::filesystem::remove(file);
        std::vector<Row> rows = MixedRows(400);
        for (std::size_t size = 400; size < 1400; size += 3) {
            rows.push_back({Blob(Bytes(size, 1)), Null(), Int(-5), Real(1.5), Text("x")});
        }
        {
            Database db(file, pageSize, reserve);
            db.Exec("CREATE TABLE t(a, b, c, d, e)");
            db.Insert("t", rows);
        }
        const std::string bytes = test::ReadFile(file);
        ASSERT_GT(bytes.size(), 100u);
        if (static_cast<unsigned char>(bytes[20]) != reserve) {
            GTEST_SKIP() << "this SQLite does not reserve bytes on request";
        }
        ExpectSameRows(file, "a, b, c, d, e", 5, rows.size());
    }
}

TEST_F(RowidTableRead, LeafRangesAndSourcesAgree) {
    const std::vector<Row> rows = MixedRows(1500);
    {
        Database db(file, 512);
        db.Exec("CREATE TABLE t(a, b, c, d, e)");
        db.Insert("t", rows);
    }
    const std::uint32_t root = RootPage(file, "t");
    const std::string bytes = test::ReadFile(file);
    const std::unique_ptr<PageSource> memory = MemoryPages(bytes);
    const std::unique_ptr<PageSource> disk = OpenFilePages(file);
    ASSERT_NE(disk, nullptr);
    const std::unique_ptr<PageSource> clone = disk->Clone();
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(disk->Size(), bytes.size());

    const PageRead whole = ReadPages(*memory, root, 5);
    ASSERT_TRUE(whole.complete);
    ASSERT_EQ(whole.rows, rows);
    EXPECT_EQ(ReadPages(*disk, root, 5).rows, whole.rows);
    EXPECT_EQ(ReadPages(*clone, root, 5).rows, whole.rows);
    EXPECT_EQ(ReadPages(*memory->Clone(), root, 5).rows, whole.rows);

    const std::size_t n = whole.leaves;
    for (const std::size_t k : {std::size_t{0}, std::size_t{1}, n / 3, n / 2 + 1, n - 1, n}) {
        SCOPED_TRACE(k);
        PageRead front = ReadPages(*disk, root, 5, 0, k);
        const PageRead back = ReadPages(*memory, root, 5, k, n);
        ASSERT_TRUE(front.complete && back.complete);
        front.rows.insert(front.rows.end(), back.rows.begin(), back.rows.end());
        EXPECT_EQ(front.rows, whole.rows);
    }
    const std::optional<RowidTable> table = RowidTable::Open(*memory, root);
    ASSERT_TRUE(table);
    std::size_t visits = 0;
    const auto count = [&](std::span<const StoredValue>) { ++visits; };
    EXPECT_TRUE(table->ReadRows(*memory, n, n + 10, 5, count));
    EXPECT_TRUE(table->ReadRows(*memory, 3, 3, 5, count));
    EXPECT_EQ(visits, 0u);
    // Past the last leaf is the end of the table, not an error.
    EXPECT_TRUE(table->ReadRows(*memory, n - 1, n + 10, 5, count));
    EXPECT_GT(visits, 0u);
}

TEST_F(RowidTableRead, RowsWithFewerValuesThanAskedFor) {
    std::vector<Row> old = MixedRows(300);
    for (Row& row : old) {
        row.resize(2);
    }
    {
        Database db(file, 512);
        db.Exec("CREATE TABLE t(a, b)");
        db.Insert("t", old);
        db.Exec("ALTER TABLE t ADD COLUMN c DEFAULT 7");
        db.Insert("t", {{Int(1), Int(2), Int(3)}});
    }
    // SQLite fills in the default; the reader must not make up a value.
    const PageRead three = ReadFile(file, RootPage(file, "t"), 3);
    EXPECT_TRUE(three.opened);
    EXPECT_FALSE(three.complete);
    ExpectSameRows(file, "a, b", 2, old.size() + 1);
}

}  // namespace
}  // namespace pixhaven::backup

// Reading a rowid table straight from its pages: every stored value as SQLite returns it, deep
// trees, overflow chains, reserved bytes, leaf ranges, and files the reader has to refuse or
// survive without handing out rows SQLite would not.
#include "backup/rowidtable.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/tempdir.h"

namespace pixhaven::backup {
namespace {

using Type = StoredValue::Type;

// A value as both readers see it; reals by their bits, so -0.0 and 0.0 differ.
struct Value {
    Type type = Type::Null;
    std::int64_t integer = 0;
    std::uint64_t realBits = 0;
    std::string bytes;
    bool operator==(const Value&) const = default;
};
using Row = std::vector<Value>;

void PrintTo(const Value& value, std::ostream* out) {
    switch (value.type) {
        case Type::Null:
            *out << "NULL";
            break;
        case Type::Integer:
            *out << value.integer;
            break;
        case Type::Real:
            *out << std::bit_cast<double>(value.realBits);
            break;
        case Type::Text:
            *out << "text(" << value.bytes.size() << ")" << value.bytes.substr(0, 20);
            break;
        case Type::Blob:
            *out << "blob(" << value.bytes.size() << ")";
            break;
    }
}

Value Null() {
    return {};
}
Value Int(std::int64_t v) {
    return {Type::Integer, v, 0, {}};
}
Value Real(double v) {
    return {Type::Real, 0, std::bit_cast<std::uint64_t>(v), {}};
}
Value Text(std::string v) {
    return {Type::Text, 0, 0, std::move(v)};
}
Value Blob(std::string v) {
    return {Type::Blob, 0, 0, std::move(v)};
}

std::string Key(const Row& row) {
    std::string key;
    for (const Value& value : row) {
        key += std::to_string(static_cast<int>(value.type)) + ':' + std::to_string(value.integer) +
               ':' + std::to_string(value.realBits) + ':' + std::to_string(value.bytes.size()) +
               ':' + value.bytes + ';';
    }
    return key;
}

// Bytes that are not text: every byte value, zeros included.
std::string Bytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + seed * 7 + i / 256) & 0xFF);
    }
    return bytes;
}

std::string Letters(std::size_t size, unsigned seed) {
    std::string text(size, 'a');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>('a' + (i * 7 + seed) % 26);
    }
    return text;
}

class Database {
public:
    // A fresh file with the page size (and reserved bytes) set before anything is written.
    explicit Database(const std::filesystem::path& file, int pageSize = 4096, int reserve = 0) {
        EXPECT_EQ(sqlite3_open(file.string().c_str(), &db_), SQLITE_OK);
        Exec("PRAGMA page_size = " + std::to_string(pageSize));
        if (reserve > 0) {
            sqlite3_file_control(db_, "main", SQLITE_FCNTL_RESERVE_BYTES, &reserve);
        }
    }
    ~Database() { sqlite3_close(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void Exec(const std::string& sql) {
        char* message = nullptr;
        EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
            << sql << ": " << (message != nullptr ? message : "");
        sqlite3_free(message);
    }

    void Insert(const std::string& table, const std::vector<Row>& rows) {
        Exec("BEGIN");
        for (const Row& row : rows) {
            std::string sql = "INSERT INTO " + table + " VALUES (";
            for (std::size_t i = 0; i < row.size(); ++i) {
                sql += i == 0 ? "?" : ", ?";
            }
            sqlite3_stmt* statement = nullptr;
            ASSERT_EQ(sqlite3_prepare_v2(db_, (sql + ")").c_str(), -1, &statement, nullptr),
                      SQLITE_OK);
            for (int i = 0; i < static_cast<int>(row.size()); ++i) {
                const Value& value = row[static_cast<std::size_t>(i)];
                const auto size = static_cast<int>(value.bytes.size());
                switch (value.type) {
                    case Type::Null:
                        sqlite3_bind_null(statement, i + 1);
                        break;
                    case Type::Integer:
                        sqlite3_bind_int64(statement, i + 1, value.integer);
                        break;
                    case Type::Real:
                        sqlite3_bind_double(statement, i + 1,
                                            std::bit_cast<double>(value.realBits));
                        break;
                    case Type::Text:
                        sqlite3_bind_text(statement, i + 1, value.bytes.data(), size,
                                          SQLITE_TRANSIENT);
                        break;
                    case Type::Blob:
                        // A zero-length blob bound from a null pointer would become NULL.
                        sqlite3_bind_blob(statement, i + 1, value.bytes.data(), size,
                                          SQLITE_TRANSIENT);
                        break;
                }
            }
            EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE);
            sqlite3_finalize(statement);
        }
        Exec("COMMIT");
    }

private:
    sqlite3* db_ = nullptr;
};

struct SqliteRead {
    bool prepared = false;
    bool complete = false;
    std::vector<Row> rows;
};

// What SQLite itself returns for `select`, read-only so a damaged copy stays as it is.
SqliteRead ReadWithSqlite(const std::filesystem::path& file, const std::string& select) {
    SqliteRead read;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return read;
    }
    sqlite3_stmt* statement = nullptr;
    read.prepared = sqlite3_prepare_v2(db, select.c_str(), -1, &statement, nullptr) == SQLITE_OK;
    int step = SQLITE_ERROR;
    while (read.prepared && (step = sqlite3_step(statement)) == SQLITE_ROW) {
        Row row;
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            switch (sqlite3_column_type(statement, i)) {
                case SQLITE_INTEGER:
                    row.push_back(Int(sqlite3_column_int64(statement, i)));
                    break;
                case SQLITE_FLOAT:
                    row.push_back(Real(sqlite3_column_double(statement, i)));
                    break;
                case SQLITE_TEXT: {
                    const auto* text =
                        reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
                    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, i));
                    row.push_back(Text(std::string(text, size)));
                    break;
                }
                case SQLITE_BLOB: {
                    const auto* blob = static_cast<const char*>(sqlite3_column_blob(statement, i));
                    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, i));
                    row.push_back(Blob(size == 0 ? std::string() : std::string(blob, size)));
                    break;
                }
                default:
                    row.push_back(Null());
            }
        }
        read.rows.push_back(std::move(row));
    }
    read.complete = read.prepared && step == SQLITE_DONE;
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return read;
}

std::uint32_t RootPage(const std::filesystem::path& file, const std::string& name) {
    const SqliteRead read =
        ReadWithSqlite(file, "SELECT rootpage FROM sqlite_schema WHERE name = '" + name + "'");
    EXPECT_EQ(read.rows.size(), 1u) << name;
    return read.rows.empty() ? 0 : static_cast<std::uint32_t>(read.rows[0][0].integer);
}

Value FromStored(const StoredValue& stored) {
    switch (stored.type) {
        case Type::Integer:
            return Int(stored.integer);
        case Type::Real:
            return Real(stored.real);
        case Type::Text:
            return Text(std::string(stored.bytes));
        case Type::Blob:
            return Blob(std::string(stored.bytes));
        default:
            return Null();
    }
}

struct PageRead {
    bool opened = false;
    bool complete = false;
    std::size_t leaves = 0;
    std::vector<Row> rows;
};

PageRead ReadPages(PageSource& source, std::uint32_t root, std::size_t columns,
                   std::size_t first = 0,
                   std::size_t last = std::numeric_limits<std::size_t>::max()) {
    PageRead read;
    const std::optional<RowidTable> table = RowidTable::Open(source, root);
    if (!table) {
        return read;
    }
    read.opened = true;
    read.leaves = table->LeafCount();
    read.complete = table->ReadRows(source, first, std::min(last, read.leaves), columns,
                                    [&](std::span<const StoredValue> values) {
                                        EXPECT_EQ(values.size(), columns);
                                        Row row;
                                        for (const StoredValue& value : values) {
                                            row.push_back(FromStored(value));
                                        }
                                        read.rows.push_back(std::move(row));
                                    });
    return read;
}

PageRead ReadFile(const std::filesystem::path& file, std::uint32_t root, std::size_t columns) {
    const std::unique_ptr<PageSource> source = OpenFilePages(file);
    EXPECT_NE(source, nullptr) << file;
    return source ? ReadPages(*source, root, columns) : PageRead{};
}

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

std::vector<Value> ValuePool() {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::vector<Value> pool = {Null()};
    // Each width's extremes and the first value past them, both signs, a row per width.
    // clang-format off
    const std::int64_t integers[] = {
        0, 1, 2, -1,
        127, -128, 128, -129, 255,
        32767, -32768, 32768, -32769,
        8388607, -8388608, 8388608, -8388609,
        2147483647, -2147483647 - 1, 2147483648, -2147483649,
        140737488355327, -140737488355328, 140737488355328, -140737488355329,
        kMax, kMin, kMax - 1, kMin + 1};
    // clang-format on
    for (const std::int64_t v : integers) {
        pool.push_back(Int(v));
    }
    for (const double v :
         {0.0, -0.0, 0.5, -2.25, 1e300, -1e-300, 4.9e-324, std::numeric_limits<double>::max(),
          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
          9007199254740993.0}) {
        pool.push_back(Real(v));
    }
    for (const std::size_t size : {0, 1, 57, 300, 2000}) {
        pool.push_back(Text(Letters(size, static_cast<unsigned>(size))));
        pool.push_back(Blob(Bytes(size, static_cast<unsigned>(size))));
    }
    pool.push_back(Text("na\xC3\xAFve \xE2\x9C\x93"));
    pool.push_back(Blob(std::string(1, '\0')));
    pool.push_back(Blob(Bytes(5000, 3)));
    return pool;
}

// Rows of five columns that give every pooled value every position.
std::vector<Row> MixedRows(std::size_t count) {
    const std::vector<Value> pool = ValuePool();
    std::vector<Row> rows;
    for (std::size_t i = 0; i < count; ++i) {
        Row row;
        for (std::size_t j = 0; j < 5; ++j) {
            row.push_back(pool[(i * 5 + j * 7 + i / pool.size()) % pool.size()]);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

class RowidTableRead : public testing::Test {
protected:
    test::TempDir dir;
    std::filesystem::path file = dir / "table.db";
};

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

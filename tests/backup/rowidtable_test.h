// Shared by the rowid table tests: values and rows as both SQLite and the page reader see them, a
// database written through SQLite, and each side's read of a table.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "backup/rowidtable.h"
#include "tests/support/tempdir.h"

namespace pixhaven::backup::rowid_test {

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

inline void PrintTo(const Value& value, std::ostream* out) {
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

inline Value Null() {
    return {};
}
inline Value Int(std::int64_t v) {
    return {Type::Integer, v, 0, {}};
}
inline Value Real(double v) {
    return {Type::Real, 0, std::bit_cast<std::uint64_t>(v), {}};
}
inline Value Text(std::string v) {
    return {Type::Text, 0, 0, std::move(v)};
}
inline Value Blob(std::string v) {
    return {Type::Blob, 0, 0, std::move(v)};
}

// Bytes that are not text: every byte value, zeros included.
inline std::string Bytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + seed * 7 + i / 256) & 0xFF);
    }
    return bytes;
}

inline std::string Letters(std::size_t size, unsigned seed) {
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
inline SqliteRead ReadWithSqlite(const std::filesystem::path& file, const std::string& select) {
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

inline std::uint32_t RootPage(const std::filesystem::path& file, const std::string& name) {
    const SqliteRead read =
        ReadWithSqlite(file, "SELECT rootpage FROM sqlite_schema WHERE name = '" + name + "'");
    EXPECT_EQ(read.rows.size(), 1u) << name;
    return read.rows.empty() ? 0 : static_cast<std::uint32_t>(read.rows[0][0].integer);
}

inline Value FromStored(const StoredValue& stored) {
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

inline PageRead ReadPages(PageSource& source, std::uint32_t root, std::size_t columns,
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

inline PageRead ReadFile(const std::filesystem::path& file, std::uint32_t root,
                         std::size_t columns) {
    const std::unique_ptr<PageSource> source = OpenFilePages(file);
    EXPECT_NE(source, nullptr) << file;
    return source ? ReadPages(*source, root, columns) : PageRead{};
}

inline std::vector<Value> ValuePool() {
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
inline std::vector<Row> MixedRows(std::size_t count) {
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

}  // namespace pixhaven::backup::rowid_test

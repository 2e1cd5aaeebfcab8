// Manifest.db reading. Rows are read in rowid order; a large table is split in two rowid ranges
// read on two threads, each over its own connection, since decoding the archived `file` column
// costs about as much as SQLite's own stepping.
#include "backup/manifestdb.h"

#include <algorithm>
#include <exception>
#include <new>
#include <string_view>
#include <thread>
#include <vector>

#include "backup/mbfile.h"
#include "platform/sqlitefile.h"

namespace pixhaven::backup {
namespace {

constexpr std::string_view kSelectAll =
    "SELECT fileID, domain, relativePath, flags, file FROM Files";
constexpr std::string_view kSelectRange =
    "SELECT fileID, domain, relativePath, flags, file FROM Files WHERE rowid BETWEEN ?1 AND ?2 "
    "ORDER BY rowid";
constexpr std::int64_t kFileFlag = 1;
// Below this many rows a second thread costs more than it saves.
constexpr std::uint64_t kParallelRows = 20'000;
// The most records reserved ahead from the rowid span, so a sparse hostile table cannot make
// the reader reserve memory it will never fill.
constexpr std::uint64_t kMaxReserve = std::uint64_t{1} << 22;

struct StatementCloser {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

Statement Prepare(sqlite3* db, std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return Statement(statement);
}

bool IsStoredName(std::string_view name) {
    if (name.size() != 40) {
        return false;
    }
    for (const char c : name) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

std::string_view ColumnBytes(sqlite3_stmt* row, int column) {
    // A blob column is read as bytes; text columns come as their UTF-8 text.
    const void* data = sqlite3_column_type(row, column) == SQLITE_BLOB
                           ? sqlite3_column_blob(row, column)
                           : static_cast<const void*>(sqlite3_column_text(row, column));
    const int size = sqlite3_column_bytes(row, column);
    if (data == nullptr || size <= 0) {
        return {};
    }
    return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
}

std::optional<std::string_view> ColumnText(sqlite3_stmt* row, int column) {
    if (sqlite3_column_type(row, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    return ColumnBytes(row, column);
}

void AddRow(sqlite3_stmt* row, ManifestBuilder& out) {
    const std::string_view fileID = ColumnBytes(row, 0);
    if (!IsStoredName(fileID)) {
        return;
    }
    RecordFacts facts;
    facts.hasContent = sqlite3_column_int64(row, 3) == kFileFlag;
    // An archive that cannot be decoded leaves the facts at 0: the stored file is still named.
    if (const auto decoded = DecodeMbFile(ColumnBytes(row, 4))) {
        facts.size = decoded->size;
        facts.modified = decoded->modified;
        facts.accessed = decoded->accessed;
        facts.created = decoded->created;
        facts.mode = decoded->mode;
    }
    out.Add(fileID, ColumnText(row, 1), ColumnText(row, 2), facts);
}

// Steps `statement` to its end; false when SQLite reports an error (a damaged database).
bool ReadRows(sqlite3_stmt* statement, ManifestBuilder& out) {
    for (;;) {
        const int result = sqlite3_step(statement);
        if (result == SQLITE_DONE) {
            return true;
        }
        if (result != SQLITE_ROW) {
            return false;
        }
        AddRow(statement, out);
    }
}

// The rowid of the first or last row; none when the table has no rows or no rowid.
std::optional<std::int64_t> EdgeRowid(sqlite3* db, bool last) {
    const Statement statement =
        Prepare(db, last ? "SELECT rowid FROM Files ORDER BY rowid DESC LIMIT 1"
                         : "SELECT rowid FROM Files ORDER BY rowid LIMIT 1");
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) {
        return std::nullopt;
    }
    return sqlite3_column_int64(statement.get(), 0);
}

struct RowidRange {
    std::int64_t first = 0;
    std::int64_t last = 0;  // not below first
    // Rowids one apart span 1; computed unsigned, since a hostile table may hold both extremes.
    std::uint64_t Span() const {
        return static_cast<std::uint64_t>(last) - static_cast<std::uint64_t>(first);
    }
};

// Reads the rows of one rowid range over its own connection.
bool ReadRange(const std::filesystem::path& file, RowidRange range, ManifestBuilder& out) {
    const platform::SqliteConnection db = platform::OpenSqliteReadOnly(file);
    const Statement statement = db ? Prepare(db.get(), kSelectRange) : nullptr;
    if (!statement) {
        return false;
    }
    sqlite3_bind_int64(statement.get(), 1, range.first);
    sqlite3_bind_int64(statement.get(), 2, range.last);
    return ReadRows(statement.get(), out);
}

std::size_t ExpectedRows(std::uint64_t span) {
    return static_cast<std::size_t>(std::min(span, kMaxReserve - 1) + 1);
}

// Two halves of the rowid span on two threads; none when either half fails.
std::optional<Manifest> ReadInHalves(const std::filesystem::path& file, RowidRange whole) {
    const auto middle =
        static_cast<std::int64_t>(static_cast<std::uint64_t>(whole.first) + whole.Span() / 2);
    const RowidRange halves[2] = {{whole.first, middle}, {middle + 1, whole.last}};
    std::vector<ManifestBuilder> parts;
    parts.emplace_back(ExpectedRows(halves[0].Span()));
    parts.emplace_back(ExpectedRows(halves[1].Span()));
    bool secondRead = false;
    std::exception_ptr failure;
    bool firstRead = false;
    {
        std::jthread helper([&] {
            try {
                secondRead = ReadRange(file, halves[1], parts[1]);
            } catch (...) {
                failure = std::current_exception();
            }
        });
        firstRead = ReadRange(file, halves[0], parts[0]);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (!firstRead || !secondRead) {
        return std::nullopt;
    }
    return ManifestBuilder::Join(parts);
}

std::optional<Manifest> ReadWhole(sqlite3* db, std::size_t expected) {
    const Statement statement = Prepare(db, kSelectAll);
    if (!statement) {
        return std::nullopt;
    }
    std::vector<ManifestBuilder> parts;
    parts.emplace_back(expected);
    if (!ReadRows(statement.get(), parts[0])) {
        return std::nullopt;
    }
    return ManifestBuilder::Join(parts);
}

std::optional<Manifest> Read(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return std::nullopt;  // a folder or a pipe is no database, and opening a pipe would block
    }
    const platform::SqliteConnection db = platform::OpenSqliteReadOnly(file);
    // Preparing the full query checks the file is a database with a usable Files table.
    if (!db || !Prepare(db.get(), kSelectAll)) {
        return std::nullopt;
    }
    const auto first = EdgeRowid(db.get(), false);
    const auto last = EdgeRowid(db.get(), true);
    const bool ranged = first && last && *last >= *first;
    const RowidRange whole = ranged ? RowidRange{*first, *last} : RowidRange{};
    if (ranged && whole.Span() >= kParallelRows) {
        return ReadInHalves(file, whole);
    }
    // Small tables, and tables without rowids, in one pass in the table's order.
    return ReadWhole(db.get(), ranged ? ExpectedRows(whole.Span()) : 0);
}

}  // namespace

std::optional<Manifest> ReadManifestDb(const std::filesystem::path& file) {
    try {
        return Read(file);
    } catch (const std::bad_alloc&) {
        return std::nullopt;  // out of memory gives no manifest rather than a partial one
    }
}

}  // namespace pixhaven::backup

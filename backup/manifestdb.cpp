// Manifest.db reading. The Files table's pages are read directly when the file is an ordinary one
// (backup/rowidtable.h); everything else goes through SQLite, in one pass in the table's order.
// The same SQLite read is the reference the tests hold the direct reader to.
#include "backup/manifestdb.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <exception>
#include <limits>
#include <new>
#include <string_view>
#include <thread>
#include <vector>

#include "backup/mbfile.h"
#include "backup/rowidtable.h"
#include "platform/sqlitefile.h"

namespace pixhaven::backup {
namespace {

constexpr std::string_view kSelectAll =
    "SELECT fileID, domain, relativePath, flags, file FROM Files";
constexpr std::int64_t kFileFlag = 1;
// Records are reserved ahead from the rowid span (bench_manifestdb BM_ReadManifestDb); at most
// this many, so a sparse hostile table cannot make the reader reserve memory it will never fill.
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

constexpr std::array<bool, 256> kLowerHexDigit = [] {
    std::array<bool, 256> digits{};
    for (const char c : std::string_view("0123456789abcdef")) {
        digits[static_cast<unsigned char>(c)] = true;
    }
    return digits;
}();

bool IsStoredName(std::string_view name) {
    if (name.size() != 40) {
        return false;
    }
    // Without a branch per character: digits and letters alternate at random in these names
    // (bench_manifestdb BM_ReadManifestDb: 232 ms of main-thread time with range tests, 178 ms so).
    bool hex = true;
    for (const char c : name) {
        hex &= kLowerHexDigit[static_cast<unsigned char>(c)];
    }
    return hex;
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

// One row's columns as the reader uses them, from either source.
struct FileRow {
    std::string_view fileID;
    std::optional<std::string_view> domain;
    std::optional<std::string_view> relativePath;
    std::int64_t flags = 0;
    std::string_view file;
};

void AddRow(const FileRow& row, ManifestBuilder& out) {
    if (!IsStoredName(row.fileID)) {
        return;
    }
    RecordFacts facts;
    facts.hasContent = row.flags == kFileFlag;
    // An archive that cannot be decoded leaves the facts at 0: the stored file is still named.
    if (const auto decoded = DecodeMbFile(row.file)) {
        facts.size = decoded->size;
        facts.modified = decoded->modified;
        facts.accessed = decoded->accessed;
        facts.created = decoded->created;
        facts.mode = decoded->mode;
        if (!decoded->encryptionKey.empty()) {
            facts.encryptionKey = decoded->encryptionKey;
        }
        facts.protectionClass = static_cast<std::int32_t>(decoded->protectionClass);
    }
    out.Add(row.fileID, row.domain, row.relativePath, facts);
}

void AddRow(sqlite3_stmt* row, ManifestBuilder& out) {
    AddRow({ColumnBytes(row, 0), ColumnText(row, 1), ColumnText(row, 2),
            sqlite3_column_int64(row, 3), ColumnBytes(row, 4)},
           out);
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

// Records to reserve ahead: one per rowid of the table's span, at most kMaxReserve; none for a
// table without rows or rowids.
std::size_t ExpectedRows(sqlite3* db) {
    const std::optional<std::int64_t> first = EdgeRowid(db, false);
    const std::optional<std::int64_t> last = EdgeRowid(db, true);
    if (!first || !last || *last < *first) {
        return 0;
    }
    // Unsigned, since a hostile table may hold both extremes.
    const std::uint64_t span =
        static_cast<std::uint64_t>(*last) - static_cast<std::uint64_t>(*first);
    return static_cast<std::size_t>(std::min(span, kMaxReserve - 1) + 1);
}

// The one read through SQLite: every row in one pass, in the table's order (rowid order, or the
// key's for a table without rowids).
std::optional<Manifest> ReadThroughSqlite(sqlite3* db, std::size_t expected) {
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

// ---- Reading the Files table from its pages ----

struct Column {
    std::string_view name;
    std::string_view type;  // declared types decide how SQLite converts what is stored
};
constexpr Column kFilesColumns[] = {{"fileID", "TEXT"},
                                    {"domain", "TEXT"},
                                    {"relativePath", "TEXT"},
                                    {"flags", "INTEGER"},
                                    {"file", "BLOB"}};
// The leaves are read in two halves on two threads (bench_manifestdb BM_ReadManifestDb); below
// this many a second thread costs more than it saves.
constexpr std::size_t kParallelLeaves = 64;
// Rows of a real Files table take a few hundred bytes; a 4 KB leaf holds far fewer than this.
constexpr std::size_t kRowsPerLeafBound = 64;

// SQLite folds only ASCII letters in names; std::tolower would follow the user's locale (in a
// Turkish one 'I' is not 'i').
bool SameName(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// The Files table's root page, when the table stores exactly the five columns in order with
// their usual declared types as an ordinary rowid table (no column standing for the rowid, none
// hidden or generated).
std::optional<std::uint32_t> FilesRootPage(sqlite3* db) {
    const Statement root =
        Prepare(db, "SELECT rootpage FROM sqlite_master WHERE type = 'table' AND name = 'Files'");
    if (!root || sqlite3_step(root.get()) != SQLITE_ROW) {
        return std::nullopt;
    }
    const std::int64_t page = sqlite3_column_int64(root.get(), 0);
    const Statement columns =
        Prepare(db, "SELECT name, type, pk, hidden FROM pragma_table_xinfo('Files')");
    if (!columns || page <= 0 || page > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    std::size_t count = 0;
    while (sqlite3_step(columns.get()) == SQLITE_ROW) {
        const std::string_view type = ColumnBytes(columns.get(), 1);
        const bool rowidAlias =
            sqlite3_column_int(columns.get(), 2) != 0 && SameName(type, "INTEGER");
        if (count == std::size(kFilesColumns) ||
            !SameName(ColumnBytes(columns.get(), 0), kFilesColumns[count].name) ||
            !SameName(type, kFilesColumns[count].type) || rowidAlias ||
            sqlite3_column_int(columns.get(), 3) != 0) {
            return std::nullopt;
        }
        ++count;
    }
    if (count != std::size(kFilesColumns)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(page);
}

// Converts stored values as SQLite's column functions would; false for the kinds a Manifest.db
// never holds (a real where a text is, a text or real as flags), which are left to SQLite.
class StoredRow {
public:
    bool Convert(std::span<const StoredValue> values, FileRow& row) {
        row.fileID = Bytes(values[0]);
        row.file = Bytes(values[4]);
        if (!Text(values[1], domainNumber_, row.domain) ||
            !Text(values[2], pathNumber_, row.relativePath)) {
            return false;
        }
        if (values[3].type == StoredValue::Type::Integer) {
            row.flags = values[3].integer;
            return true;
        }
        row.flags = 0;
        return values[3].type == StoredValue::Type::Null;
    }

private:
    using NumberText = std::array<char, 24>;

    // Texts and blobs as bytes; a number's text is never a stored name or an archive.
    static std::string_view Bytes(const StoredValue& value) {
        const bool bytes =
            value.type == StoredValue::Type::Text || value.type == StoredValue::Type::Blob;
        return bytes ? value.bytes : std::string_view();
    }

    static bool Text(const StoredValue& value, NumberText& number,
                     std::optional<std::string_view>& out) {
        switch (value.type) {
            case StoredValue::Type::Null:
                out.reset();
                return true;
            case StoredValue::Type::Integer: {
                const auto end =
                    std::to_chars(number.data(), number.data() + number.size(), value.integer).ptr;
                out =
                    std::string_view(number.data(), static_cast<std::size_t>(end - number.data()));
                return true;
            }
            case StoredValue::Type::Real:
                return false;
            default:
                out = value.bytes;
                return true;
        }
    }

    NumberText domainNumber_{};
    NumberText pathNumber_{};
};

// Fills two parts at once, the second on a helper thread; one Manifest of both, or none when either
// fails. An exception on the helper thread is raised here.
template <typename ReadPart>
std::optional<Manifest> ReadTwoParts(std::vector<ManifestBuilder>& parts, ReadPart&& read) {
    bool secondRead = false;
    std::exception_ptr failure;
    bool firstRead = false;
    {
        std::jthread helper([&] {
            try {
                secondRead = read(1, parts[1]);
            } catch (...) {
                failure = std::current_exception();
            }
        });
        firstRead = read(0, parts[0]);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (!firstRead || !secondRead) {
        return std::nullopt;
    }
    return ManifestBuilder::Join(parts);
}

// Reads the rows of leaves [first, last); false when a page or a row is not one this reader
// takes.
bool ReadLeaves(const RowidTable& table, PageSource& source, std::size_t first, std::size_t last,
                ManifestBuilder& out) {
    StoredRow converter;
    FileRow row;
    bool converted = true;
    const bool read = table.ReadRows(
        source, first, last, std::size(kFilesColumns), [&](std::span<const StoredValue> values) {
            if (converted && (converted = converter.Convert(values, row))) {
                AddRow(row, out);
            }
        });
    return read && converted;
}

std::optional<Manifest> ReadPages(const std::filesystem::path& file, sqlite3* db,
                                  std::size_t expected) {
    const std::optional<std::uint32_t> root = FilesRootPage(db);
    const std::unique_ptr<PageSource> source = root ? OpenFilePages(file) : nullptr;
    const std::optional<RowidTable> table =
        source ? RowidTable::Open(*source, *root) : std::nullopt;
    if (!table) {
        return std::nullopt;
    }
    const std::size_t leaves = table->LeafCount();
    // Room for the rows reserved ahead (address space, touched only as filled), bounded by what
    // the leaves can hold so that a sparse hostile rowid span cannot claim more.
    const std::size_t reserve = std::min(expected, leaves * kRowsPerLeafBound);
    const std::unique_ptr<PageSource> second =
        leaves >= kParallelLeaves ? source->Clone() : nullptr;
    std::vector<ManifestBuilder> parts;
    if (!second) {
        parts.emplace_back(reserve);
        return ReadLeaves(*table, *source, 0, leaves, parts[0])
                   ? std::optional(ManifestBuilder::Join(parts))
                   : std::nullopt;
    }
    const std::size_t middle = leaves / 2;
    parts.emplace_back(reserve);  // the first part takes in the second
    parts.emplace_back(std::min(expected, (leaves - middle) * kRowsPerLeafBound));
    return ReadTwoParts(parts, [&](int half, ManifestBuilder& out) {
        return half == 0 ? ReadLeaves(*table, *source, 0, middle, out)
                         : ReadLeaves(*table, *second, middle, leaves, out);
    });
}

std::optional<Manifest> Read(const std::filesystem::path& file, bool fromPages) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return std::nullopt;  // a folder or a pipe is no database, and opening a pipe would block
    }
    const platform::SqliteConnection db = platform::OpenSqliteReadOnly(file);
    // Preparing the full query checks the file is a database with a usable Files table.
    if (!db || !Prepare(db.get(), kSelectAll)) {
        return std::nullopt;
    }
    const std::size_t expected = ExpectedRows(db.get());
    // The pages are read directly when the file is one that reader takes; SQLite reads the rest.
    if (fromPages) {
        if (std::optional<Manifest> read = ReadPages(file, db.get(), expected)) {
            return read;
        }
    }
    return ReadThroughSqlite(db.get(), expected);
}

}  // namespace

std::optional<Manifest> ReadManifestDb(const std::filesystem::path& file) {
    try {
        return Read(file, true);
    } catch (const std::bad_alloc&) {
        return std::nullopt;  // out of memory gives no manifest rather than a partial one
    }
}

std::optional<Manifest> ReadManifestDbFromMemory(std::string image) {
    try {
        const platform::SqliteConnection db = platform::OpenSqliteImage(std::move(image));
        if (!db || !Prepare(db.get(), kSelectAll)) {
            return std::nullopt;
        }
        return ReadThroughSqlite(db.get(), ExpectedRows(db.get()));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<Manifest> ReadManifestDbWithSqlite(const std::filesystem::path& file) {
    try {
        return Read(file, false);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace pixhaven::backup

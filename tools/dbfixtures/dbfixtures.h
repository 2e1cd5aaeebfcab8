// Builds test and benchmark databases with SQLite itself, from the real device table layouts in
// tests/fixtures/schemas: free space is left as SQLite leaves it (secure_delete off, no vacuum).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pixhaven::dbfixtures {

std::filesystem::path SchemaDir();
std::filesystem::path ForensicCorpusDir();
// Every database file of the forensic corpus, sorted.
std::vector<std::filesystem::path> ForensicCorpusFiles();

struct Null {};
struct Blob {
    std::string bytes;
};
using Value = std::variant<Null, std::int64_t, double, std::string, Blob>;

class Database {
public:
    // Opens (creating) a read-write database with secure_delete off; throws std::runtime_error on
    // failure.
    explicit Database(const std::filesystem::path& path);

    // Runs one or more statements; throws with SQLite's message on failure.
    void Exec(std::string_view sql);
    // Runs one statement with bound parameters (?1, ?2 …).
    void Run(std::string_view sql, const std::vector<Value>& values);
    // The first column of the first row of a query, as text ("" when none).
    std::string QueryText(std::string_view sql);
    std::int64_t LastInsertRowid() const;
    sqlite3* handle() const { return db_.get(); }

private:
    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close(db); }
    };
    std::unique_ptr<sqlite3, Closer> db_;
};

// A new database at `path` with page size `pageSize`, secure_delete off, auto-vacuum off, a
// rollback journal (no WAL), holding the tables of the layout file `schemaFile` (e.g.
// "ios6-sms.sql"). The connection does not sync: test files need no durability.
Database CreateFromSchema(const std::filesystem::path& path, std::string_view schemaFile,
                          int pageSize = 4096);

}  // namespace pixhaven::dbfixtures

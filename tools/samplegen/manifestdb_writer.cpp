#include "tools/samplegen/manifestdb_writer.h"

#include <sqlite3.h>

#include <memory>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace pixhaven::samplegen {
namespace {

// The layout a device writes, indexes included.
constexpr const char* kLayout =
    "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags "
    "INTEGER, file BLOB);"
    "CREATE INDEX FilesDomainIdx ON Files(domain);"
    "CREATE INDEX FilesRelativePathIdx ON Files(relativePath);"
    "CREATE INDEX FilesFlagsIdx ON Files(flags);"
    "CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB);";

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

void Check(sqlite3* db, int result, std::string_view what) {
    if (result != SQLITE_OK && result != SQLITE_DONE) {
        throw std::runtime_error("Manifest.db: " + std::string(what) + ": " + sqlite3_errmsg(db));
    }
}

void Exec(sqlite3* db, const char* sql) {
    Check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr), sql);
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

}  // namespace

void WriteManifestDb(const std::filesystem::path& file, const std::vector<ManifestDbRow>& rows) {
    std::error_code error;
    std::filesystem::remove(file, error);
    if (file.has_parent_path()) {
        std::filesystem::create_directories(file.parent_path());
    }
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(file.string().c_str(), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const std::unique_ptr<sqlite3, Closer> db(raw);
    Check(db.get(), opened, "open");
    Exec(db.get(), "PRAGMA journal_mode = DELETE; PRAGMA synchronous = OFF;");
    Exec(db.get(), kLayout);
    Exec(db.get(), "BEGIN");
    sqlite3_stmt* rawInsert = nullptr;
    Check(db.get(),
          sqlite3_prepare_v2(db.get(), "INSERT INTO Files VALUES (?1, ?2, ?3, ?4, ?5)", -1,
                             &rawInsert, nullptr),
          "prepare");
    const std::unique_ptr<sqlite3_stmt, Closer> insert(rawInsert);
    for (const ManifestDbRow& row : rows) {
        BindText(insert.get(), 1, row.fileID);
        BindText(insert.get(), 2, row.domain);
        BindText(insert.get(), 3, row.relativePath);
        sqlite3_bind_int(insert.get(), 4, row.flags);
        sqlite3_bind_blob(insert.get(), 5, row.file.data(), static_cast<int>(row.file.size()),
                          SQLITE_TRANSIENT);
        Check(db.get(), sqlite3_step(insert.get()), "insert");
        sqlite3_reset(insert.get());
    }
    Exec(db.get(), "COMMIT");
}

}  // namespace pixhaven::samplegen

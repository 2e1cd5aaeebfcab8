// Opening an SQLite file for reading only: no locks, and no journal, WAL or shared-memory file
// is ever created or read beside it, so evidence files stay exactly as they were.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>

namespace pixhaven::platform {

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using SqliteConnection = std::unique_ptr<sqlite3, SqliteCloser>;

// Null when SQLite cannot open the file (a missing file is never created).
SqliteConnection OpenSqliteReadOnly(const std::filesystem::path& file);

// A database image held in memory (a decrypted one that must not touch the disk), read-only; the
// connection owns the image. Null when SQLite cannot take it.
SqliteConnection OpenSqliteImage(std::string image);

}  // namespace pixhaven::platform

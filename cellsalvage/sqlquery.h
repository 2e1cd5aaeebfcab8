// The SQL side of the parsers: read-only connections that never write beside the file they open
// (no journal, no WAL, no shared-memory file), and the few statement helpers the Init steps use.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sqlitefile.h"

namespace cellsalvage {

using Connection = pixhaven::platform::SqliteConnection;

// True when the UTF-16 path names a regular file.
bool FileExists(const std::u16string& path);

// Opens the file read-only and immutable; null when SQLite cannot open it.
Connection OpenReadOnly(const std::u16string& path);

// Runs `sql` and hands each row to `onRow`; false when the statement does not prepare.
bool ForEachRow(sqlite3* db, const char* sql, const std::function<void(sqlite3_stmt*)>& onRow);

// Column text as bytes; NULL gives "".
std::string ColumnText(sqlite3_stmt* statement, int column);

// "SELECT rootpage from sqlite_master where ..." style: every column of every row, the last one
// wins, truncated to 32 bits. False when the statement does not prepare.
bool ReadRootPage(sqlite3* db, const char* sql, int& rootPage);

// "SELECT * from T": the column count and the index of each wanted name (exact match); names not
// found keep index 0. A statement that does not prepare leaves everything at 0.
struct TableLayout {
    int columnCount = 0;
    std::vector<int> indices;
};
TableLayout ReadTableLayout(sqlite3* db, const char* sql, const std::vector<std::string>& names);

}  // namespace cellsalvage

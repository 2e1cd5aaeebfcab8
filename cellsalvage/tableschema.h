// The column layout of a table to carve, as its database declares it: what each column may hold
// decides which serial types a record of the table can show in each place of its header.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cellsalvage {

// What a column holds, from its declared type (SQLite's affinity rules) and its name.
enum class ColumnUse : std::uint8_t {
    RowidAlias,  // INTEGER PRIMARY KEY: always stored as NULL, the key is in the cell
    Integer,
    Date,  // an integer column named like a date: 0 or a time of the last decades
    Real,
    Text,  // text, or a blob an application stored there
    Any,   // BLOB, untyped or NUMERIC: anything
};

struct DeclaredColumn {
    std::string name;
    ColumnUse use = ColumnUse::Any;
};

struct TableSchema {
    std::string table;
    std::vector<DeclaredColumn> columns;

    // The index of the column named exactly `name`; -1 when there is none.
    int IndexOf(std::string_view name) const;
    // How many columns at the start are rowid aliases (their NULL takes no bytes).
    std::size_t LeadingAliases() const;
};

// The use of a column declared `declaredType`, a rowid alias when `aliasKey`.
ColumnUse UseOfDeclared(std::string_view name, std::string_view declaredType, bool aliasKey);

// The layout of `table` from PRAGMA table_info (read-only); when the database gives none, the
// layout written `name TYPE, name TYPE …` in `fallback` (a device's known layout).
TableSchema ReadTableSchema(sqlite3* db, const std::string& table, std::string_view fallback);

// A layout written `name TYPE, …`, the first column INTEGER PRIMARY KEY when `firstIsAlias`.
TableSchema ParseLayout(const std::string& table, std::string_view columns, bool firstIsAlias);

}  // namespace cellsalvage

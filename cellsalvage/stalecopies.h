// Stale copies are not deleted rows: when SQLite rebalances a b-tree it leaves copies of live
// cells in free space. A carved row whose values equal a live row of its table is such a copy.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace cellsalvage {

// How one carved value compares with the live column in the same position.
enum class ValueKind {
    Text,     // content bytes equal the live text
    Integer,  // big-endian content bytes equal the live integer; no bytes (a zero-length or
              // skipped serial type) match any live value
    Ignored,  // not compared (an identifier the carver cannot know)
};

// For each candidate row (values in `kinds` order), whether it is a stale copy: whether a row of
// `sql` on `db` (columns in the same order) equals it. Reads the live rows once, streaming. A
// statement that does not prepare matches nothing.
std::vector<bool> FindStaleCopies(sqlite3* db, const char* sql, const std::vector<ValueKind>& kinds,
                                  const std::vector<std::vector<std::string>>& candidates);

// Keeps the rows of `rows` that are no stale copies; `values` turns a row into its values.
template <typename Row, typename Values>
void EraseStaleCopies(sqlite3* db, const char* sql, const std::vector<ValueKind>& kinds,
                      std::vector<Row>& rows, Values values) {
    if (rows.empty()) {
        return;
    }
    std::vector<std::vector<std::string>> candidates;
    candidates.reserve(rows.size());
    for (const Row& row : rows) {
        candidates.push_back(values(row));
    }
    const std::vector<bool> stale = FindStaleCopies(db, sql, kinds, candidates);
    std::vector<Row> kept;
    kept.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!stale[i]) {
            kept.push_back(std::move(rows[i]));
        }
    }
    rows = std::move(kept);
}

}  // namespace cellsalvage

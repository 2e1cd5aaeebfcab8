// Stale copies are not deleted rows: when SQLite rebalances a b-tree it leaves copies of live
// cells in free space, and older page images hold rows that are still live. A carved record is
// such a copy only when it equals a live row of its table in every column it carries, its rowid
// included when its key survived; a record that differs anywhere (a date, an id) is reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "cellsalvage/carvedrecord.h"
#include "platform/sqlitepages.h"

namespace cellsalvage {

class LiveRows {
public:
    // Columns before `firstCompared` are rowid aliases: their NULL says nothing.
    explicit LiveRows(std::size_t firstCompared) : firstCompared_(firstCompared) {}

    // A live cell of the table: its rowid and its whole record.
    void Add(std::int64_t rowid, std::span<const unsigned char> record);
    // Whether a live row equals `record` in every column it carries.
    bool HasCopyOf(const CarvedRecord& record);

    // The hash that HasCopyOf compares of a carved record's values, for telling duplicates apart.
    std::uint64_t ValuesHash(const CarvedRecord& record) const;

private:
    void Sort();

    std::size_t firstCompared_;
    std::vector<std::uint64_t> values_;       // hashes of the values
    std::vector<std::uint64_t> keyedValues_;  // hashes of the rowid and the values
    bool sorted_ = true;
    std::vector<pixhaven::sqlitepages::RecordField> fields_;  // scratch for Add
};

}  // namespace cellsalvage

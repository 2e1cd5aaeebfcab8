// Finds the records of one table in free bytes by the shape of their header: a header size, then
// one serial type per column that the column's declared use allows (the rowid alias always NULL),
// for as many columns as the table has or, in rows written before columns were added, fewer.
// Varints of any width are read. A cell whose first 4 bytes a freeblock header overwrote (payload
// length, rowid, often the header size and the alias's NULL) is matched from the first serial type
// that survived, and its length must agree with the size that freeblock header gives.
//
// Nothing is taken on the header alone: every value must lie inside the region, texts must be
// clean UTF-8, dates plausible, and a table with text columns must show some text; a record that
// fails is no record. The rowid is taken from the
// payload-length and rowid varints before the header when they agree with the record's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "cellsalvage/carvedrecord.h"
#include "cellsalvage/tableschema.h"

namespace cellsalvage {

class RecordMatcher {
public:
    // Records carry at least `minFields` columns (those a carver prints lie among them).
    RecordMatcher(const TableSchema& schema, std::size_t minFields);

    // Every record in `region`, in order; a region is part of one page image: a freeblock with its
    // 4-byte header, an unallocated gap, or a whole page the file no longer uses.
    void Scan(std::span<const unsigned char> region,
              const std::function<void(CarvedRecord&&)>& found);

private:
    struct Column {
        std::uint16_t smallTypes = 0;  // bit t: serial type t (0 to 11) allowed
        bool text = false;
        bool blob = false;
        bool date = false;
    };
    // A record found at some place: its serial types from `firstColumn` on and where it lies.
    struct Match {
        std::size_t start = 0;  // of the header size, or of the first surviving serial type
        std::size_t typesStart = 0;
        std::size_t contentStart = 0;
        std::size_t end = 0;
        std::size_t firstColumn = 0;
        std::size_t fields = 0;  // columns carried from firstColumn on
    };

    bool Allowed(std::size_t column, std::uint64_t type) const;
    // Reads serial types from `position` for columns `firstColumn`… while the columns allow them,
    // up to `end` and the table's width, into types_ and typeEnds_.
    std::size_t ReadTypes(std::span<const unsigned char> region, std::size_t position,
                          std::size_t end, std::size_t firstColumn);
    // Where the values of the first `count` types read end, from `contentStart`.
    std::optional<std::size_t> ValuesEnd(std::size_t contentStart, std::size_t count,
                                         std::size_t limit) const;
    bool MatchIntact(std::span<const unsigned char> region, std::size_t position, Match& match);
    bool MatchOverwritten(std::span<const unsigned char> region, std::size_t position,
                          Match& match);
    // Whether cells freed on their own, each with its freeblock header, run from `position` to
    // the end of the freeblock they were merged into.
    static bool CellsFillTo(std::span<const unsigned char> region, std::size_t position,
                            std::size_t blockEnd);
    bool ValuesPlausible(std::span<const unsigned char> region, const Match& match) const;
    static std::optional<std::int64_t> RowidBefore(std::span<const unsigned char> region,
                                                   std::size_t start, std::uint64_t payload);
    CarvedRecord Record(std::span<const unsigned char> region, const Match& match) const;

    std::vector<Column> columns_;
    std::size_t minFields_;
    std::size_t leadingAliases_;
    bool hasTextColumn_ = false;
    std::vector<std::uint64_t> types_;
    std::vector<std::size_t> typeEnds_;
};

}  // namespace cellsalvage

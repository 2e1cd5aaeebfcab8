// Carves the deleted rows of one table out of a database and the write-ahead log beside it: the
// free space of the table's leaf pages (freeblocks and unallocated gaps), the database's freelist
// pages, and page images that newer ones replaced. Pages that belong to no table now are claimed
// record by record: only records that fit the table's header shape are taken from them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "cellsalvage/carvedrecord.h"
#include "cellsalvage/pageimages.h"
#include "cellsalvage/recordmatcher.h"
#include "cellsalvage/stalecopies.h"
#include "cellsalvage/tableschema.h"

namespace cellsalvage {

class TableCarver {
public:
    // Records carry at least `minFields` columns of `schema`.
    TableCarver(PageImages& images, const TableSchema& schema, std::size_t minFields);

    // The free space of the leaf pages of the table rooted at `rootPage`, as SQLite reads them
    // now; their cells are the live rows that stale copies are told by.
    void CarveLeaves(std::uint32_t rootPage);
    // Whole pages the database no longer reads: its freelist and replaced page images.
    void CarveReleasedPages();
    // Every deleted record found so far, once each, without stale copies of live rows.
    std::vector<CarvedRecord> DeletedRecords();

private:
    void ScanLeaf(const unsigned char* bytes, std::uint32_t page);
    void ScanWholePage(const unsigned char* bytes, std::uint32_t page);
    void Scan(const unsigned char* bytes, std::size_t from, std::size_t to);
    void Keep(CarvedRecord&& record);

    PageImages& images_;
    std::uint32_t usable_;
    RecordMatcher matcher_;
    LiveRows live_;
    std::vector<CarvedRecord> records_;
    std::unordered_map<std::uint64_t, std::size_t> byValues_;  // a record's values → its index
};

}  // namespace cellsalvage

namespace cellsalvage {

// One database carved table after table (the parsers' two steps per table: leaf pages first,
// then released pages and the result).
struct CarvingSession {
    std::unique_ptr<PageImages> images;
    std::vector<TableSchema> schemas;  // the tables to carve, as their Init step read them
    std::unique_ptr<TableCarver> carver;

    // False when the file is no SQLite database.
    bool Open(const std::u16string& path);
    // Carves the leaf pages of schemas[table]; records carry the columns up to the last wanted.
    void StartTable(std::size_t table, std::initializer_list<int> wanted, int rootPage);
    // Released pages, then the table's deleted records; nothing when no table was started.
    std::vector<CarvedRecord> FinishTable();
};

// Starts carving schemas[table] of `carving`; nothing without a session.
inline void StartCarving(CarvingSession* carving, std::size_t table,
                         std::initializer_list<int> wanted, int rootPage) {
    if (carving != nullptr) {
        carving->StartTable(table, wanted, rootPage);
    }
}

// Appends the deleted records of the table `carving` started on to `rows`, each as `row` makes it
// one of a parser's rows; nothing without a session.
template <typename Row, typename MakeRow>
void AppendCarvedRows(CarvingSession* carving, std::vector<Row>& rows, MakeRow row) {
    if (carving == nullptr) {
        return;
    }
    for (const CarvedRecord& record : carving->FinishTable()) {
        rows.push_back(row(record));
    }
}

// The content bytes of a column as stored (integers big-endian); "" when not carried.
std::string ColumnBytes(const CarvedRecord& record, int column);
// An integer column in decimal; "" when not carried or no integer.
std::string ColumnNumber(const CarvedRecord& record, int column);

}  // namespace cellsalvage

// The skeleton every reader shares: a read-only connection, statements stepped row by row, one
// zero-filled record per row linked at the tail, the callback after each record, and the list
// handed to the caller and to its slot at the end.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "cellsalvage/sqlquery.h"
#include "dbquarry/arena.h"
#include "dbquarry/currentlists.h"
#include "dbquarry/dbquarry.h"
#include "dbquarry/text.h"

namespace dbquarry {

// A read-only, immutable connection: a missing file gives null and creates nothing, and no
// journal or WAL file is ever written beside an evidence database.
cellsalvage::Connection OpenDatabase(const char16_t* path);

class Statement {
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Prepared() const { return statement_ != nullptr; }
    // The arena the row's texts go to: the one of the list being built.
    void UseArena(Arena& arena) { arena_ = &arena; }
    Arena& arena() const { return *arena_; }
    // True while the statement yields a row.
    bool Step();

    bool IsNull(int column) const;
    std::int32_t Int(int column) const;
    std::int64_t Int64(int column) const;
    double Double(int column) const;
    // A UTF-16 copy of a UTF-8 text column in the row's arena; null for NULL.
    char16_t* Text(int column) const;
    // The column's UTF-8 bytes ("" for NULL), valid until the next step.
    std::string_view Utf8(int column) const;
    // The column read as UTF-16 by SQLite ("" for NULL).
    std::u16string Utf16(int column) const;
    // Blob or text bytes, valid until the next step.
    std::string_view Bytes(int column) const;

private:
    sqlite3_stmt* statement_ = nullptr;
    Arena* arena_ = nullptr;
};

// The list under construction, in its own arena. What is not handed out is released with it.
template <typename Record>
class ListBuilder {
public:
    ListBuilder() : arena_(std::make_unique<Arena>()) {}

    // A zero-filled record linked at the tail; null when it cannot be allocated.
    Record* Append() {
        Record* record = arena_->NewRecord<Record>();
        if (record == nullptr) {
            return nullptr;
        }
        (tail_ != nullptr ? tail_->nextRecord : head_) = record;
        tail_ = record;
        return record;
    }

    Record* head() const { return head_; }
    Arena& arena() { return *arena_; }

    // Gives the list to its slot and the caller's head pointer. The slot takes the memory first:
    // if it cannot, the caller never sees records that are about to be released.
    void HandOut(Record** out, Slot<Record>& slot) {
        slot.Adopt(std::move(arena_));
        slot.Hold(head_);
        *out = head_;
        head_ = tail_ = nullptr;
    }

private:
    ArenaPtr arena_;
    Record* head_ = nullptr;
    Record* tail_ = nullptr;
};

// Row columns into record fields, picked by the field's type.
inline void ReadColumn(const Statement& row, int column, std::int32_t& field) {
    field = row.Int(column);
}
inline void ReadColumn(const Statement& row, int column, std::int64_t& field) {
    field = row.Int64(column);
}
inline void ReadColumn(const Statement& row, int column, double& field) {
    field = row.Double(column);
}
inline void ReadColumn(const Statement& row, int column, char16_t*& field) {
    field = row.Text(column);
}

// Reads the columns from `first` on into `fields`, one field each, in order.
template <typename... Fields>
void ReadColumns(const Statement& row, int first, Fields&... fields) {
    int column = first;
    (ReadColumn(row, column++, fields), ...);
}

enum class RowsRead { Done, NotPrepared, OutOfMemory };

// Builds one record per row of `sql`: fill(record, statement) sets its fields, then the callback
// (if any) sees it.
template <typename Record, typename Fill>
RowsRead ReadRows(sqlite3* db, const char* sql, ListBuilder<Record>& list, Fill fill,
                  RecordCallback callback, void* userData) {
    Statement statement(db, sql);
    if (!statement.Prepared()) {
        return RowsRead::NotPrepared;
    }
    statement.UseArena(list.arena());
    while (statement.Step()) {
        Record* record = list.Append();
        if (record == nullptr) {
            return RowsRead::OutOfMemory;
        }
        fill(*record, statement);
        if (callback != nullptr) {
            callback(record, userData);
        }
    }
    return RowsRead::Done;
}

// Builds the list of `sql` and hands it to its slot and *out: DBQUARRY_OK, `notPrepared` when the
// statement does not prepare, or DBQUARRY_OUT_OF_MEMORY (then nothing is handed out).
template <typename Record, typename Fill>
int ReadList(sqlite3* db, const char* sql, Record** out, Slot<Record>& slot, Fill fill,
             RecordCallback callback, void* userData, int notPrepared) {
    ListBuilder<Record> list;
    switch (ReadRows(db, sql, list, fill, callback, userData)) {
        case RowsRead::NotPrepared:
            return notPrepared;
        case RowsRead::OutOfMemory:
            return DBQUARRY_OUT_OF_MEMORY;
        case RowsRead::Done:
            break;
    }
    list.HandOut(out, slot);
    return DBQUARRY_OK;
}

// Hands every row of `sql` to visit(row): DBQUARRY_OK, or DBQUARRY_PREPARE_FAILED when the
// statement does not prepare.
template <typename Visit>
int VisitRows(sqlite3* db, const char* sql, Visit visit) {
    Statement statement(db, sql);
    if (!statement.Prepared()) {
        return DBQUARRY_PREPARE_FAILED;
    }
    while (statement.Step()) {
        visit(statement);
    }
    return DBQUARRY_OK;
}

// The first column of the first row of `sql` into *count; false when it does not prepare.
bool ReadCount(sqlite3* db, const char* sql, std::int32_t* count);

// Runs an export's body so that no exception crosses the C interface: running out of memory
// gives DBQUARRY_OUT_OF_MEMORY, anything else `onOtherError`.
template <typename Body>
int Guarded(Body body, int onOtherError = DBQUARRY_OUT_OF_MEMORY) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return DBQUARRY_OUT_OF_MEMORY;
    } catch (...) {
        return onOtherError;
    }
}

// An export's body on a read-only connection to `path`, run through Guarded; a file that cannot be
// opened gives DBQUARRY_OPEN_FAILED.
template <typename Body>
int WithDatabase(const char16_t* path, Body body) noexcept {
    return Guarded([&] {
        const cellsalvage::Connection db = OpenDatabase(path);
        if (db == nullptr) {
            return static_cast<int>(DBQUARRY_OPEN_FAILED);
        }
        return body(db.get());
    });
}

}  // namespace dbquarry

// IphoneSqlitParse in contacts mode on AddressBook databases built with SQLite from the real
// layout: numbers carved from freeblocks and unassigned areas, joined with carved or live owners.
#include <sqlite3.h>

#include <set>

#include "tests/cellsalvage/test_ios_support.h"

namespace {

using namespace ios_test;

// Person 281 comes first; persons 2..31 follow with one number each, person 10 with three more
// and person 28 with a second one. Each table fits one page, so no split moves cells around.
void BuildAddressBook(const fs::path& path, int lastRowid = 31) {
    Database db = CreateFromSchema(path, "addressbook.sql");
    db.Exec("BEGIN");
    AddPerson(db, 281, "Ada", "Lovelace");
    AddNumber(db, 281, "+1 555 0281");
    for (int rowid = 2; rowid <= lastRowid; ++rowid) {
        AddPerson(db, rowid, "First" + std::to_string(rowid), "Last" + std::to_string(rowid));
        AddNumber(db, rowid, NumberOf(rowid));
        if (rowid == 10) {
            for (const char* extra : {"+1 555 9910a", "+1 555 9910b", "+1 555 9910c"}) {
                AddNumber(db, rowid, extra);
            }
        }
        if (rowid == 28) {
            AddNumber(db, rowid, "+1 555 9928");
        }
    }
    db.Exec("COMMIT");
}

// BuildAddressBook's book in `dir`, after `deletions` ran on a further connection.
fs::path BuildThenDelete(const TempDir& dir, const std::string& deletions, int lastRowid = 31) {
    const fs::path addressBook = dir / "AddressBook.sqlitedb";
    BuildAddressBook(addressBook, lastRowid);
    Reopen(addressBook).Exec(deletions);
    return addressBook;
}

TEST(IosContacts, DeletedNumbersComeBackWithCarvedLiveOrNoOwner) {
    TempDir dir;
    // 20 and 25 lie inside their pages (freeblocks); 31 was written last, so its cells sit at the
    // start of the cell content area and go back to the unassigned gap.
    const fs::path addressBook = BuildThenDelete(
        dir,
        "DELETE FROM ABPerson WHERE ROWID IN (20, 25, 31); "
        "DELETE FROM ABMultiValue WHERE record_id IN (20, 25, 28, 31) OR value = '+1 555 9910b'");
    const FolderState before = Snapshot(dir.path());

    const std::string text = Parse(addressBook, {}, kContacts, kIos5);

    EXPECT_EQ(SortedLines(text),
              Sorted({
                  // 31 went back to the unassigned gap, but SQLite first wrote a freeblock
                  // header over the start of the person's cell, rowid included.
                  "N/A\t" + NumberOf(31),
                  // Owner live with three remaining numbers: one line per names row.
                  "Last10First10\t+1 555 9910b",
                  "Last10First10\t+1 555 9910b",
                  "Last10First10\t+1 555 9910b",
                  // Owner carved from a freeblock (no rowid) and no live owner.
                  "N/A\t" + NumberOf(20),
                  // Two adjacent deleted cells merged into one freeblock; their owner is live
                  // without any number left.
                  "Last28First28\t" + NumberOf(28),
                  "Last28First28\t+1 555 9928",
                  // Owner 25 is gone with its rowid: never another person's name (281 shares
                  // its low byte).
                  "N/A\t" + NumberOf(25),
              }));
    EXPECT_EQ(Snapshot(dir.path()), before) << "the parse changed or created a file";
}

TEST(IosContacts, OwnerLeftWholeByAPageSplitIsJoinedByItsRowid) {
    TempDir dir;
    // With 45 persons the person table splits into two leaves.
    const fs::path addressBook =
        BuildThenDelete(dir,
                        "DELETE FROM ABPerson WHERE ROWID IN (20, 34); "
                        "DELETE FROM ABMultiValue WHERE record_id IN (20, 34)",
                        45);
    // The split left a whole copy of person 34's cell (rowid and header) in the unassigned gap.
    EXPECT_EQ(SortedLines(Parse(addressBook, {}, kContacts, kIos5)),
              Sorted({"Last34First34\t" + NumberOf(34), "N/A\t" + NumberOf(20)}));
}

TEST(IosContacts, PersonCarvedWithoutRowidOwnsNoNumber) {
    TempDir dir;
    const fs::path addressBook = dir / "AddressBook.sqlitedb";
    {
        Database db = CreateFromSchema(addressBook, "addressbook.sql");
        db.Exec("BEGIN");
        AddPerson(db, 1, "Owner", "First");
        AddNumber(db, 1, "+1 555 0001");
        FillAddressBook(db, 10);
        db.Exec("COMMIT");
        db.Exec("DELETE FROM ABPerson WHERE ROWID IN (1, 5)");
        db.Exec("DELETE FROM ABMultiValue WHERE record_id = 1");
    }
    // record_id 1 is stored as the constant type 9, so its carved bytes are empty, and so is the
    // identifier of a person carved from a freeblock: equal, but no evidence of ownership.
    EXPECT_EQ(Parse(addressBook, {}, kContacts, kIos5), "N/A\t+1 555 0001\r\n");
}

TEST(IosContacts, StaleCopiesLeftByRebalancingAreNotReported) {
    TempDir dir;
    const fs::path addressBook = dir / "AddressBook.sqlitedb";
    std::set<std::string> live;
    {
        Database db = CreateFromSchema(addressBook, "addressbook.sql");
        db.Exec("BEGIN");
        FillAddressBook(db, 400);
        db.Exec("COMMIT");
        // Longer values no longer fit their pages: SQLite rebalances them and leaves copies of
        // the cells it moved in free space.
        db.Exec(
            "UPDATE ABMultiValue SET value = value || ' (home office)' WHERE record_id % 3 = 0");
        db.Exec("DELETE FROM ABMultiValue WHERE record_id % 50 = 7");
        db.Exec("DELETE FROM ABPerson WHERE ROWID % 50 = 7");
    }
    {
        Database db(addressBook);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db.handle(), "SELECT value FROM ABMultiValue", -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            live.insert(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        }
        sqlite3_finalize(statement);
    }
    const std::string text = Parse(addressBook, {}, kContacts, kIos5);
    const std::vector<std::string> lines = SortedLines(text);
    EXPECT_GE(lines.size(), 8U);
    for (const std::string& line : lines) {
        const std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        EXPECT_FALSE(live.count(line.substr(tab + 1))) << "live value reported: " << line;
    }
}

TEST(IosContacts, NothingWithoutAnAddressBookOrWithOsZero) {
    TempDir dir;
    const fs::path addressBook =
        BuildThenDelete(dir, "DELETE FROM ABMultiValue WHERE record_id = 20");
    EXPECT_FALSE(Parse(addressBook, {}, kContacts, kIos5).empty());
    EXPECT_EQ(Parse(addressBook, {}, kContacts, 0), "");
    EXPECT_EQ(Parse(dir / "missing.sqlitedb", {}, kContacts, kIos5), "");
    EXPECT_EQ(Parse(addressBook, {}, 3, kIos5), "");
    EXPECT_EQ(Parse(addressBook, {}, -1, kIos5), "");

    IphoneSqlitParse labelled(std::string("iPhone"));
    labelled.startParse(PARSE_CONTACTS, OS_IOS5);
    EXPECT_EQ(labelled.recoveredText, "");
}

TEST(IosContacts, NotAnAddressBookGivesNothing) {
    TempDir dir;
    const fs::path notes = dir / "notes.sqlite";
    { Database db = CreateFromSchema(notes, "notes.sql"); }
    WriteFile(dir / "garbage.sqlitedb", std::string(8192, '\x0d'));
    EXPECT_EQ(Parse(notes, {}, kContacts, kIos5), "");
    EXPECT_EQ(Parse(dir / "garbage.sqlitedb", {}, kContacts, kIos5), "");
}

}  // namespace

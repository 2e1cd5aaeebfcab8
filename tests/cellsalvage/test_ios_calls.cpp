// IphoneSqlitParse in call-history mode on call_history.db files built with SQLite from the real
// layout, and the share of surviving deleted rows the engine brings back for every iOS table.
#include <cstdint>
#include <functional>
#include <set>

#include "tests/cellsalvage/test_ios_support.h"

namespace {

using namespace ios_test;

// Calls 1..280; the interesting ones are deleted below. Rowids from 128 on take two bytes, so the
// freeblock header covers exactly payload length, rowid and header size.
std::string CallAddress(int n) {
    switch (n) {
        case 150:
            return NumberOf(3);
        case 200:
            return "+1 555 0777";
        case 201:
            return "+44 20 7946 0958";
        default:
            return "+1 555 3" + std::to_string(1000 + n);
    }
}

std::int64_t CallFlags(int n) {
    if (n == 201) {
        return 20;  // neither incoming nor outgoing
    }
    return n % 2 == 0 ? 5 : 4;
}

TEST(IosCalls, DeletedCallsWithOwnersAndDirection) {
    const SharedNumberFolder folder("call_history.db");
    // 150 alone, 200 and 201 merged into one freeblock; 280, written last, sits at the start of
    // the cell content area and goes back to the unassigned gap (its leaf is full enough not to be
    // rebalanced, which would overwrite it).
    BuildRecordDb(
        folder.recordDb, "call-history.sql", 280,
        [](Database& db, int n) { AddCall(db, CallAddress(n), CallFlags(n), n); },
        "DELETE FROM call WHERE ROWID IN (150, 200, 201, 280)");
    const FolderState before = Snapshot(folder.dir.path());

    EXPECT_EQ(SortedLines(folder.Carve(kCalls, 2)),
              Sorted({
                  "Last3First3-" + NumberOf(3) + "\tOutgoing",
                  "HopperGrace-+1 555 0777\tTuringAlan-+1 555 0777\tOutgoing",
                  "N/A-+44 20 7946 0958\tN/A",
                  "N/A-+1 555 31280\tOutgoing",
              }));
    // Every non-zero OS value reads calls alike; 0 and unknown types do nothing.
    EXPECT_EQ(folder.Carve(kCalls, 7), folder.Carve(kCalls, 2));
    EXPECT_EQ(folder.Carve(kCalls, 0), "");
    EXPECT_EQ(folder.Carve(9, 2), "");
    EXPECT_EQ(Parse(folder.dir / "missing.sqlitedb", folder.recordDb, kCalls, 2), "");
    EXPECT_EQ(Snapshot(folder.dir.path()), before) << "the parse changed or created a file";
}

// With secure_delete on, SQLite zeroes deleted cells: their freeblocks and the unassigned gap hold
// nothing, and nothing is printed for them (no empty records).
TEST(IosCalls, ZeroedFreeSpaceGivesNothing) {
    const SharedNumberFolder folder("call_history.db");
    Database db =
        FillRecordDb(folder.recordDb, "call-history.sql", 280,
                     [](Database& calls, int n) { AddCall(calls, CallAddress(n), 4, n); });
    db.Exec("PRAGMA secure_delete = ON; DELETE FROM call WHERE ROWID IN (150, 200, 201, 280)");
    EXPECT_EQ(folder.Carve(kCalls, 2), "");
}

// A deterministic choice of about a fifth of the rows.
std::vector<int> PickDeleted(int rows, std::uint32_t seed) {
    std::vector<int> picked;
    for (int n = 1; n <= rows; ++n) {
        seed = seed * 1664525U + 1013904223U;
        if ((seed >> 24) % 5 == 0) {
            picked.push_back(n);
        }
    }
    return picked;
}

// Deletes the rows one statement at a time, as a user removes them, in a shuffled order.
void DeleteRows(Database& db, const std::string& table, std::vector<int> rows) {
    db.Exec("PRAGMA secure_delete = OFF");
    for (std::size_t i = 0; i + 1 < rows.size(); i += 2) {
        std::swap(rows[i], rows[i + 1]);
    }
    for (const int n : rows) {
        db.Exec("DELETE FROM " + table + " WHERE ROWID = " + std::to_string(n));
    }
}

// Fills `file`, made from `schema`, with rows 1..rows of `table`, row n written by add(db, n);
// then deletes about a fifth of them, picked by `seed`. What mark(n) gives for each row deleted.
std::vector<std::string> FillThenDeleteAFifth(const fs::path& file, const char* schema,
                                              const std::string& table, int rows,
                                              std::uint32_t seed,
                                              const std::function<std::string(int)>& mark,
                                              const std::function<void(Database&, int)>& add) {
    Database db = FillRecordDb(file, schema, rows, add);
    const std::vector<int> deleted = PickDeleted(rows, seed);
    std::vector<std::string> marks;
    for (const int n : deleted) {
        marks.push_back(mark(n));
    }
    DeleteRows(db, table, deleted);
    return marks;
}

// Overwrites `count` random bytes past page 1 (the schema stays readable, so every carver runs).
void Scramble(const fs::path& file, std::uint32_t seed, int count) {
    std::string bytes = ReadFile(file);
    for (int i = 0; i < count && bytes.size() > 4096; ++i) {
        seed = seed * 1664525U + 1013904223U;
        const std::size_t at = 4096 + seed % (bytes.size() - 4096);
        seed = seed * 1664525U + 1013904223U;
        bytes[at] = static_cast<char>(seed >> 24);
    }
    WriteFile(file, bytes);
}

// A fresh folder with room for a database of each iOS kind.
struct IosFolder {
    TempDir dir;
    fs::path addressBook = dir / "AddressBook.sqlitedb";
    fs::path ios5Db = dir / "sms5.db";
    fs::path ios6Db = dir / "sms6.db";
    fs::path callDb = dir / "call_history.db";
};

TEST(IosCorruptFiles, DamagedPagesYieldFewerRowsNeverACrash) {
    const IosFolder folder;
    const auto& [dir, addressBook, ios5Db, ios6Db, callDb] = folder;
    {
        Database ab = CreateFromSchema(addressBook, "addressbook.sql");
        Database sms5 = CreateFromSchema(ios5Db, "ios5-sms-fresh.sql");
        Database sms6 = CreateFromSchema(ios6Db, "ios6-sms.sql");
        Database calls = CreateFromSchema(callDb, "call-history.sql");
        for (Database* db : {&ab, &sms5, &sms6, &calls}) {
            db->Exec("BEGIN");
        }
        FillAddressBook(ab, 120);
        for (int n = 1; n <= 120; ++n) {
            AddIos5Message(sms5, NumberOf(2 + n % 9), "SMS #" + std::to_string(n), n);
            AddIos6Message(sms6, n, "iMessage #" + std::to_string(n));
            AddCall(calls, NumberOf(2 + n % 9), 4 + n % 2, n);
        }
        for (Database* db : {&ab, &sms5, &sms6, &calls}) {
            db->Exec("COMMIT");
        }
        ab.Exec(
            "DELETE FROM ABMultiValue WHERE UID % 4 = 1; DELETE FROM ABPerson WHERE ROWID % 4 = 1");
        sms5.Exec("DELETE FROM message WHERE ROWID % 4 = 1");
        sms6.Exec("DELETE FROM message WHERE ROWID % 4 = 1");
        calls.Exec("DELETE FROM call WHERE ROWID % 4 = 1");
    }
    const fs::path copies[] = {dir / "ab.copy", dir / "sms5.copy", dir / "sms6.copy",
                               dir / "call.copy"};
    const fs::path originals[] = {addressBook, ios5Db, ios6Db, callDb};
    for (int i = 0; i < 4; ++i) {
        fs::copy_file(originals[i], copies[i]);
    }
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        for (int i = 0; i < 4; ++i) {
            fs::copy_file(copies[i], originals[i], fs::copy_options::overwrite_existing);
            Scramble(originals[i], seed * 31 + static_cast<std::uint32_t>(i), 400);
        }
        // Whatever comes back is well formed: every record ends its line.
        for (const std::string& text :
             {Parse(addressBook, {}, kContacts, 2), Parse(addressBook, ios5Db, kMessages, 2),
              Parse(addressBook, ios6Db, kMessages, 3), Parse(addressBook, callDb, kCalls, 2)}) {
            EXPECT_TRUE(text.empty() || text.ends_with("\r\n"));
        }
    }
}

TEST(IosRecoveryShare, PrintsTheShareOfSurvivingDeletedRowsRecoveredPerTable) {
    const IosFolder folder;
    const auto& [dir, addressBook, ios5Db, ios6Db, callDb] = folder;

    // Contacts: 300 persons with a number each; a fifth of the persons leave with their number,
    // another fifth of the numbers are removed from live persons.
    std::vector<std::string> deletedNumbers;
    std::vector<std::string> deletedNames;
    {
        Database db = CreateFromSchema(addressBook, "addressbook.sql");
        db.Exec("BEGIN");
        FillAddressBook(db, 300);
        db.Exec("COMMIT");
        const std::vector<int> persons = PickDeleted(301, 7);
        const std::vector<int> numbers = PickDeleted(300, 11);
        db.Exec("PRAGMA secure_delete = OFF");
        for (const int rowid : persons) {
            if (rowid < 2) {
                continue;
            }
            db.Exec("DELETE FROM ABPerson WHERE ROWID = " + std::to_string(rowid));
            db.Exec("DELETE FROM ABMultiValue WHERE record_id = " + std::to_string(rowid));
            deletedNames.push_back("Last" + std::to_string(rowid) + "First" +
                                   std::to_string(rowid) + "\t");
            deletedNumbers.push_back(NumberOf(rowid));
        }
        for (const int uid : numbers) {
            const std::string value =
                db.QueryText("SELECT value FROM ABMultiValue WHERE UID = " + std::to_string(uid));
            if (!value.empty()) {
                db.Exec("DELETE FROM ABMultiValue WHERE UID = " + std::to_string(uid));
                deletedNumbers.push_back(value);
            }
        }
    }
    const std::string contacts = Parse(addressBook, {}, kContacts, 2);

    const auto smsMark = [](int n) { return "SMS #" + std::to_string(n) + "."; };
    const std::vector<std::string> ios5Texts = FillThenDeleteAFifth(
        ios5Db, "ios5-sms-upgraded.sql", "message", 300, 3, smsMark, [&](Database& db, int n) {
            const std::string tail =
                n % 3 == 0 ? " Call me back when you land, the car is parked at level 2" : "";
            AddIos5Message(db, NumberOf(2 + n % 40), smsMark(n) + tail, n);
        });
    const std::string ios5 = Parse(addressBook, ios5Db, kMessages, 2);

    const auto iMessageMark = [](int n) { return "iMessage #" + std::to_string(n) + "."; };
    const std::vector<std::string> ios6Texts =
        FillThenDeleteAFifth(ios6Db, "ios6-sms.sql", "message", 300, 5, iMessageMark,
                             [&](Database& db, int n) { AddIos6Message(db, n, iMessageMark(n)); });
    const std::string ios6 = Parse(addressBook, ios6Db, kMessages, 3);

    const auto callMark = [](int n) { return "+1 555 3" + std::to_string(1000 + n); };
    const std::vector<std::string> callAddresses = FillThenDeleteAFifth(
        callDb, "call-history.sql", "call", 400, 9, callMark,
        [&](Database& db, int n) { AddCall(db, callMark(n), n % 2 == 0 ? 5 : 4, n); });
    const std::string calls = Parse(addressBook, callDb, kCalls, 2);

    const Share numbers = MeasureShare(addressBook, deletedNumbers, contacts);
    const Share ios5Share = MeasureShare(ios5Db, ios5Texts, ios5);
    const Share ios6Share = MeasureShare(ios6Db, ios6Texts, ios6);
    const Share callShare = MeasureShare(callDb, callAddresses, calls);
    PrintShare("ABMultiValue (value)", numbers);
    PrintShare("iOS 5 message (text)", ios5Share);
    PrintShare("iOS 6 message (text)", ios6Share);
    PrintShare("call (address)", callShare);
    int namesBack = 0;
    for (const std::string& name : deletedNames) {
        namesBack += contacts.find(name) != std::string::npos ? 1 : 0;
    }
    std::cout << "[share] ABPerson: " << namesBack << " of " << deletedNames.size()
              << " deleted persons named beside a carved number\n";

    EXPECT_GT(numbers.recovered, 0);
    EXPECT_GT(ios5Share.recovered, 0);
    EXPECT_GT(ios6Share.recovered, 0);
    EXPECT_GT(callShare.recovered, 0);
}

}  // namespace

// IphoneSqlitParse in messages mode on iOS 5 (both physical orders) and iOS 6 sms.db files built
// with SQLite from the real layouts, joined with the numbers of an AddressBook.
#include <sqlite3.h>

#include <set>

#include "tests/cellsalvage/test_ios_support.h"

namespace {

using namespace ios_test;

std::vector<std::string> NamesOf(const std::string& address) {
    if (address == "+1 555 0777") {
        return {"HopperGrace", "TuringAlan"};
    }
    for (int rowid = 2; rowid <= 6; ++rowid) {
        if (address == NumberOf(rowid)) {
            return {"Last" + std::to_string(rowid) + "First" + std::to_string(rowid)};
        }
    }
    return {};
}

struct Message {
    std::string address;
    std::string text;
};

// The lines an iOS 5 message gives: one per owner of its address, or one "N/A-" line.
void AddExpectedLines(const Message& message, std::vector<std::string>& lines) {
    const std::vector<std::string> names = NamesOf(message.address);
    for (const std::string& name : names) {
        lines.push_back(name + "-" + message.address + "\t" + message.text);
    }
    if (names.empty()) {
        lines.push_back("N/A-" + (message.address.empty() ? "N/A" : message.address) + "\t" +
                        (message.text.empty() ? "N/A" : message.text));
    }
}

// Message rowid n (from 1) as iOS 5 writes a received or sent SMS; texts vary in length so
// records use one- and two-byte payload lengths.
Message Ios5Message(int n) {
    static const char* const kAddresses[] = {"+1 555 01002", "+1 555 0777", "+1 555 0999",
                                             "+1 555 01004", "+1 555 01006"};
    Message message{kAddresses[n % 5], "Message " + std::to_string(n) + ": see you at " +
                                           std::to_string(n % 12 + 1) + " o'clock"};
    if (n % 3 == 0) {
        message.text += ", and bring the blue folder with the signed papers please";
    }
    return message;
}

class Ios5Messages : public ::testing::TestWithParam<const char*> {};

TEST_P(Ios5Messages, DeletedMessagesFromFreeblocksAndUnassignedAreaWithTheirOwners) {
    const SharedNumberFolder folder("sms.db");
    std::vector<Message> messages;
    // 6 and 10 alone, 18 and 19 merged into one freeblock, 28 back to the unassigned gap.
    BuildRecordDb(
        folder.recordDb, GetParam(), 28,
        [&](Database& db, int n) {
            // Message 15 has neither address nor text (an MMS whose parts were removed).
            messages.push_back(n == 15 ? Message{} : Ios5Message(n));
            AddIos5Message(db, messages.back().address, messages.back().text, n);
        },
        "DELETE FROM message WHERE ROWID IN (6, 10, 15, 18, 19, 28)");
    std::vector<std::string> expected;
    for (const int n : {6, 10, 15, 18, 19, 28}) {
        AddExpectedLines(messages[static_cast<std::size_t>(n - 1)], expected);
    }
    const FolderState before = Snapshot(folder.dir.path());

    EXPECT_EQ(SortedLines(folder.Carve(kMessages, 2)), Sorted(expected));
    EXPECT_EQ(SortedLines(folder.Carve(kMessages, 1)), Sorted(expected));
    EXPECT_EQ(Snapshot(folder.dir.path()), before) << "the parse changed or created a file";
}

INSTANTIATE_TEST_SUITE_P(BothPhysicalOrders, Ios5Messages,
                         ::testing::Values("ios5-sms-upgraded.sql", "ios5-sms-fresh.sql"));

// The message table as iOS 4 made it; iOS 5 added the madrid columns with ALTER TABLE, which
// leaves the rows written before as they were: records with 17 fields in a table of 33 columns.
TEST(Ios5Messages, RowsWrittenBeforeColumnsWereAddedComeBack) {
    const SharedNumberFolder folder("sms.db");
    std::vector<Message> messages;
    {
        Database db(folder.recordDb);
        db.Exec(
            "PRAGMA page_size = 4096; PRAGMA auto_vacuum = NONE; PRAGMA secure_delete = OFF;"
            "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date "
            "INTEGER, text TEXT, flags INTEGER, replace INTEGER, svc_center TEXT, group_id "
            "INTEGER, association_id INTEGER, height INTEGER, UIFlags INTEGER, version INTEGER, "
            "subject TEXT, country TEXT, headers BLOB, recipients BLOB, read INTEGER); BEGIN");
        for (int n = 1; n <= 30; ++n) {
            messages.push_back(Ios5Message(n));
            db.Run(
                "INSERT INTO message (address, date, text, flags, replace, group_id, "
                "association_id, height, UIFlags, version, country, read) "
                "VALUES (?1, ?2, ?3, 2, 0, 1, 0, 0, 0, 0, 'us', 1)",
                {messages.back().address, std::int64_t{1300000000} + n * 60, messages.back().text});
        }
        db.Exec("COMMIT");
        for (const char* column :
             {"madrid_attributedBody BLOB", "madrid_handle TEXT", "madrid_version INTEGER",
              "madrid_guid TEXT", "madrid_type INTEGER", "madrid_roomname TEXT",
              "madrid_service TEXT", "madrid_account TEXT", "madrid_flags INTEGER",
              "madrid_attachmentInfo BLOB", "madrid_url TEXT", "madrid_error INTEGER",
              "is_madrid INTEGER", "madrid_date_read INTEGER", "madrid_date_delivered INTEGER",
              "madrid_account_guid TEXT"}) {
            db.Exec(std::string("ALTER TABLE message ADD COLUMN ") + column);
        }
        for (int n = 31; n <= 40; ++n) {
            messages.push_back(Ios5Message(n));
            AddIos5Message(db, messages.back().address, messages.back().text, n);
        }
        // Short rows alone and merged (6, 10, 18 and 19), a whole row inside the page (35) and
        // the last row written, back in the unassigned gap (40).
        db.Exec("DELETE FROM message WHERE ROWID IN (6, 10, 18, 19, 35, 40)");
    }
    std::vector<std::string> expected;
    for (const int n : {6, 10, 18, 19, 35, 40}) {
        AddExpectedLines(messages[static_cast<std::size_t>(n - 1)], expected);
    }
    EXPECT_EQ(SortedLines(folder.Carve(kMessages, kIos5)), Sorted(expected));
}

std::string Ios6Text(int n) {
    return "iMessage #" + std::to_string(n) +
           (n % 4 == 0 ? ". Running late, start without me" : ".");
}

TEST(Ios6Messages, DeletedTextsComeBackAndNoLiveTextIsReported) {
    const SharedNumberFolder folder("sms.db");
    const std::set<int> deleted = {30, 77, 140, 141, 142, 199, 200};
    // About ten messages a page: the tree splits many times.
    BuildRecordDb(
        folder.recordDb, "ios6-sms.sql", 200,
        [](Database& db, int n) { AddIos6Message(db, n, Ios6Text(n)); },
        "DELETE FROM message WHERE ROWID IN (30, 77, 140, 141, 142, 199, 200)");
    const FolderState before = Snapshot(folder.dir.path());

    const std::string text = folder.Carve(kMessages, 3);

    // Deleting from the last leaf rebalances it, which overwrites some deleted cells: only texts
    // whose bytes are still in the file can come back.
    const std::string bytes = ReadFile(folder.recordDb);
    std::set<std::string> wanted;
    std::set<std::string> surviving;
    for (const int n : deleted) {
        wanted.insert(Ios6Text(n));
        if (bytes.find(Ios6Text(n)) != std::string::npos) {
            surviving.insert(Ios6Text(n));
        }
    }
    EXPECT_GE(surviving.size(), 5U);
    const std::vector<std::string> lines = SortedLines(text);
    for (const std::string& line : lines) {
        EXPECT_TRUE(wanted.count(line)) << "not a deleted text: " << line;
    }
    for (const std::string& want : surviving) {
        EXPECT_TRUE(std::count(lines.begin(), lines.end(), want)) << "missing: " << want;
    }
    EXPECT_EQ(folder.Carve(kMessages, 4), "") << "iOS 6 carving writes nothing";
    EXPECT_EQ(Snapshot(folder.dir.path()), before) << "the parse changed or created a file";
}

// In WAL mode the rows deleted since the last checkpoint lie in the log beside the database: in
// the database's older image of their page, or in an earlier frame of the log. They come back,
// the log is only read (never checkpointed) and rows still live are not reported.
TEST(Ios6Messages, DeletedRowsInTheWriteAheadLogComeBack) {
    const SharedNumberFolder folder("sms.db");
    {
        Database db = CreateFromSchema(folder.recordDb, "ios6-sms.sql");
        db.Exec("PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;");
        sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        const auto addRows = [&](int first, int last) {
            db.Exec("BEGIN");
            for (int n = first; n <= last; ++n) {
                AddIos6Message(db, n, Ios6Text(n));
            }
            db.Exec("COMMIT");
        };
        addRows(1, 60);
        db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
        addRows(61, 80);
        db.Exec("PRAGMA secure_delete = OFF; DELETE FROM message WHERE ROWID IN (7, 33, 62, 75)");
    }
    ASSERT_TRUE(fs::exists(folder.recordDb.string() + "-wal"));
    const FolderState before = Snapshot(folder.dir.path());

    EXPECT_EQ(SortedLines(folder.Carve(kMessages, kIos6)),
              Sorted({Ios6Text(7), Ios6Text(33), Ios6Text(62), Ios6Text(75)}));
    EXPECT_EQ(Snapshot(folder.dir.path()), before) << "the parse changed or created a file";
}

TEST(IosMessages, NothingWithoutAddressBookOrWithOsZero) {
    const SharedNumberFolder folder("sms.db");
    BuildRecordDb(
        folder.recordDb, "ios5-sms-fresh.sql", 5,
        [](Database& db, int n) {
            AddIos5Message(db, Ios5Message(n).address, Ios5Message(n).text, n);
        },
        "DELETE FROM message WHERE ROWID = 2");
    const FolderState before = Snapshot(folder.dir.path());
    EXPECT_FALSE(folder.Carve(kMessages, 2).empty());
    EXPECT_EQ(Parse(folder.dir / "missing.sqlitedb", folder.recordDb, kMessages, 2), "");
    EXPECT_EQ(Parse(folder.addressBook, folder.dir / "missing.db", kMessages, 2), "");
    EXPECT_EQ(folder.Carve(kMessages, 0), "");
    EXPECT_EQ(folder.Carve(5, 2), "");
    // A message database without a message table: nothing to carve.
    EXPECT_EQ(Parse(folder.addressBook, folder.addressBook, kMessages, 2), "");
    EXPECT_EQ(Snapshot(folder.dir.path()), before);
}

}  // namespace

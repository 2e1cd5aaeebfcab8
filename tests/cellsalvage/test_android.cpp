// SqliteParse on Android contacts2.db and mmssms.db built with SQLite from the real layouts: rows
// carved from freeblocks and unassigned areas, names paired with numbers, messages joined with
// live contacts, the text files in the current folder, and the evidence files left untouched.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cellsalvage/sqliteparse.h"
#include "platform/textcodec.h"
#include "tests/support/tempdir.h"
#include "tools/dbfixtures/dbfixtures.h"

namespace {

namespace fs = std::filesystem;
using namespace pixhaven::dbfixtures;
using namespace pixhaven::test;

// Older SQLite versions wrote integers 0 and 1 with a content byte; newer ones as the constant
// types 8 and 9. The unassigned-area signatures must match both.
enum class FileFormat { Current, Legacy };

Database CreateAndroidDb(const fs::path& path, const char* schema, FileFormat format) {
    if (format == FileFormat::Current) {
        return CreateFromSchema(path, schema, 4096);
    }
    fs::remove(path);
    Database db(path);
    sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_LEGACY_FILE_FORMAT, 1, nullptr);
    db.Exec("PRAGMA page_size = 4096; PRAGMA auto_vacuum = NONE; PRAGMA secure_delete = OFF;");
    db.Exec(ReadFile(SchemaDir() / schema));
    return db;
}

// Rowids from 200 on take two bytes, so the freeblock header overwrites exactly the payload
// length, the rowid and (for long rows) the header size.
void AddData(Database& db, std::int64_t id, std::int64_t rawContactId, Value data1,
             const std::string& filler = "") {
    const std::int64_t mimetype = 5;
    db.Run(
        "INSERT INTO data (_id, mimetype_id, raw_contact_id, data1, data2, data15) "
        "VALUES (?1, ?2, ?3, ?4, '2', ?5)",
        {id, mimetype, rawContactId, std::move(data1),
         filler.empty() ? Value(Null{}) : Value(filler)});
}

void AddSms(Database& db, std::int64_t id, Value address, Value body) {
    db.Run(
        "INSERT INTO sms (_id, thread_id, address, person, date, protocol, read, status, type, "
        "body, service_center) VALUES (?1, 3, ?2, NULL, 1365000000000, 0, 1, -1, 1, ?3, "
        "'+8613800200500')",
        {id, std::move(address), std::move(body)});
}

class AndroidParseTest : public ::testing::Test {
protected:
    AndroidParseTest() { fs::create_directories(work); }

    // Runs one parse with the work folder as the current directory.
    std::string Parse(ePaserType type, eOSType os = OS_NONE) {
        const InFolder inWork(work);
        SqliteParse parser(pixhaven::platform::PathToUtf16(contactsPath),
                           pixhaven::platform::PathToUtf16(smsPath));
        parser.startParse(type, os);
        return parser.recoveredText;
    }

    // Live contacts: a name and a number for raw contact 5, a photo row (data1 NULL) and a name
    // for raw contact 6.
    void AddLiveContacts(Database& db) {
        AddData(db, 200, 5, std::string("Zhang Wei"));
        AddData(db, 201, 5, std::string("13800138000"));
        AddData(db, 202, 6, Null{});
        AddData(db, 203, 6, std::string("Photo Owner"));
    }

    TempDir dir;
    fs::path contactsPath = dir / "contacts2.db";
    fs::path smsPath = dir / "mmssms.db";
    fs::path work = dir / "work";
};

TEST_F(AndroidParseTest, OnlyOsNoneWithContactsOrMessagesDoesAnything) {
    {
        Database contacts =
            CreateAndroidDb(contactsPath, "android-contacts2.sql", FileFormat::Current);
        AddData(contacts, 200, 1, std::string("Gone"));
        AddData(contacts, 201, 2, std::string("Kept"));
        contacts.Exec("DELETE FROM data WHERE _id = 200");
        Database sms = CreateAndroidDb(smsPath, "android-mmssms.sql", FileFormat::Current);
        AddSms(sms, 200, std::string("10086"), std::string("gone"));
        AddSms(sms, 201, std::string("10086"), std::string("kept"));
        sms.Exec("DELETE FROM sms WHERE _id = 200");
    }
    EXPECT_EQ(Parse(PARSE_CONTACTS, OS_IOS5), "");
    EXPECT_EQ(Parse(PARSE_MESSAGES, OS_IOS6), "");
    EXPECT_EQ(Parse(PARSE_CALL_HISTORY), "");
    EXPECT_TRUE(fs::is_empty(work));
    EXPECT_EQ(Parse(PARSE_CONTACTS), "Gone\tN/A\r\n");
}

class AndroidContactsTest : public AndroidParseTest,
                            public ::testing::WithParamInterface<std::size_t> {};

// Short rows: the freeblock starts at the NULL type of _id. Long rows (two-byte payload length):
// it starts at the header size, which is skipped; merged cells are found either way.
TEST_P(AndroidContactsTest, FreeblockRowsPairNamesWithNumbers) {
    const std::string filler(GetParam(), 'x');
    {
        Database db = CreateAndroidDb(contactsPath, "android-contacts2.sql", FileFormat::Current);
        AddData(db, 200, 10, std::string("Li Lei"), filler);
        AddData(db, 201, 10, std::string("13912345678"), filler);
        AddData(db, 202, 11, std::string("Keep Me"), filler);
        AddData(db, 203, 12, std::string("10086"), filler);
        AddData(db, 204, 13, std::string("Han Meimei"), filler);
        AddData(db, 205, 14, std::string("Wang Fang"), filler);
        AddData(db, 206, 15, std::string("Live Tail"), filler);
        db.Exec("DELETE FROM data WHERE _id IN (200, 201, 203, 205)");
    }
    // Freeblocks in offset order: 205, 203, then 201 and 200 merged into one; the name row 200
    // labels its contact's number instead of standing alone.
    const std::string expected = "Wang Fang\tN/A\r\nN/A\t10086\r\nLi Lei\t13912345678\r\n";
    EXPECT_EQ(Parse(PARSE_CONTACTS), expected);
    EXPECT_EQ(ReadFile(work / "conctactdata.txt"), expected);
}

INSTANTIATE_TEST_SUITE_P(RowLengths, AndroidContactsTest, ::testing::Values(0, 150));

TEST_F(AndroidParseTest, ContactsFromTheUnassignedArea) {
    for (const FileFormat format : {FileFormat::Legacy, FileFormat::Current}) {
        {
            Database db = CreateAndroidDb(contactsPath, "android-contacts2.sql", format);
            AddData(db, 200, 19, std::string("Kept Name"));
            AddData(db, 201, 20, std::string("15000000000"));
            AddData(db, 202, 20, std::string("Zhou Xun"));
            // The lowest cells of the page: their space joins the unassigned area.
            db.Exec("DELETE FROM data WHERE _id = 202; DELETE FROM data WHERE _id = 201");
        }
        EXPECT_EQ(Parse(PARSE_CONTACTS), "Zhou Xun\t15000000000\r\n")
            << (format == FileFormat::Legacy ? "legacy" : "current") << " file format";
    }
}

// A row that grew moved; its old cell differs from the live row in the label (or subject), so it
// is no stale copy and is reported beside the deleted row.
TEST_F(AndroidParseTest, OldVersionsOfUpdatedRowsAreReported) {
    {
        Database contacts =
            CreateAndroidDb(contactsPath, "android-contacts2.sql", FileFormat::Current);
        AddData(contacts, 300, 30, std::string("Moved Name"));
        AddData(contacts, 301, 31, std::string("Gone Name"));
        AddData(contacts, 302, 32, std::string("Live Tail"));
        contacts.Exec(
            "UPDATE data SET data2 = 'a much longer label than before' WHERE _id = 300;"
            "DELETE FROM data WHERE _id = 301");
        Database sms = CreateAndroidDb(smsPath, "android-mmssms.sql", FileFormat::Current);
        AddSms(sms, 300, std::string("10010"), std::string("still here"));
        AddSms(sms, 301, std::string("10010"), std::string("deleted"));
        AddSms(sms, 302, std::string("10010"), std::string("tail"));
        sms.Exec(
            "UPDATE sms SET subject = 'a subject long enough to move the row' WHERE _id = 300;"
            "DELETE FROM sms WHERE _id = 301");
    }
    EXPECT_EQ(Parse(PARSE_CONTACTS), "Gone Name\tN/A\r\nMoved Name\tN/A\r\n");
    EXPECT_EQ(Parse(PARSE_MESSAGES), "N/A\t10010\tdeleted\r\nN/A\t10010\tstill here\r\n");
}

TEST_F(AndroidParseTest, MessagesAreJoinedWithLiveContacts) {
    {
        Database contacts =
            CreateAndroidDb(contactsPath, "android-contacts2.sql", FileFormat::Current);
        AddLiveContacts(contacts);
        Database sms = CreateAndroidDb(smsPath, "android-mmssms.sql", FileFormat::Current);
        AddSms(sms, 200, std::string("+8613800138000"), std::string("Dinner at 7?"));
        AddSms(sms, 201, std::string("live"), std::string("live"));
        AddSms(sms, 202, std::string("10086"), Null{});
        AddSms(sms, 203, std::string("live"), std::string("live"));
        // No address must not match the photo row, whose data1 is NULL.
        AddSms(sms, 204, Null{}, std::string("Hi"));
        AddSms(sms, 205, std::string("live"), std::string("live"));
        sms.Exec("DELETE FROM sms WHERE _id IN (200, 202, 204)");
    }
    const std::string expected =
        "N/A\tN/A\tHi\r\n"
        "N/A\t10086\tN/A\r\n"
        "Zhang Wei\t+8613800138000\tDinner at 7?\r\n";
    EXPECT_EQ(Parse(PARSE_MESSAGES), expected);
    EXPECT_EQ(ReadFile(work / "smsdata.txt"), expected);
}

TEST_F(AndroidParseTest, MessagesFromTheUnassignedArea) {
    for (const FileFormat format : {FileFormat::Legacy, FileFormat::Current}) {
        {
            Database contacts = CreateAndroidDb(contactsPath, "android-contacts2.sql", format);
            AddLiveContacts(contacts);
            Database sms = CreateAndroidDb(smsPath, "android-mmssms.sql", format);
            AddSms(sms, 200, std::string("10086"), std::string("kept"));
            AddSms(sms, 201, std::string("13800138000"), std::string("See you"));
            sms.Exec("DELETE FROM sms WHERE _id = 201");
        }
        EXPECT_EQ(Parse(PARSE_MESSAGES), "Zhang Wei\t13800138000\tSee you\r\n")
            << (format == FileFormat::Legacy ? "legacy" : "current") << " file format";
    }
}

TEST_F(AndroidParseTest, MessagesNeedBothDatabases) {
    {
        Database sms = CreateAndroidDb(smsPath, "android-mmssms.sql", FileFormat::Current);
        AddSms(sms, 200, std::string("10086"), std::string("gone"));
        AddSms(sms, 201, std::string("10086"), std::string("kept"));
        sms.Exec("DELETE FROM sms WHERE _id = 200");
    }
    EXPECT_EQ(Parse(PARSE_MESSAGES), "");
    EXPECT_FALSE(fs::exists(work / "smsdata.txt"));
}

TEST_F(AndroidParseTest, AnEarlierResultFileIsReplacedEvenByNothing) {
    {
        Database db = CreateAndroidDb(contactsPath, "android-contacts2.sql", FileFormat::Current);
        AddData(db, 200, 1, std::string("Nobody Deleted"));
    }
    WriteFile(work / "conctactdata.txt", "Old Result\tN/A\r\n");
    EXPECT_EQ(Parse(PARSE_CONTACTS), "");
    EXPECT_EQ(ReadFile(work / "conctactdata.txt"), "");
}

TEST_F(AndroidParseTest, DatabasesAreLeftUntouched) {
    {
        Database contacts =
            CreateAndroidDb(contactsPath, "android-contacts2.sql", FileFormat::Current);
        AddLiveContacts(contacts);
        contacts.Exec("DELETE FROM data WHERE _id = 201");
        Database sms = CreateAndroidDb(smsPath, "android-mmssms.sql", FileFormat::Current);
        AddSms(sms, 200, std::string("13800138000"), std::string("gone"));
        AddSms(sms, 201, std::string("10086"), std::string("kept"));
        sms.Exec("DELETE FROM sms WHERE _id = 200");
    }
    const std::string contactsBytes = ReadFile(contactsPath);
    const std::string smsBytes = ReadFile(smsPath);
    const auto contactsTime = fs::last_write_time(contactsPath);
    const auto smsTime = fs::last_write_time(smsPath);

    EXPECT_NE(Parse(PARSE_CONTACTS), "");
    EXPECT_NE(Parse(PARSE_MESSAGES), "");

    EXPECT_EQ(ReadFile(contactsPath), contactsBytes);
    EXPECT_EQ(ReadFile(smsPath), smsBytes);
    EXPECT_EQ(fs::last_write_time(contactsPath), contactsTime);
    EXPECT_EQ(fs::last_write_time(smsPath), smsTime);
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        EXPECT_FALSE(fs::exists(contactsPath.string() + suffix)) << suffix;
        EXPECT_FALSE(fs::exists(smsPath.string() + suffix)) << suffix;
    }
}

}  // namespace

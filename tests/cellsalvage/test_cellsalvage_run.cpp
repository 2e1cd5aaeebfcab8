// cellsalvage-run as a process: usage errors, and the recovered text passed through byte for byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cellsalvage/iphonesqlitparse.h"
#include "cellsalvage/sqliteparse.h"
#include "platform/textcodec.h"
#include "tests/support/process.h"
#include "tests/support/tempdir.h"
#include "tools/dbfixtures/dbfixtures.h"

namespace {

using namespace pixhaven::dbfixtures;
using namespace pixhaven::test;

std::string ToolPath() {
#if defined(CELLSALVAGE_RUN)
    return CELLSALVAGE_RUN;
#else
    // build/tests/<test> → build/tools/cellsalvage/cellsalvage-run
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "tools" / "cellsalvage" / "cellsalvage-run")
        .string();
#endif
}

void BuildAddressBook(const std::filesystem::path& file) {
    Database db = CreateFromSchema(file, "addressbook.sql", 1024);
    db.Run("INSERT INTO ABPerson (ROWID, First, Last) VALUES (?1, ?2, ?3)",
           {std::int64_t{1}, std::string("Zoë"), std::string("Lindqvist")});
    db.Run("INSERT INTO ABMultiValue (record_id, property, value) VALUES (?1, 3, ?2)",
           {std::int64_t{1}, std::string("5550102")});
}

// Row ids from 1000 take two bytes, so the cell's first four bytes (which a freeblock overwrites)
// end just before the record's first serial type, as on a device with a long call history.
void BuildCallHistory(const std::filesystem::path& file) {
    Database db = CreateFromSchema(file, "call-history.sql", 1024);
    for (int i = 0; i < 6; ++i) {
        db.Run(
            "INSERT INTO call (ROWID, address, date, duration, flags, id, name) VALUES (?1, ?2, "
            "?3, ?4, ?5, -1, '')",
            {std::int64_t{1000 + i}, "555010" + std::to_string(i), std::int64_t{1350000000 + i},
             std::int64_t{60 + i}, std::int64_t{4 + i % 2}});
    }
    db.Exec("DELETE FROM call WHERE ROWID IN (1002, 1003, 1004)");
}

// Row ids from 1000 here too, for the same reason.
void BuildAndroidSms(const std::filesystem::path& contacts, const std::filesystem::path& sms) {
    Database people = CreateFromSchema(contacts, "android-contacts2.sql", 1024);
    Database messages = CreateFromSchema(sms, "android-mmssms.sql", 1024);
    for (int i = 0; i < 5; ++i) {
        messages.Run(
            "INSERT INTO sms (_id, thread_id, address, person, date, type, body) VALUES (?4, "
            "1, ?1, 0, ?2, 1, ?3)",
            {std::string("+8613800000") + std::to_string(i), std::int64_t{1350000000 + i},
             "message number " + std::to_string(i), std::int64_t{1000 + i}});
    }
    messages.Exec("DELETE FROM sms WHERE _id IN (1001, 1003)");
}

TEST(CellsalvageRun, UsageErrorsExitWithTwo) {
    TempDir dir;
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"ios", "0", "2", "a.db"},
        {"ios", "0", "2", "a.db", "b.db", "extra"},
        {"windows", "0", "2", "a.db", "b.db"},
        {"ios", "zero", "2", "a.db", "b.db"},
        {"android", "0", "2x", "a.db", "b.db"},
    };
    for (const auto& args : bad) {
        const auto run = RunProcess(dir, ToolPath(), args);
        EXPECT_EQ(run.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_TRUE(run.out.empty());
        EXPECT_NE(run.err.find("usage: cellsalvage-run"), std::string::npos);
    }
}

TEST(CellsalvageRun, MissingFilesGiveNothing) {
    TempDir dir;
    for (const char* platform : {"ios", "android"}) {
        const auto run = RunProcess(
            dir, ToolPath(),
            {platform, "1", "0", (dir / "none-1.db").string(), (dir / "none-2.db").string()});
        EXPECT_EQ(run.exitCode, 0) << platform;
        EXPECT_EQ(run.out, "");
    }
}

TEST(CellsalvageRun, PrintsIosTextUnchanged) {
    TempDir dir;
    const std::filesystem::path book = dir / "Adresses é" / "AddressBook.sqlitedb";
    const std::filesystem::path calls = dir / "Adresses é" / "call_history.db";
    std::filesystem::create_directories(book.parent_path());
    BuildAddressBook(book);
    BuildCallHistory(calls);

    std::setlocale(LC_ALL, "C.UTF-8");
    IphoneSqlitParse parser(pixhaven::platform::PathToUtf16(book),
                            pixhaven::platform::PathToUtf16(calls));
    parser.startParse(PARSE_CALL_HISTORY, OS_IOS5);
    std::setlocale(LC_ALL, "C");

    const auto run = RunProcess(dir, ToolPath(), {"ios", "2", "2", book.string(), calls.string()},
                                {{"LC_ALL", "C.UTF-8"}});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(run.out.empty());
    EXPECT_EQ(run.out, parser.recoveredText);
    EXPECT_NE(run.out.find("N/A-5550103\tOutgoing\r\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("LindqvistZoë-5550102\tIncoming\r\n"), std::string::npos) << run.out;

    // The text is in the charset of the user's locale: one byte per letter in an 8-bit one.
    const auto latin1 = Latin1Locale(dir);
    ASSERT_FALSE(latin1.empty()) << "no Latin-1 locale (localedef, locales package)";
    for (const auto& [environment, name] :
         {std::pair<std::map<std::string, std::string>, std::string>{{{"LC_ALL", "C"}}, "Zo?"},
          {latin1, "Zo\xEB"}}) {
        const auto inLocale = RunProcess(
            dir, ToolPath(), {"ios", "2", "2", book.string(), calls.string()}, environment);
        EXPECT_NE(inLocale.out.find("Lindqvist" + name + "-5550102\tIncoming\r\n"),
                  std::string::npos)
            << inLocale.out;
    }
}

TEST(CellsalvageRun, PrintsAndroidTextUnchanged) {
    TempDir dir;
    BuildAndroidSms(dir / "contacts2.db", dir / "mmssms.db");
    TempDir work;
    InFolder inWork(work.path());
    SqliteParse parser(pixhaven::platform::PathToUtf16(dir / "contacts2.db"),
                       pixhaven::platform::PathToUtf16(dir / "mmssms.db"));
    parser.startParse(PARSE_MESSAGES, OS_NONE);

    const auto run = RunProcess(
        dir, ToolPath(),
        {"android", "1", "0", (dir / "contacts2.db").string(), (dir / "mmssms.db").string()},
        {{"LC_ALL", "C.UTF-8"}});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, parser.recoveredText);
    EXPECT_NE(run.out.find("N/A\t+86138000003\tmessage number 3\r\n"), std::string::npos)
        << run.out;
}

}  // namespace
